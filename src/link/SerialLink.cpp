#include "MovraTestTool.h"

#include <QDir>
#include <QMessageBox>
#include <QSerialPortInfo>

#include "Protocol.h"

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
    const QString extra = qEnvironmentVariable("MOVRA_EXTRA_PORTS");
    if (!extra.isEmpty())
        names << extra.split(QDir::listSeparator(), Qt::SkipEmptyParts);
    return names;
}

void MovraTestTool::fillPortList()
{
    devNumChecked = ui.checkBox->isChecked();
    braudRateChecked = ui.checkBox_2->isChecked();
    tempOffsetChecked = ui.checkBox_3->isChecked();
    humiOffsetChecked = ui.checkBox_4->isChecked();
    autoReadTemp = ui.checkBox_5->isChecked();
    autoReadHumi = ui.checkBox_6->isChecked();
    tempHumiRevertChecked = ui.checkBox_7->isChecked();
    checkTemp = ui.checkBox_10->isChecked();
    checkHumi = ui.checkBox_9->isChecked();
    baudRate = ui.BraudRate_1->currentText().toInt(nullptr, 10);
    writeBaudRate = ui.BraudRate_3->currentText().toInt(nullptr, 10);
    devAddress = quint8(ui.readAddress_1->value());
    writeDevAddress = quint8(ui.readAddress_3->value());
    writeHumiOffset = qint16(ui.HumiOffset_2->value());
    writeTempOffset = qint16(ui.TempOffset_2->value());
    humiInterval = ui.readHumiInterval->value();
    tempInterval = ui.readTempInterval->value();

    ui.SerialComNum->clear();
    testMode = false;

    const QStringList ports = availablePortNames();
    int chosen = 0;
    for (int i = 0; i < ports.size(); ++i) {
        ui.SerialComNum->addItem(ports.at(i));
        if (savedPortName.size() >= 4 && savedPortName == ports.at(i))
            chosen = i;
    }
    ui.SerialComNum->setCurrentIndex(chosen);
    ui.SerialComNum->addItem(refreshEntry());
    selectedPortName = ui.SerialComNum->currentText();
}

void MovraTestTool::refreshPortList()
{
    // The rebuild moves the current entry itself; those notifications only
    // record the new text, or an empty list would rebuild without end.
    refreshingPorts = true;
    ui.SerialComNum->clear();
    ui.SerialComNum->addItems(availablePortNames());
    ui.SerialComNum->setCurrentIndex(0);
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
    showLinkStatus(linkState);

    serialPort.setBaudRate(rate, QSerialPort::AllDirections);
    serialPort.setDataBits(QSerialPort::Data8);
    serialPort.setParity(QSerialPort::NoParity);
    serialPort.setStopBits(QSerialPort::OneStop);
    serialPort.setFlowControl(QSerialPort::NoFlowControl);
    serialPort.setPortName(selectedPortName);
    serialPort.open(QIODevice::ReadWrite);

    savedPortName = selectedPortName;
    savedBaudIndex = ui.BraudRate_1->currentIndex();
    writeSettings({{"lastComName", savedPortName}, {"lastBraudRateIndex", savedBaudIndex}});
}

void MovraTestTool::onSerialError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::NoError) {
        linkState = LinkFailed;
        const QString reason = serialPort.errorString();
        // Closing first stops a vanished device's stream of read errors.
        if (serialPort.isOpen())
            serialPort.close();
        // One failure, one box: reports that arrive while it is open only
        // update the state below.
        if (!portErrorShowing) {
            portErrorShowing = true;
            QMessageBox::information(nullptr, tr("串口操作错误"),
                                     tr("请检查当前选择的串口是否可用!\r\n\r\n") + reason);
            portErrorShowing = false;
        }
    } else if (!serialPort.isOpen()) {
        connectCount = 0;
    }
    showLinkStatus(linkState);
    refreshControls();
}

void MovraTestTool::writeFrame(const QByteArray &frame)
{
    lastRequest = frame;
    // A frame for a closed port is lost; its request ends by its timeout.
    if (serialPort.isOpen())
        serialPort.write(frame);
}

void MovraTestTool::sendRequest(quint8 address, quint8 function, quint16 reg, quint16 value)
{
    writeFrame(movra::buildRequestFrame(address, function, reg, value));
}

void MovraTestTool::sendBaudRateFrame(quint8 code)
{
    writeFrame(movra::buildBaudRateFrame(code));
}

void MovraTestTool::sendByCode(qint32 code)
{
    pendingRequest = code;
    switch (code) {
    case 1:
        if (testMode)
            sendRequest(0xFD, 0x03, 0x0100, 2);
        else
            sendRequest(0x00, 0x06, 0x0110, 0);
        break;
    case 2:
        sendRequest(0x00, 0x03, 0x0000, 2);
        break;
    case 3:
        sendRequest(devAddress, 0x03, 0x0000, 1);
        break;
    case 4:
        sendRequest(devAddress, 0x03, 0x0001, 1);
        break;
    case 5:
        sendRequest(devAddress, 0x03, 0x0000, 2);
        break;
    case 100:
        sendRequest(0x00, 0x03, 0x0100, 1);
        break;
    case 101:
        sendBaudRateFrame(0);
        break;
    case 102:
        sendRequest(0x00, 0x03, 0x0050, 1);
        break;
    case 103:
        sendRequest(0x00, 0x03, 0x0051, 1);
        break;
    case 104:
        sendRequest(0x00, 0x03, 0x0052, 1);
        break;
    case 200:
        sendRequest(0x00, 0x06, 0x0050, quint16(writeTempOffset));
        break;
    case 201:
        sendRequest(0x00, 0x06, 0x0051, quint16(writeHumiOffset));
        break;
    case 202:
        sendRequest(0x00, 0x06, 0x0052, writeTempHumiRevert);
        break;
    case 203:
        sendRequest(0x00, 0x06, 0x0100, writeDevAddress);
        break;
    case 204:
        sendBaudRateFrame(movra::baudCodeForRate(writeBaudRate));
        break;
    case 205:
        sendRequest(0x00, 0x06, 0x0104, 0);
        break;
    default:
        // No frame for other codes: the request simply stays unanswered.
        break;
    }
}
