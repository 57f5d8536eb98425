// The one window of the tool. It holds the whole state as plain members;
// the sources under src/ split its behaviour by subsystem.
#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QSerialPort>
#include <QString>
#include <QTimer>
#include <QVariant>
#include <initializer_list>
#include <utility>

#include "ui_MovraTestTool.h"

class QMenu;
class QAction;
class QSettings;

class MovraTestTool : public QMainWindow
{
    Q_OBJECT

public:
    explicit MovraTestTool(QWidget *parent = nullptr);
    ~MovraTestTool() override;

    enum LinkState : qint32 {
        LinkIdle = 0,
        LinkManualConnecting = 1,
        LinkAutoConnecting = 2,
        LinkConnected = 3,
        LinkFailed = 4,
        LinkDisconnected = 5,
    };

private slots:
    // The declaration order fixes the meta-object indices; keep it.
    void _10msTimerCallback();
    void onConnectButtonClicked();
    void onautoConnectButtonClicked();
    void onDisConnectButtonClicked();
    void onReadButtonClicked();
    void onWriteButtonClicked();
    void onAutoReadButtonClicked();
    void onmanualReadButtonClicked();
    void onInputPasswordButtonClicked();
    void onSerialComNumChanged(int index);
    void onBraudRate_1Changed(int index);
    void onWBraudRate_1Changed(int index);
    void onDevAddressChanged(int address);
    void onWDevAddressChanged(int address);
    void onWHumiOffsetChanged(int value);
    void onWTempOffsetChanged(int value);
    void onRHumiIntervalChanged(int value);
    void onRTempIntervalChanged(int value);
    void onWTempHumiRevertChanged(int index);
    void Base_Offset_TempHumiChanged(QString var);
    void devNumCheckClicked();
    void braudRateCheckClicked();
    void tempOffsetCheckClicked();
    void humiOffsetCheckClicked();
    void readTempIntervalCheckClicked();
    void writeTempHumiRevertCheckClicked();

private:
    // Tests reach the private state through this one door.
    friend struct MovraTestAccess;

    // src/app
    void setupLogPane();
    void appendLog(QString message);
    void appendLogLine(const QString &line);
    void loadSettings(QSettings &settings);
    void writeSettings(std::initializer_list<std::pair<const char *, QVariant>> values);
    void wireControls();

    // src/link
    void fillPortList();
    void refreshPortList();
    QStringList availablePortNames() const;
    void openSerialPort(qint32 rate);
    void onSerialError(QSerialPort::SerialPortError error);
    void sendRequest(quint8 address, quint8 function, quint16 reg, quint16 value);
    void sendBaudRateFrame(quint8 code);
    void sendByCode(qint32 code);
    void writeFrame(const QByteArray &frame);

    // src/engine
    void onReadyRead();
    void takeReply();
    void checkHandshake(const QByteArray &block);
    void manualConnectStep();
    void autoConnectStep();
    bool handleReply(const QByteArray &block, quint16 length);
    void batchWriteStep();
    void batchReadStep();
    void requeueInterruptedBatchItem();
    void showLinkStatus(qint32 state);
    void refreshControls();
    void switchOffPeriodicReading();

    // src/measure
    void pollMeasurement();
    void sendMeasurement(qint32 code);
    void applyMeasurement(qint16 rawTemp, quint16 rawHumi, bool tempValid, bool humiValid);
    void checkTemperature(const QString &stamp);
    void checkHumidity(const QString &stamp);

    Ui::MovraTestToolClass ui;

    // Declared in the order the window builds them (destroyed in reverse).
    QString selectedPortName;
    QTimer tickTimer;
    QSerialPort serialPort;
    QByteArray rxBuffer;
    QByteArray lastRequest;
    QString savedPortName;
    QString settingsPath;
    bool settingsUndecodable = false;

    QMenu *logMenu = nullptr;
    QAction *copyAction = nullptr;
    QAction *selectAllAction = nullptr;
    QAction *clearAction = nullptr;

    // Serial port choice.
    qint32 savedBaudIndex = 0;
    bool refreshingPorts = false;
    bool portErrorShowing = false;

    // Link state.
    qint32 linkState = LinkIdle;
    quint16 connectCount = 0;
    bool testMode = false;

    // Tick engine and connection.
    qint32 baudRate = 0;
    quint8 devAddress = 0;
    quint16 idleTicks = 0;
    quint16 periodTicks = 0;
    quint16 secondTicks = 0;
    qint32 autoBaudIndex = 0;
    bool readParamOnConnect = false;
    qint32 pendingRequest = 0;

    // Batch read and write.
    bool batchReadActive = false;
    qint16 readStep = 0;
    qint16 readTimeoutCount = 0;
    quint8 readFailCount = 0;
    bool batchWriteActive = false;
    qint16 writeStep = 0;
    qint16 writeTimeoutCount = 0;
    quint8 writeFailCount = 0;
    quint8 writeDevAddress = 0;
    qint32 writeBaudRate = 0;
    qint16 writeTempOffset = 0;
    qint16 writeHumiOffset = 0;
    quint8 writeTempHumiRevert = 0;
    bool devNumChecked = false;
    bool braudRateChecked = false;
    bool tempOffsetChecked = false;
    bool humiOffsetChecked = false;
    bool tempHumiRevertChecked = false;

    // Measurement.
    qint32 tempInterval = 0;
    qint32 humiInterval = 0;
    bool autoReadTemp = false;
    bool autoReadHumi = false;
    quint32 tempSeconds = 0;
    quint32 humiSeconds = 0;
    qint16 temperature = 0;
    quint16 humidity = 0;

    // Qualification check.
    qint32 baseTemp = 0;
    quint16 baseHumi = 0;
    quint32 checkOffsetTemp = 0;
    quint16 checkOffsetHumi = 0;
    bool checkTemp = false;
    bool checkHumi = false;
};
