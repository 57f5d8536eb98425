// The batch sequencers: one parameter request at a time, each waiting for
// its reply or its time-out, with a failure count and a summary at the end.
#include "engine/Session.h"

namespace movra {

namespace {
// The item each write code stands for.
Parameter writtenParameter(qint32 code)
{
    return Parameter(requestSpec(code)->parameter);
}

bool isWriteItem(qint32 code)
{
    return code >= ReqWriteTempCorrection && code <= ReqWriteBaudRate;
}
} // namespace

void Session::startBatchRead()
{
    const FromOutside outside(*this);
    m_periodic = {};
    m_batchWrite.active = false;
    m_batchRead.active = true;
    m_batchRead.step = ReqReadAddress;
    emit logMessage(tr("批量读取参数开始"));
    emit batchStarted(false);
}

void Session::startBatchWrite()
{
    const FromOutside outside(*this);
    m_periodic = {};
    m_batchRead.active = false;
    m_batchWrite.active = true;
    m_batchWrite.step = ReqWriteTempCorrection;
    emit logMessage(tr("批量写入参数开始"));
    emit batchStarted(true);
}

void Session::batchWriteStep()
{
    if (!m_batchWrite.active)
        return;

    // Counts every period of the batch, not from the last send.
    if (m_batchWrite.timeoutCount++ >= timing::kBatchTimeoutPeriods) {
        m_batchWrite.timeoutCount = 0;
        const qint32 timedOut = m_pending;
        m_pending = 0;
        if (timedOut != 0)
            noteRequestGivenUp(timedOut);
        // An item whose box was cleared meanwhile is not counted.
        if (isWriteItem(timedOut) && m_writeEnabled[size_t(writtenParameter(timedOut))]) {
            ++m_batchWrite.failCount;
            emit logMessage(timeoutLogText(timedOut));
        }
    }

    if (m_pending != 0)
        return;

    const qint32 code = m_batchWrite.step;
    if (isWriteItem(code)) {
        const Parameter p = writtenParameter(code);
        if (m_writeEnabled[size_t(p)]) {
            const qint32 value = m_writeValue[size_t(p)];
            emit logMessage(sendLogText(code, value));
            send(code, value);
        }
    }

    if (m_batchWrite.step < ReqWriteEnd) {
        ++m_batchWrite.step;
        return;
    }
    finishBatch(true, m_batchWrite);
}

void Session::batchReadStep()
{
    if (!m_batchRead.active)
        return;

    if (m_batchRead.timeoutCount++ >= timing::kBatchTimeoutPeriods) {
        m_batchRead.timeoutCount = 0;
        const qint32 timedOut = m_pending;
        m_pending = 0;
        if (timedOut != 0)
            noteRequestGivenUp(timedOut);
        if (timedOut >= ReqReadAddress && timedOut <= ReqReadOrder) {
            emit logMessage(timeoutLogText(timedOut));
            ++m_batchRead.failCount;
        }
    }

    if (m_pending != 0)
        return;

    m_batchRead.timeoutCount = 0;
    if (m_batchRead.step < ReqReadEnd) {
        send(m_batchRead.step);
        ++m_batchRead.step;
        return;
    }
    finishBatch(false, m_batchRead);
}

void Session::finishBatch(bool write, Batch &batch)
{
    batch.active = false;
    if (batch.failCount > 0) {
        const QString summary =
            (write ? tr("批量参数写入失败数量为:") : tr("批量参数读取失败数量为:")) +
            QString::number(batch.failCount);
        const int failures = batch.failCount;
        batch.failCount = 0;
        emit logMessage(summary);
        emit batchFinished(write, failures, summary);
        return;
    }
    const QString done = write ? tr("批量参数写入完成\r\n") : tr("已发完批量读取命令\r\n");
    emit logMessage(done);
    emit batchFinished(write, 0, done);
}

} // namespace movra
