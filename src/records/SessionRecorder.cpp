#include "records/SessionRecorder.h"

#include "link/Protocol.h"
#include "link/Texts.h"

namespace movra::records {

namespace {
records::Parameter toRecord(movra::Parameter p)
{
    switch (p) {
    case movra::Parameter::Address:
        return records::Parameter::Station;
    case movra::Parameter::BaudRate:
        return records::Parameter::Baud;
    case movra::Parameter::TempCorrection:
        return records::Parameter::TempOffset;
    case movra::Parameter::HumiCorrection:
        return records::Parameter::HumiOffset;
    case movra::Parameter::Order:
        break;
    }
    return records::Parameter::Order;
}

bool isCorrection(movra::Parameter p)
{
    return p == movra::Parameter::TempCorrection || p == movra::Parameter::HumiCorrection;
}

// A written value as the store keeps it: corrections in their units.
double inUnits(movra::Parameter p, qint32 value)
{
    return isCorrection(p) ? fromTenths(qint16(value)) : double(value);
}

const RequestSpec *writeSpec(qint32 code)
{
    const RequestSpec *spec = requestSpec(code);
    return spec && (spec->settle == Settle::WriteEcho || spec->settle == Settle::BaudWrite)
               ? spec
               : nullptr;
}

Reading readingOf(records::Quantity quantity, const Judgement &j)
{
    Reading r;
    r.quantity = quantity;
    r.value = fromTenths(j.value);
    r.reference = fromTenths(j.reference);
    r.tolerance = fromTenths(qint64(j.tolerance));
    r.deviation = fromTenths(qint64(j.deviation));
    r.pass = j.pass;
    return r;
}
} // namespace

SessionRecorder::SessionRecorder(Session &session, RecordStore &store, const QString &path,
                                 const QString &centralUrl)
    : QObject(&store), session(session), store(store), path(path), centralUrl(centralUrl)
{
    connect(&session, &Session::linkStatus, this, [this](LinkState state) {
        if (state == LinkState::ManualConnecting || state == LinkState::AutoConnecting)
            attempting = true;
    });
    connect(&session, &Session::connected, this, &SessionRecorder::onConnected);
    connect(&session, &Session::connectTimedOut, this, [this](bool automatic, const QString &) {
        onAttemptFailed(automatic ? uiText(QT_TRANSLATE_NOOP("MovraTestTool", "自动连接超时"))
                                  : uiText(QT_TRANSLATE_NOOP("MovraTestTool", "手动连接超时")));
    });
    connect(&session, &Session::portFailed, this, [this](const QString &reason) {
        // A lost connection is its unit's end (disconnected), not an attempt.
        if (!unitOpen)
            onAttemptFailed(reason);
    });
    connect(&session, &Session::disconnected, this, &SessionRecorder::onDisconnected);
    connect(&session, &Session::measured, this, &SessionRecorder::onMeasured);
    connect(&session, &Session::frameSent, this, &SessionRecorder::onFrameSent);
    connect(&session, &Session::writeConfirmed, this,
            [this](qint32 code, qint32) { onWriteEnded(code, true); });
    connect(&session, &Session::requestTimedOut, this,
            [this](qint32 code) { onWriteEnded(code, false); });
    connect(&session, &Session::batchStarted, this, [this](bool write) {
        if (!write)
            batch = BatchRead();
    });
    connect(&session, &Session::parameterRead, this, &SessionRecorder::onParameterRead);
    connect(&session, &Session::batchFinished, this,
            [this](bool write, int, const QString &) { onBatchFinished(write); });
}

void SessionRecorder::openStore()
{
    if (opened)
        return;
    opened = true;
    store.open(path);
    if (!centralUrl.isEmpty())
        store.startCentral(centralUrl);
}

bool SessionRecorder::ready()
{
    if (!enabled)
        return false;
    openStore();
    return true;
}

void SessionRecorder::onConnected(const Identity &identity)
{
    attempting = false;
    if (!ready())
        return;
    if (unitOpen)
        store.unitEnded(Disconnect{EndedBy::Operator, QString()});
    Attempt a;
    a.port = identity.port;
    a.baud = identity.baudRate;
    a.mode = identity.testMode ? Mode::Test : Mode::Normal;
    a.ident = identity.testMode ? hexText(identity.reply)
                                : identificationText(identity.reply).simplified();
    if (identity.station >= 0)
        a.address = identity.station;
    a.ok = true;
    store.unitStarted(a);
    unitOpen = true;
}

void SessionRecorder::onAttemptFailed(const QString &reason)
{
    if (!attempting)
        return;
    attempting = false;
    if (!ready())
        return;
    Attempt a;
    a.port = session.port().portName();
    a.baud = session.baudRate();
    a.mode = session.testMode() ? Mode::Test : Mode::Normal;
    a.ok = false;
    a.reason = reason;
    store.attemptFailed(a);
}

void SessionRecorder::onDisconnected(bool byOperator, const QString &reason)
{
    if (!unitOpen)
        return;
    unitOpen = false;
    if (!ready())
        return;
    store.unitEnded(Disconnect{byOperator ? EndedBy::Operator : EndedBy::PortLost, reason});
}

void SessionRecorder::onMeasured(const Measurement &m)
{
    const bool temp = m.hasTemperature && m.temperatureJudgement.judged;
    const bool humi = m.hasHumidity && m.humidityJudgement.judged;
    if ((!temp && !humi) || !ready())
        return;
    if (humi)
        store.add(readingOf(records::Quantity::Humidity, m.humidityJudgement));
    if (temp)
        store.add(readingOf(records::Quantity::Temperature, m.temperatureJudgement));
}

void SessionRecorder::onFrameSent(qint32 code, const QByteArray &frame)
{
    const RequestSpec *spec = writeSpec(code);
    if (!spec)
        return;
    qint32 value = 0;
    if (spec->frame.layout == FrameLayout::BaudRate)
        value = baudRateForCode(quint8(frame.at(3)));
    else
        value = qint32(quint8(frame.at(4)) << 8 | quint8(frame.at(5)));
    sentValue[size_t(spec->parameter)] = value;
}

void SessionRecorder::onWriteEnded(qint32 code, bool confirmed)
{
    const RequestSpec *spec = writeSpec(code);
    if (!spec || !ready())
        return;
    const movra::Parameter p = movra::Parameter(spec->parameter);
    store.add(ParameterWrite{toRecord(p), inUnits(p, sentValue[size_t(p)]), confirmed});
}

void SessionRecorder::onParameterRead(movra::Parameter parameter, qint32 value)
{
    switch (parameter) {
    case movra::Parameter::Address:
        batch.station = value;
        break;
    case movra::Parameter::BaudRate:
        batch.baud = value;
        break;
    case movra::Parameter::TempCorrection:
        batch.tempOffset = fromTenths(value);
        break;
    case movra::Parameter::HumiCorrection:
        batch.humiOffset = fromTenths(value);
        break;
    case movra::Parameter::Order:
        batch.order = value;
        break;
    }
}

void SessionRecorder::onBatchFinished(bool write)
{
    if (write || !ready())
        return;
    store.add(batch);
    batch = BatchRead();
}

} // namespace movra::records
