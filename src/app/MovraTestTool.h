// The one window of the tool. It owns the protocol engine as a plain member:
// its slots read the controls and call the engine, and its handlers show
// what the engine reports (log lines, status texts, boxes, read-backs).
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>

#include "config/Environment.h"
#include "config/SettingIni.h"
#include "engine/Session.h"
#include "engine/TickScheduler.h"
#include "records/RecordStore.h"
#include "trend/TrendHistory.h"
#include "ui_MovraTestTool.h"

class QMenu;
class QAction;
class RecordsWindow;
class TrendWindow;
class CalibrationWindow;

namespace movra::records {
class SessionRecorder;
}

// What the window takes from where the program starts.
struct WindowOptions
{
    QStringList extraPorts; // offered after the system's ports (pseudo-terminals)
    QString recordsUrl;     // the central database, over Station.ini's
    bool recording = true;
    movra::TickScheduler::Mode tickMode = movra::TickScheduler::Mode::WhenDue;
    // "en" or "zh", for movra::useLanguage() before the window is built.
    QString language = QStringLiteral("zh");

    static WindowOptions from(const movra::config::Environment &env, const QString &stationIni);
};

class MovraTestTool : public QMainWindow
{
    Q_OBJECT

public:
    // Always a top-level window: a parent is not taken.
    explicit MovraTestTool(QWidget * = nullptr);
    explicit MovraTestTool(const WindowOptions &options);
    ~MovraTestTool() override;

    // The engine behind the window, for the tool's own windows and tests.
    movra::Session &session() { return engine; }
    // What runs the ticks; tests stop it and tick by hand with runTick().
    movra::TickScheduler &ticker() { return tickTimer; }
    // One tick, as the scheduler runs it.
    void runTick() { _10msTimerCallback(); }
    // What the window records with, open or not; null before the constructor ends.
    movra::records::SessionRecorder *sessionRecorder() const { return recorder; }

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
    // Serves checkBox_5 and checkBox_6 (periodic temperature and humidity).
    void readTempIntervalCheckClicked();
    // Serves checkBox_7, checkBox_8, checkBox_9 and checkBox_10.
    void writeTempHumiRevertCheckClicked();

private:
    // src/app/MovraTestTool.cpp
    void wireControls();
    void wireEngine();
    void copyControlsToEngine();

    // src/app/LogPane.cpp
    void setupLogPane();
    // The local date and time that begins every log line.
    static QString logStamp();
    void appendLog(const QString &message);
    void appendLogLine(const QString &line);

    // src/app/ToolsMenu.cpp
    void addToolItems();
    void saveLog();
    static movra::records::RecordStore::Options recordOptions();
    void setUpRecording();
    void showRecords();
    void setUpTrend();
    void showTrend();
    void updateTrendBands();
    void showCalibration();
    void pausePeriodicReading(bool pause);

    // src/app/Settings.cpp
    void loadSettings();

    // src/app/PortChoice.cpp
    void restoreControlsAndFillPortList();
    // Makes the last entry named `preferred` current, else the first.
    void refreshPortList(const QString &preferred = QString());
    QStringList availablePortNames() const;
    void openSerialPort(qint32 rate);
    void showPortFailure(const QString &reason);

    // src/app/LinkView.cpp
    void showLinkStatus(movra::LinkState state);
    void refreshControls(movra::LinkState state);
    void switchOffPeriodicReading();
    void showParameter(movra::Parameter parameter, qint32 value);
    void showMeasurement(const movra::Measurement &m);
    void takeCheckBoxes();
    void showBox(const QString &title, const QString &text);

    Ui::MovraTestToolClass ui;
    const WindowOptions options;

    QString selectedPortName;
    movra::TickScheduler tickTimer;
    movra::Session engine;
    QString savedPortName;
    movra::config::SettingIni settingIni{QString()};

    QMenu *logMenu = nullptr;
    QAction *copyAction = nullptr;
    QAction *selectAllAction = nullptr;
    QAction *clearAction = nullptr;

    qint32 savedBaudIndex = 0;
    bool refreshingPorts = false;
    bool portErrorShowing = false;

    // Declared after the engine: the recorder goes before what it listens to.
    movra::records::RecordStore records{recordOptions()};
    movra::records::SessionRecorder *recorder = nullptr;
    RecordsWindow *recordsWindow = nullptr;
    // Kept from the start, whether or not the trend window is open.
    movra::trend::TrendHistory trendHistory;
    TrendWindow *trendWindow = nullptr;
    CalibrationWindow *calibrationWindow = nullptr;
    // The periodic reading as it was before a calibration took the line.
    std::array<bool, 2> periodicBeforeCalibration{};
};
