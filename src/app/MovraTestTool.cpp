#include "MovraTestTool.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace {
// The maker's addresses live under a reserved domain on purpose.
const char kSupportMail[] = "support@ardeno.example";
const char kWelcomeMarkdown[] = "欢迎使用Ardeno的产品\r\n\r\n"
                                "技术支持：support@ardeno.example\r\n\r\n"
                                " https://www.ardeno.example";
} // namespace

MovraTestTool::MovraTestTool(QWidget *parent) : QMainWindow(nullptr)
{
    // Always a top-level window, whatever the caller hands in.
    Q_UNUSED(parent);
    linkState = LinkIdle;
    devAddress = 1;

    ui.setupUi(this);

    // Per-application folder: the shared config root is no place for a file
    // with a name as plain as Setting.ini.
    const QString location = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    settingsPath = location + QStringLiteral("/Setting.ini");
    QDir().mkpath(location);

    QSettings settings(settingsPath, QSettings::IniFormat);
    loadSettings(settings);

    fillPortList();
    setupLogPane();

    ui.statusBar->showMessage(tr("欢迎使用-技术支持 ") + QLatin1String(kSupportMail));

    tickTimer.setInterval(10);
    connect(&tickTimer, &QTimer::timeout, this, &MovraTestTool::_10msTimerCallback);
    tickTimer.start();

    connect(&serialPort, &QSerialPort::errorOccurred, this, &MovraTestTool::onSerialError);
    connect(&serialPort, &QSerialPort::readyRead, this, &MovraTestTool::onReadyRead);

    ui.connectButton->setEnabled(true);
    ui.disConnectButton->setEnabled(false);
    ui.readButton->setEnabled(false);
    ui.writeButton->setEnabled(false);
    ui.readButton_2->setEnabled(true);

    ui.textEdit->setMarkdown(QString::fromUtf8(kWelcomeMarkdown));

    wireControls();
}

MovraTestTool::~MovraTestTool()
{
    // No error box may pop up from a window that is going away.
    disconnect(&serialPort, nullptr, this, nullptr);
    if (serialPort.isOpen())
        serialPort.close();
}

void MovraTestTool::wireControls()
{
    using W = MovraTestTool;
    connect(ui.connectButton, &QPushButton::clicked, this, &W::onConnectButtonClicked);
    connect(ui.autoConnectButton, &QPushButton::clicked, this, &W::onautoConnectButtonClicked);
    connect(ui.disConnectButton, &QPushButton::clicked, this, &W::onDisConnectButtonClicked);
    connect(ui.readButton, &QPushButton::clicked, this, &W::onReadButtonClicked);
    connect(ui.writeButton, &QPushButton::clicked, this, &W::onWriteButtonClicked);
    connect(ui.readButton_2, &QPushButton::clicked, this, &W::onAutoReadButtonClicked);
    connect(ui.manualReadButton, &QPushButton::clicked, this, &W::onmanualReadButtonClicked);
    connect(ui.pushButton, &QPushButton::clicked, this, &W::onInputPasswordButtonClicked);

    const auto comboChanged = QOverload<int>::of(&QComboBox::currentIndexChanged);
    connect(ui.SerialComNum, QOverload<int>::of(&QComboBox::highlighted), this,
            &W::onSerialComNumChanged);
    connect(ui.SerialComNum, comboChanged, this, &W::onSerialComNumChanged);
    connect(ui.BraudRate_1, comboChanged, this, &W::onBraudRate_1Changed);
    connect(ui.BraudRate_3, comboChanged, this, &W::onWBraudRate_1Changed);
    connect(ui.BraudRate_4, comboChanged, this, &W::onWTempHumiRevertChanged);

    const auto spinChanged = QOverload<int>::of(&QSpinBox::valueChanged);
    connect(ui.readAddress_1, spinChanged, this, &W::onDevAddressChanged);
    connect(ui.readAddress_3, spinChanged, this, &W::onWDevAddressChanged);
    connect(ui.HumiOffset_2, spinChanged, this, &W::onWHumiOffsetChanged);
    connect(ui.TempOffset_2, spinChanged, this, &W::onWTempOffsetChanged);
    connect(ui.readTempInterval, spinChanged, this, &W::onRTempIntervalChanged);
    connect(ui.readHumiInterval, spinChanged, this, &W::onRHumiIntervalChanged);

    connect(ui.checkBox, &QCheckBox::clicked, this, &W::devNumCheckClicked);
    connect(ui.checkBox_2, &QCheckBox::clicked, this, &W::braudRateCheckClicked);
    connect(ui.checkBox_3, &QCheckBox::clicked, this, &W::tempOffsetCheckClicked);
    connect(ui.checkBox_4, &QCheckBox::clicked, this, &W::humiOffsetCheckClicked);
    connect(ui.checkBox_5, &QCheckBox::clicked, this, &W::readTempIntervalCheckClicked);
    connect(ui.checkBox_6, &QCheckBox::clicked, this, &W::readTempIntervalCheckClicked);
    connect(ui.checkBox_7, &QCheckBox::clicked, this, &W::writeTempHumiRevertCheckClicked);
    connect(ui.checkBox_8, &QCheckBox::clicked, this, &W::writeTempHumiRevertCheckClicked);
    connect(ui.checkBox_10, &QCheckBox::clicked, this, &W::writeTempHumiRevertCheckClicked);
    connect(ui.checkBox_9, &QCheckBox::clicked, this, &W::writeTempHumiRevertCheckClicked);

    connect(ui.BaseTemp, &QLineEdit::textEdited, this, &W::Base_Offset_TempHumiChanged);
    connect(ui.OffsetTemp, &QLineEdit::textEdited, this, &W::Base_Offset_TempHumiChanged);
    connect(ui.BaseHumi, &QLineEdit::textEdited, this, &W::Base_Offset_TempHumiChanged);
    connect(ui.OffsetHumi, &QLineEdit::textEdited, this, &W::Base_Offset_TempHumiChanged);
}

// Slots that only copy a control's value into its member.

void MovraTestTool::onBraudRate_1Changed(int)
{
    baudRate = ui.BraudRate_1->currentText().toInt(nullptr, 10);
}

void MovraTestTool::onWBraudRate_1Changed(int)
{
    writeBaudRate = ui.BraudRate_3->currentText().toInt(nullptr, 10);
}

void MovraTestTool::onDevAddressChanged(int address)
{
    devAddress = quint8(address);
}

void MovraTestTool::onWDevAddressChanged(int address)
{
    writeDevAddress = quint8(address);
}

void MovraTestTool::onWHumiOffsetChanged(int value)
{
    writeHumiOffset = qint16(value);
}

void MovraTestTool::onWTempOffsetChanged(int value)
{
    writeTempOffset = qint16(value);
}

void MovraTestTool::onWTempHumiRevertChanged(int)
{
    writeTempHumiRevert = quint8(ui.BraudRate_4->currentIndex());
}

void MovraTestTool::devNumCheckClicked()
{
    devNumChecked = ui.checkBox->isChecked();
}

void MovraTestTool::braudRateCheckClicked()
{
    braudRateChecked = ui.checkBox_2->isChecked();
}

void MovraTestTool::tempOffsetCheckClicked()
{
    tempOffsetChecked = ui.checkBox_3->isChecked();
}

void MovraTestTool::humiOffsetCheckClicked()
{
    humiOffsetChecked = ui.checkBox_4->isChecked();
}
