#include "MovraTestTool.h"

#include <QMessageBox>

#include "Protocol.h"
#include "Tenths.h"

void MovraTestTool::onReadButtonClicked()
{
    switchOffPeriodicReading();
    batchWriteActive = false;
    batchReadActive = true;
    readStep = 100;
    appendLog(tr("批量读取参数开始"));
}

void MovraTestTool::onWriteButtonClicked()
{
    switchOffPeriodicReading();
    batchReadActive = false;
    batchWriteActive = true;
    writeStep = 200;
    appendLog(tr("批量写入参数开始"));
}

void MovraTestTool::batchWriteStep()
{
    if (!batchWriteActive)
        return;

    // Counts every period of the batch, not from the last send.
    if (writeTimeoutCount++ >= 10) {
        writeTimeoutCount = 0;
        QString message;
        switch (pendingRequest) {
        case 200:
            if (tempOffsetChecked)
                message = tr("写入设备温度修正：失败(超时)");
            break;
        case 201:
            if (humiOffsetChecked)
                message = tr("写入设备湿度修正：失败(超时)");
            break;
        case 202:
            if (tempHumiRevertChecked)
                message = tr("写入温湿度对调：失败(超时)");
            break;
        case 203:
            if (devNumChecked)
                message = tr("写入设备地址：失败(超时)");
            break;
        case 204:
            if (braudRateChecked)
                message = tr("写入设备波特率：失败(超时)");
            break;
        default:
            break;
        }
        if (!message.isEmpty()) {
            ++writeFailCount;
            appendLog(message);
        }
        pendingRequest = 0;
    }

    if (pendingRequest != 0)
        return;

    const QString crlf = QStringLiteral("\r\n");
    switch (writeStep) {
    case 200:
        if (tempOffsetChecked) {
            appendLog(tr("正在写入设备的温度修正为：") + movra::tenthsText(writeTempOffset) +
                      tr("℃\r\n"));
            pendingRequest = 200;
            sendRequest(0x00, 0x06, 0x0050, quint16(writeTempOffset));
        }
        break;
    case 201:
        if (humiOffsetChecked) {
            appendLog(tr("正在写入设备的湿度修正为：") + movra::tenthsText(writeHumiOffset) +
                      QStringLiteral("%\r\n"));
            pendingRequest = 201;
            sendRequest(0x00, 0x06, 0x0051, quint16(writeHumiOffset));
        }
        break;
    case 202:
        if (tempHumiRevertChecked) {
            appendLog(tr("正在写入温湿度对调为：") + ui.BraudRate_4->currentText() + crlf);
            writeTempHumiRevert = quint8(ui.BraudRate_4->currentIndex());
            pendingRequest = 202;
            sendRequest(0x00, 0x06, 0x0052, writeTempHumiRevert);
        }
        break;
    case 203:
        if (devNumChecked) {
            appendLog(tr("正在写入设备的地址为：") + QString::number(writeDevAddress) + crlf);
            pendingRequest = 203;
            sendRequest(0x00, 0x06, 0x0100, writeDevAddress);
        }
        break;
    case 204:
        if (braudRateChecked) {
            appendLog(tr("正在写入设备的波特率为：") + QString::number(writeBaudRate) + crlf);
            pendingRequest = 204;
            sendBaudRateFrame(movra::baudCodeForRate(writeBaudRate));
        }
        break;
    default:
        break;
    }

    if (writeStep < 206) {
        ++writeStep;
        return;
    }
    batchWriteActive = false;
    if (writeFailCount > 0) {
        const QString summary = tr("批量参数写入失败数量为:") + QString::number(writeFailCount);
        writeFailCount = 0;
        appendLog(summary);
        QMessageBox::information(nullptr, tr("批量写入参数失败"), summary);
    } else {
        appendLog(tr("批量参数写入完成\r\n"));
    }
}

void MovraTestTool::batchReadStep()
{
    if (!batchReadActive)
        return;

    if (readTimeoutCount++ >= 10) {
        readTimeoutCount = 0;
        const qint32 timedOut = pendingRequest;
        pendingRequest = 0;
        QString message;
        switch (timedOut) {
        case 100:
            message = tr("读取设备地址：失败(超时)");
            break;
        case 101:
            message = tr("读取波特率：失败(超时)");
            break;
        case 102:
            message = tr("读取温度修正：失败(超时)");
            break;
        case 103:
            message = tr("读取湿度修正：失败(超时)");
            break;
        case 104:
            message = tr("读取设备温湿度调换状态：失败(超时)");
            break;
        default:
            break;
        }
        if (!message.isEmpty()) {
            appendLog(message);
            ++readFailCount;
        }
    }

    if (pendingRequest != 0)
        return;

    readTimeoutCount = 0;
    if (readStep < 105) {
        sendByCode(readStep);
        ++readStep;
        return;
    }
    batchReadActive = false;
    if (readFailCount > 0) {
        const QString summary = tr("批量参数读取失败数量为:") + QString::number(readFailCount);
        readFailCount = 0;
        appendLog(summary);
        QMessageBox::information(nullptr, tr("批量读取参数失败"), summary);
    } else {
        appendLog(tr("已发完批量读取命令\r\n"));
    }
}

// The link went while a batch item waited for its reply, and the handshake
// is about to take over pendingRequest: without this the batch would go on
// with the next item, and a write that never reached the device would end
// in "批量参数写入完成".
void MovraTestTool::requeueInterruptedBatchItem()
{
    if (batchWriteActive && pendingRequest >= 200 && pendingRequest <= 204)
        writeStep = qint16(pendingRequest);
    else if (batchReadActive && pendingRequest >= 100 && pendingRequest <= 104)
        readStep = qint16(pendingRequest);
}
