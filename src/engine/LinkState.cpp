#include "MovraTestTool.h"

void MovraTestTool::showLinkStatus(qint32 state)
{
    QString text;
    switch (state) {
    case LinkManualConnecting:
        text = tr(" 手动连接设备中，请等待");
        break;
    case LinkAutoConnecting:
        text = tr(" 自动连接设备中，请等待");
        break;
    case LinkConnected:
        text = tr(" 设备连接成功");
        break;
    case LinkFailed:
        text = tr(" 连接失败,请检查线路连接及串口编号是否正确");
        break;
    default:
        text = tr(" 设备已断开 请重新连接");
        break;
    }
    ui.statusBar->clearMessage();
    ui.statusBar->showMessage(text);
}

void MovraTestTool::refreshControls()
{
    if (linkState == LinkConnected) {
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
    autoReadTemp = false;
    autoReadHumi = false;
}
