// What the window shows of the link: the status text, the controls that
// follow the link state, the parameters read back, and the batch buttons.
#include "app/MovraTestTool.h"

#include <QMessageBox>

using movra::LinkState;
using movra::Parameter;

void MovraTestTool::showLinkStatus(LinkState state)
{
    QString text;
    switch (state) {
    case LinkState::ManualConnecting:
        text = tr(" 手动连接设备中，请等待");
        break;
    case LinkState::AutoConnecting:
        text = tr(" 自动连接设备中，请等待");
        break;
    case LinkState::Connected:
        text = tr(" 设备连接成功");
        break;
    case LinkState::Failed:
        text = tr(" 连接失败,请检查线路连接及串口编号是否正确");
        break;
    default:
        text = tr(" 设备已断开 请重新连接");
        break;
    }
    ui.statusBar->clearMessage();
    ui.statusBar->showMessage(text);
}

void MovraTestTool::refreshControls(LinkState state)
{
    if (state == LinkState::Connected) {
        ui.connectButton->setEnabled(false);
        ui.SerialComNum->setEnabled(false);
        ui.manualReadButton->setEnabled(true);
        ui.disConnectButton->setEnabled(true);
        ui.readButton->setEnabled(true);
        ui.writeButton->setEnabled(true);
        return;
    }
    ui.connectButton->setEnabled(true);
    ui.SerialComNum->setEnabled(true);
    ui.disConnectButton->setEnabled(true);
    ui.manualReadButton->setEnabled(false);
    ui.readButton->setEnabled(false);
    ui.writeButton->setEnabled(false);
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
