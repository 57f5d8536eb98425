#include "records/SessionRecorder.h"

#include "link/Protocol.h"

namespace movra::records {

namespace {
const RequestSpec *writeSpec(qint32 code)
{
    const RequestSpec *spec = requestSpec(code);
    return spec && (spec->settle == Settle::WriteEcho || spec->settle == Settle::BaudWrite)
               ? spec
               : nullptr;
}
} // namespace

SessionRecorder::SessionRecorder(Session &session, RecordStore &store, const QString &path,
                                 const QString &centralUrl)
    : QObject(&store), session(session), store(store), path(path), centralUrl(centralUrl),
      recorder([this] { return ready(); })
{
    connect(&session, &Session::linkStatus, this, [this](LinkState state) {
        if (state == LinkState::ManualConnecting || state == LinkState::AutoConnecting)
            attempting = true;
    });
    connect(&session, &Session::connected, this, [this](const Identity &identity) {
        attempting = false;
        recorder.connected(identity,
                           identity.testMode ? hexText(identity.reply)
                                             : identificationText(identity.reply).simplified(),
                           this->session.station());
    });
    connect(&session, &Session::connectTimedOut, this, [this](bool automatic, const QString &) {
        // Stored as the source text: a record reads the same whatever the
        // language of the window that made it.
        onAttemptFailed(automatic ? QStringLiteral("自动连接超时")
                                  : QStringLiteral("手动连接超时"));
    });
    connect(&session, &Session::portFailed, this, [this](const QString &reason) {
        // A lost connection is its unit's end (disconnected), not an attempt.
        if (!recorder.unitOpen())
            onAttemptFailed(reason);
    });
    connect(&session, &Session::disconnected, this, [this](bool byOperator, const QString &why) {
        recorder.disconnected(!byOperator, why);
    });
    connect(&session, &Session::measured, this,
            [this](const Measurement &m) { recorder.measured(m); });
    connect(&session, &Session::frameSent, this, &SessionRecorder::onFrameSent);
    connect(&session, &Session::writeConfirmed, this,
            [this](qint32 code, qint32) { onWriteEnded(code, true); });
    connect(&session, &Session::requestTimedOut, this,
            [this](qint32 code) { onWriteEnded(code, false); });
    connect(&session, &Session::batchStarted, this, [this](bool write) {
        if (!write)
            batch = ParameterValues();
    });
    connect(&session, &Session::parameterRead, this,
            [this](movra::Parameter p, qint32 value) { batch[size_t(p)] = value; });
    connect(&session, &Session::batchFinished, this, [this](bool write, int, const QString &) {
        if (!write)
            recorder.parametersRead(batch);
        batch = ParameterValues();
    });
}

void SessionRecorder::openStore()
{
    if (opened)
        return;
    opened = true;
    if (!enabled) {
        store.openReadOnly(path);
        return;
    }
    store.openLater(path);
    if (!centralUrl.isEmpty())
        store.startCentral(centralUrl);
}

RecordStore *SessionRecorder::ready()
{
    if (!enabled)
        return nullptr;
    openStore();
    return &store;
}

void SessionRecorder::onAttemptFailed(const QString &reason)
{
    if (!attempting)
        return;
    attempting = false;
    recorder.attemptFailed(session.port().portName(), session.baudRate(), session.testMode(),
                           reason);
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
    if (!spec)
        return;
    const auto p = movra::Parameter(spec->parameter);
    recorder.written(p, sentValue[size_t(p)], confirmed);
}

} // namespace movra::records
