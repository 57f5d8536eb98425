// What the window shows of the link: the status text, the controls that
// follow the link state, the parameters read back, and the batch buttons.
#include "app/MovraTestTool.h"

#include <QMessageBox>

using movra::LinkState;
using movra::Parameter;

void MovraTestTool::showLinkStatus(LinkState state)
{
    // By LinkState: idle, manual, automatic, connected, failed, disconnected.
    static const char *const texts[] = {
        QT_TR_NOOP(" 设备已断开 请重新连接"),
        QT_TR_NOOP(" 手动连接设备中，请等待"),
        QT_TR_NOOP(" 自动连接设备中，请等待"),
        QT_TR_NOOP(" 设备连接成功"),
        QT_TR_NOOP(" 连接失败,请检查线路连接及串口编号是否正确"),
        QT_TR_NOOP(" 设备已断开 请重新连接"),
    };
    ui.statusBar->clearMessage();
    ui.statusBar->showMessage(tr(texts[int(state)]));
}

void MovraTestTool::refreshControls(LinkState state)
{
    const bool connected = state == LinkState::Connected;
    ui.connectButton->setEnabled(!connected);
    ui.SerialComNum->setEnabled(!connected);
    ui.manualReadButton->setEnabled(connected);
    ui.disConnectButton->setEnabled(true);
    ui.readButton->setEnabled(connected);
    ui.writeButton->setEnabled(connected);
    if (!connected)
        switchOffPeriodicReading();
}

void MovraTestTool::switchOffPeriodicReading()
{
    // From code, so no clicked() and no settings write: the stored flags keep
    // what the operator last chose.
    ui.checkBox_5->setChecked(false);
    ui.checkBox_6->setChecked(false);
}

void MovraTestTool::showParameter(Parameter parameter, qint32 value)
{
    switch (parameter) {
    case Parameter::Address:
        ui.readAddress_1->setValue(value);
        ui.readAddress_2->setValue(value);
        break;
    case Parameter::BaudRate:
        ui.braudRate_2->setItemText(0, QString::number(value));
        break;
    case Parameter::TempCorrection:
        ui.tempOffset_1->setValue(value);
        break;
    case Parameter::HumiCorrection:
        ui.humiOffset_1->setValue(value);
        break;
    case Parameter::Order:
        // What the device holds, not what the write side is set to.
        ui.BraudRate_5->setItemText(0, movra::orderModeText(value));
        break;
    }
}

void MovraTestTool::showBox(const QString &title, const QString &text)
{
    QMessageBox::information(nullptr, title, text);
}

void MovraTestTool::onReadButtonClicked()
{
    switchOffPeriodicReading();
    engine.startBatchRead();
}

void MovraTestTool::onWriteButtonClicked()
{
    switchOffPeriodicReading();
    engine.startBatchWrite();
}

void MovraTestTool::onmanualReadButtonClicked()
{
    engine.readNow();
}
