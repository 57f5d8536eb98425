#include "MovraTestTool.h"

#include <QMessageBox>

#include "Protocol.h"

bool MovraTestTool::handleReply(const QByteArray &block, quint16 length)
{
    const QByteArray bytes = block.left(length);
    const bool writePending = pendingRequest >= 200 && pendingRequest <= 204;
    const movra::ReplyInfo reply = movra::recogniseBlock(bytes, writePending);
    const QString crlf = QStringLiteral("\r\n");

    switch (reply.kind) {
    case movra::ReplyKind::NotRecognised:
        return false;

    case movra::ReplyKind::BaudRate:
        if (pendingRequest == 204) {
            appendLog(movra::hexText(lastRequest) + QLatin1Char('\t') + movra::hexText(bytes));
            appendLog(tr("写入成功"));
            appendLog(tr("正在重启设备：\r\n"));
            // Not awaited: the caller settles the pending request right away.
            pendingRequest = 205;
            sendRequest(0x00, 0x06, 0x0104, 0);
        } else if (reply.baudCode != 0) {
            const QString rate = QString::number(movra::baudRateForCode(reply.baudCode));
            ui.braudRate_2->setItemText(0, rate);
            appendLog(tr("设备波特率为：") + rate + crlf);
        }
        return true;

    case movra::ReplyKind::WriteEcho: {
        const QString sent = movra::hexText(lastRequest);
        const QString got = movra::hexText(bytes);
        appendLog(sent + QLatin1Char('\t') + got);
        if (sent == got) {
            appendLog(tr("写入成功"));
            return true;
        }
        appendLog(tr("写入失败"));
        QMessageBox::information(nullptr, tr("命令写入失败"),
                                 tr("1.检查设备与USB工具连接是否正确\r\n"));
        return false;
    }

    case movra::ReplyKind::Read:
        break;
    }

    const bool ours = reply.address == devAddress;
    switch (pendingRequest) {
    case 3:
        if (ours)
            applyMeasurement(0, reply.first, false, true);
        break;
    case 4:
        if (ours)
            applyMeasurement(qint16(reply.first), 0, true, false);
        break;
    case 5:
        if (ours)
            applyMeasurement(qint16(reply.second), reply.first, true, true);
        break;
    case 100: {
        const quint8 address = quint8(reply.first & 0xFF);
        devAddress = address;
        ui.readAddress_1->setValue(address);
        ui.readAddress_2->setValue(address);
        appendLog(tr("设备地址为：") + QString::number(address) + crlf);
        break;
    }
    case 101: {
        const QString rate = QString::number(movra::baudRateForCode(reply.first));
        ui.braudRate_2->setItemText(0, rate);
        appendLog(tr("设备波特率为：") + rate + crlf);
        break;
    }
    case 102:
        ui.tempOffset_1->setValue(qint16(reply.first));
        appendLog(tr("设备温度修正为：") + QString::number(qint16(reply.first)) + crlf);
        break;
    case 103:
        ui.humiOffset_1->setValue(qint16(reply.first));
        appendLog(tr("设备湿度修正为：") + QString::number(qint16(reply.first)) + crlf);
        break;
    case 104: {
        // Show what the device holds, not what the write side is set to.
        const QString mode = reply.first < ui.BraudRate_4->count()
                                 ? ui.BraudRate_4->itemText(reply.first)
                                 : QString::number(reply.first);
        ui.BraudRate_5->setItemText(0, mode);
        appendLog(tr("温湿度对调：") + mode + crlf);
        break;
    }
    default:
        break;
    }
    return true;
}
