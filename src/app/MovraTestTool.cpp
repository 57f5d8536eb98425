#include "app/MovraTestTool.h"

#include "ui/CalibrationWindow.h"

#include <QDir>
#include <QFileInfo>

#include "link/Texts.h"
#include "records/Recorder.h"

using movra::Parameter;
using movra::Quantity;

namespace {
// The maker's addresses live under a reserved domain on purpose.
const char kSupportMail[] = "support@ardeno.example";
const char *const kWelcomeMarkdown =
    QT_TRANSLATE_NOOP("MovraTestTool", "欢迎使用Ardeno的产品\r\n\r\n"
                                       "技术支持：support@ardeno.example\r\n\r\n"
                                       " https://www.ardeno.example");
} // namespace

MovraTestTool::MovraTestTool(QWidget *) : MovraTestTool(WindowOptions()) {}

MovraTestTool::MovraTestTool(const WindowOptions &options) : QMainWindow(nullptr), options(options)
{
    ui.setupUi(this);

    settingIni = movra::config::SettingIni(movra::config::SettingIni::defaultPath());
    QDir().mkpath(QFileInfo(settingIni.path()).absolutePath());
    loadSettings();

    restoreControlsAndFillPortList();
    setupLogPane();

    ui.statusBar->showMessage(tr("欢迎使用-技术支持 ") + QLatin1String(kSupportMail));

    // Ticks only when one can act, unless the options bring back the plain
    // 10 ms timer.
    connect(&tickTimer, &movra::TickScheduler::tick, this, &MovraTestTool::_10msTimerCallback);
    tickTimer.follow(&engine);
    tickTimer.setMode(options.tickMode);
    tickTimer.start();

    wireEngine();

    ui.connectButton->setEnabled(true);
    ui.disConnectButton->setEnabled(false);
    ui.readButton->setEnabled(false);
    ui.writeButton->setEnabled(false);
    ui.readButton_2->setEnabled(true);

    ui.textEdit->setMarkdown(tr(kWelcomeMarkdown));

    wireControls();
    setUpRecording();
    setUpTrend();
}

MovraTestTool::~MovraTestTool()
{
    // No box may pop up from a window that is going away, and no tick run.
    tickTimer.stop();
    disconnect(&engine, nullptr, this, nullptr);
    engine.closePort();
    // After the port: closing it is recorded. Before the store it writes to.
    delete recorder;
    // The window goes at once; the file is let go of on the writer's thread.
    records.closeLater();
}

void MovraTestTool::wireEngine()
{
    using S = movra::Session;
    using W = MovraTestTool;
    connect(&engine, &S::logMessage, this, &W::appendLog);
    connect(&engine, &S::linkStatus, this, &W::showLinkStatus);
    connect(&engine, &S::controlsRefresh, this, &W::refreshControls);
    connect(&engine, &S::portFailed, this, &W::showPortFailure);
    connect(&engine, &S::parameterRead, this, &W::showParameter);
    connect(&engine, &S::measured, this, &W::showMeasurement);
    connect(&engine, &S::handshakeSucceeded, this, [this] {
        appendLog(tr("设备连接成功,波特率为：") + ui.BraudRate_1->currentText() +
                  QStringLiteral("\r\n"));
    });
    connect(&engine, &S::connectTimedOut, this, [this](bool automatic, const QString &hints) {
        showBox(automatic ? tr("自动连接超时") : tr("手动连接超时"), hints);
    });
    connect(&engine, &S::scanRateChosen, this,
            [this](int index) { ui.BraudRate_1->setCurrentIndex(index); });
    connect(&engine, &S::scanPortOpened, this, [this](int) {
        savedBaudIndex = ui.BraudRate_1->currentIndex();
        settingIni.saveBaudIndex(savedBaudIndex);
    });
    connect(&engine, &S::writeRejected, this, [this](qint32) {
        showBox(tr("命令写入失败"), movra::linkText(movra::texts::kHintWiring));
    });
    connect(&engine, &S::batchFinished, this,
            [this](bool write, int failures, const QString &summary) {
                if (failures > 0)
                    showBox(write ? tr("批量写入参数失败") : tr("批量读取参数失败"), summary);
            });
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
    for (QCheckBox *box : {ui.checkBox_5, ui.checkBox_6})
        connect(box, &QCheckBox::clicked, this, &W::readTempIntervalCheckClicked);
    for (QCheckBox *box : {ui.checkBox_7, ui.checkBox_8, ui.checkBox_10, ui.checkBox_9})
        connect(box, &QCheckBox::clicked, this, &W::writeTempHumiRevertCheckClicked);
    for (QLineEdit *edit : {ui.BaseTemp, ui.OffsetTemp, ui.BaseHumi, ui.OffsetHumi})
        connect(edit, &QLineEdit::textEdited, this, &W::Base_Offset_TempHumiChanged);
}

void MovraTestTool::_10msTimerCallback()
{
    engine.tick();
    if (calibrationWindow)
        calibrationWindow->afterTick();
}

// Slots that only copy a control's value into the engine.

void MovraTestTool::onBraudRate_1Changed(int)
{
    engine.setBaudRate(ui.BraudRate_1->currentText().toInt(nullptr, 10));
}

void MovraTestTool::onWBraudRate_1Changed(int)
{
    engine.setWriteValue(Parameter::BaudRate, ui.BraudRate_3->currentText().toInt(nullptr, 10));
}

void MovraTestTool::onDevAddressChanged(int address)
{
    engine.setStation(quint8(address));
}

void MovraTestTool::onWDevAddressChanged(int address)
{
    engine.setWriteValue(Parameter::Address, quint8(address));
}

void MovraTestTool::onWHumiOffsetChanged(int value)
{
    engine.setWriteValue(Parameter::HumiCorrection, qint16(value));
}

void MovraTestTool::onWTempOffsetChanged(int value)
{
    engine.setWriteValue(Parameter::TempCorrection, qint16(value));
}

void MovraTestTool::onWTempHumiRevertChanged(int)
{
    engine.setWriteValue(Parameter::Order, quint8(ui.BraudRate_4->currentIndex()));
}

void MovraTestTool::devNumCheckClicked()
{
    engine.setWriteEnabled(Parameter::Address, ui.checkBox->isChecked());
}

void MovraTestTool::braudRateCheckClicked()
{
    engine.setWriteEnabled(Parameter::BaudRate, ui.checkBox_2->isChecked());
}

void MovraTestTool::tempOffsetCheckClicked()
{
    engine.setWriteEnabled(Parameter::TempCorrection, ui.checkBox_3->isChecked());
}

void MovraTestTool::humiOffsetCheckClicked()
{
    engine.setWriteEnabled(Parameter::HumiCorrection, ui.checkBox_4->isChecked());
}

// Every member that follows a control takes its start value here; the
// settings have just been applied to the controls.
void MovraTestTool::copyControlsToEngine()
{
    engine.setWriteEnabled(Parameter::Address, ui.checkBox->isChecked());
    engine.setWriteEnabled(Parameter::BaudRate, ui.checkBox_2->isChecked());
    engine.setWriteEnabled(Parameter::TempCorrection, ui.checkBox_3->isChecked());
    engine.setWriteEnabled(Parameter::HumiCorrection, ui.checkBox_4->isChecked());
    engine.setPeriodicReading(Quantity::Temperature, ui.checkBox_5->isChecked());
    engine.setPeriodicReading(Quantity::Humidity, ui.checkBox_6->isChecked());
    engine.setWriteEnabled(Parameter::Order, ui.checkBox_7->isChecked());
    takeCheckBoxes();
    engine.setBaudRate(ui.BraudRate_1->currentText().toInt(nullptr, 10));
    engine.setWriteValue(Parameter::BaudRate, ui.BraudRate_3->currentText().toInt(nullptr, 10));
    engine.setStation(quint8(ui.readAddress_1->value()));
    engine.setWriteValue(Parameter::Address, quint8(ui.readAddress_3->value()));
    engine.setWriteValue(Parameter::HumiCorrection, qint16(ui.HumiOffset_2->value()));
    engine.setWriteValue(Parameter::TempCorrection, qint16(ui.TempOffset_2->value()));
    engine.setInterval(Quantity::Humidity, ui.readHumiInterval->value());
    engine.setInterval(Quantity::Temperature, ui.readTempInterval->value());
}
