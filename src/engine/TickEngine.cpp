#include "MovraTestTool.h"

#include <QMessageBox>

#include "Protocol.h"

namespace {
const char kCheckLines[] = "1.检查设备与USB工具连接是否正确\r\n2.检查串口是否选择正确\r\n";
const char kManualHints[] = "3.波特率是否选择正确\r\n4.站号是否选择正确\r\n";
} // namespace

void MovraTestTool::onReadyRead()
{
    const QByteArray bytes = serialPort.readAll();
    if (bytes.isEmpty())
        return;
    idleTicks = 0;
    rxBuffer.append(bytes);
}

void MovraTestTool::_10msTimerCallback()
{
    takeReply();

    if (++periodTicks >= 10) {
        periodTicks = 0;
        if (linkState == LinkManualConnecting)
            manualConnectStep();
        if (linkState == LinkAutoConnecting)
            autoConnectStep();
        if (linkState == LinkConnected) {
            batchWriteStep();
            batchReadStep();
        }
    }

    if (++secondTicks >= 100) {
        secondTicks = 0;
        if (linkState == LinkConnected)
            pollMeasurement();
    }
}

void MovraTestTool::takeReply()
{
    if (rxBuffer.isEmpty())
        return;
    if (rxBuffer.size() <= 100 && idleTicks++ < 2)
        return;

    // Out of the buffer before it is handled: a modal box opened while
    // handling runs further ticks, which must not see this block again.
    QByteArray block;
    block.swap(rxBuffer);

    if (pendingRequest == 1 || pendingRequest == 2) {
        pendingRequest = 0;
        checkHandshake(block);
    } else if (handleReply(block, quint16(qMin(block.size(), 0xFFFF)))) {
        pendingRequest = 0;
    }
}

void MovraTestTool::checkHandshake(const QByteArray &block)
{
    if (!movra::handshakeAccepted(block, testMode))
        return;

    linkState = LinkConnected;
    showLinkStatus(linkState);
    refreshControls();
    appendLog(tr("设备连接成功,波特率为：") + ui.BraudRate_1->currentText() +
              QStringLiteral("\r\n"));

    quint8 address = 0;
    if (testMode && movra::testProbeAddress(block, &address)) {
        devAddress = address;
        ui.readAddress_1->setValue(address);
        ui.readAddress_2->setValue(address);
        appendLog(tr("设备地址为：") + QString::number(address) + QStringLiteral("\r\n"));
    }
    if (readParamOnConnect) {
        batchReadActive = true;
        readStep = 100;
    }
}

void MovraTestTool::manualConnectStep()
{
    if (connectCount >= 5) {
        connectCount = 0;
        linkState = LinkFailed;
        showLinkStatus(linkState);
        if (serialPort.isOpen())
            serialPort.close();
        const QString hints = tr(kCheckLines) + tr(kManualHints);
        appendLog(tr("手动连接超时\r\n\r\n") + hints);
        QMessageBox::information(nullptr, tr("手动连接超时"), hints);
    } else if (serialPort.isOpen()) {
        if (connectCount % 2 == 1) {
            appendLog(tr("正在连接设备……\r\n"));
            sendByCode(1);
        }
        if (testMode)
            sendByCode(2);
    }
    ++connectCount;
}

void MovraTestTool::autoConnectStep()
{
    if (connectCount >= 3) {
        connectCount = 0;
        if (serialPort.isOpen())
            serialPort.close();
        if (autoBaudIndex < ui.BraudRate_1->count()) {
            ui.BraudRate_1->setCurrentIndex(autoBaudIndex);
            ++autoBaudIndex;
            baudRate = ui.BraudRate_1->currentText().toInt(nullptr, 10);
            serialPort.setBaudRate(baudRate, QSerialPort::AllDirections);
            serialPort.open(QIODevice::ReadWrite);
            savedBaudIndex = ui.BraudRate_1->currentIndex();
            writeSettings({{"lastBraudRateIndex", savedBaudIndex}});
        } else {
            linkState = LinkFailed;
            showLinkStatus(linkState);
            appendLog(tr("自动连接超时\r\n\r\n") + tr(kCheckLines));
            QMessageBox::information(nullptr, tr("自动连接超时"), tr(kCheckLines));
        }
    } else if (serialPort.isOpen()) {
        if (connectCount % 2 == 1) {
            appendLog(tr("正在连接设备……\r\n"));
            sendByCode(1);
        } else if (testMode) {
            sendByCode(2);
        }
    }
    ++connectCount;
}

void MovraTestTool::onConnectButtonClicked()
{
    if (linkState == LinkManualConnecting || linkState == LinkAutoConnecting)
        return;
    requeueInterruptedBatchItem();
    linkState = LinkManualConnecting;
    openSerialPort(baudRate);
}

void MovraTestTool::onautoConnectButtonClicked()
{
    if (linkState == LinkManualConnecting || linkState == LinkAutoConnecting)
        return;
    requeueInterruptedBatchItem();
    ui.BraudRate_1->setCurrentIndex(0);
    autoBaudIndex = 0;
    linkState = LinkAutoConnecting;
    if (serialPort.isOpen())
        serialPort.close();
    openSerialPort(baudRate);
}

void MovraTestTool::onDisConnectButtonClicked()
{
    linkState = LinkDisconnected;
    if (serialPort.isOpen())
        serialPort.close();
    showLinkStatus(linkState);
    refreshControls();
    appendLog(tr("设备已经断开"));
}
