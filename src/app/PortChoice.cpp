// Choosing, opening and losing the serial port, and the connect and
// disconnect buttons.
#include "app/MovraTestTool.h"

#include <QMessageBox>
#include <QSerialPortInfo>

namespace {
QString refreshEntry()
{
    return MovraTestTool::tr("刷新串口");
}
} // namespace

QStringList MovraTestTool::availablePortNames() const
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names << info.portName();
    // Pseudo-terminals (the simulator on Linux) are never listed by the
    // serial-port library; this lets them be offered all the same.
    names << options.extraPorts;
    return names;
}

// Besides the port list: the engine takes the controls' start values, and
// test mode starts off.
void MovraTestTool::restoreControlsAndFillPortList()
{
    copyControlsToEngine();
    engine.setTestMode(false);
    // A remembered name shorter than four characters is none.
    refreshPortList(savedPortName.size() >= 4 ? savedPortName : QString());
}

void MovraTestTool::refreshPortList(const QString &preferred)
{
    // The rebuild moves the current entry itself; those notifications only
    // record the new text, or an empty list would rebuild without end.
    refreshingPorts = true;
    ui.SerialComNum->clear();
    const QStringList ports = availablePortNames();
    ui.SerialComNum->addItems(ports);
    ui.SerialComNum->setCurrentIndex(qMax(0, ports.lastIndexOf(preferred)));
    ui.SerialComNum->addItem(refreshEntry());
    refreshingPorts = false;
    selectedPortName = ui.SerialComNum->currentText();
}

void MovraTestTool::onSerialComNumChanged(int)
{
    if (!refreshingPorts && ui.SerialComNum->currentText() == refreshEntry())
        refreshPortList();
    else
        selectedPortName = ui.SerialComNum->currentText();
}

void MovraTestTool::openSerialPort(qint32 rate)
{
    if (ui.SerialComNum->currentText() == refreshEntry()) {
        QMessageBox::information(nullptr, tr("无可用串口"), tr("请刷新串口"));
        return;
    }
    engine.openPort(selectedPortName, rate);

    savedPortName = selectedPortName;
    savedBaudIndex = ui.BraudRate_1->currentIndex();
    settingIni.savePort(savedPortName, savedBaudIndex);
}

void MovraTestTool::showPortFailure(const QString &reason)
{
    // One failure, one box: reports that arrive while it is open only
    // update the status and the controls.
    if (portErrorShowing)
        return;
    portErrorShowing = true;
    QMessageBox::information(nullptr, tr("串口操作错误"),
                             tr("请检查当前选择的串口是否可用!\r\n\r\n") + reason);
    portErrorShowing = false;
}

void MovraTestTool::onConnectButtonClicked()
{
    if (!engine.beginManualConnect())
        return;
    openSerialPort(engine.baudRate());
}

void MovraTestTool::onautoConnectButtonClicked()
{
    if (engine.isConnecting())
        return;
    // Selecting the first rate updates the engine's rate through its slot.
    ui.BraudRate_1->setCurrentIndex(0);
    engine.beginAutoConnect();
    openSerialPort(engine.baudRate());
}

void MovraTestTool::onDisConnectButtonClicked()
{
    engine.disconnectByOperator();
}
