#include "records/Recorder.h"

#include "link/Protocol.h"

namespace movra::records {

void Recorder::add(const RecordData &data, bool inUnit)
{
    if (RecordStore *store = target()) {
        Record r;
        r.unit = inUnit ? unit : QUuid();
        r.data = data;
        r.trace = trace;
        store->append(r);
    }
}

void Recorder::connected(const Identity &identity, const QString &ident, int station)
{
    if (!target())
        return;
    if (!unit.isNull())
        add(Disconnect{EndedBy::Operator, QString()});
    unit = newId();
    add(Attempt{identity.port, identity.baudRate, identity.testMode ? Mode::Test : Mode::Normal,
                ident, station >= 0 ? std::optional<int>(station) : std::nullopt, true, QString()});
}

void Recorder::attemptFailed(const QString &port, qint32 baud, bool testMode, const QString &reason)
{
    add(Attempt{port, baud, testMode ? Mode::Test : Mode::Normal, QString(), std::nullopt, false,
                reason},
        false);
}

void Recorder::measured(const Measurement &m)
{
    const auto judged = [this](Quantity q, bool has, const Judgement &j) {
        if (has && j.judged)
            add(Reading{q, fromTenths(j.value), fromTenths(j.reference),
                        fromTenths(qint64(j.tolerance)), fromTenths(j.value - j.reference),
                        j.pass});
    };
    judged(Quantity::Humidity, m.hasHumidity, m.humidityJudgement);
    judged(Quantity::Temperature, m.hasTemperature, m.temperatureJudgement);
}

void Recorder::written(Parameter parameter, qint32 value, bool confirmed)
{
    // Corrections are signed 16-bit tenths on the wire.
    const bool correction =
        parameter == Parameter::TempCorrection || parameter == Parameter::HumiCorrection;
    add(ParameterWrite{parameter, correction ? fromTenths(qint16(value)) : double(value),
                       confirmed});
}

void Recorder::parametersRead(const ParameterValues &v)
{
    const auto tenths = [&v](Parameter p) {
        const std::optional<qint32> &held = v[size_t(p)];
        return held ? std::optional<double>(fromTenths(*held)) : std::nullopt;
    };
    add(BatchRead{v[size_t(Parameter::Address)], v[size_t(Parameter::BaudRate)],
                  tenths(Parameter::TempCorrection), tenths(Parameter::HumiCorrection),
                  v[size_t(Parameter::Order)]});
}

void Recorder::disconnected(bool portLost, const QString &reason)
{
    if (unit.isNull())
        return;
    add(Disconnect{portLost ? EndedBy::PortLost : EndedBy::Operator, reason});
    unit = QUuid();
}

SessionRecorder::SessionRecorder(Session &session, RecordStore &store, const QString &path,
                                 const QString &centralUrl)
    : QObject(&store), session(session), store(store), path(path), centralUrl(centralUrl),
      recorder([this]() -> RecordStore * {
          if (!enabled)
              return nullptr;
          openStore();
          return &this->store;
      })
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
    if (!store.path().isEmpty())
        return;
    if (!enabled) {
        store.openReadOnly(path);
        return;
    }
    store.openLater(path);
    if (!centralUrl.isEmpty())
        store.startCentral(centralUrl);
}

void SessionRecorder::onAttemptFailed(const QString &reason)
{
    if (!attempting)
        return;
    attempting = false;
    recorder.attemptFailed(session.port().portName(), session.baudRate(), session.testMode(),
                           reason);
}

void SessionRecorder::onWriteEnded(qint32 code, bool confirmed)
{
    const RequestSpec *spec = requestSpec(code);
    if (!spec || (spec->settle != Settle::WriteEcho && spec->settle != Settle::BaudWrite))
        return;
    // The value as its frame carried it: the frame is the last one sent
    // while the write is the request awaited.
    const QByteArray &frame = session.lastRequest();
    const qint32 value = spec->frame.layout == FrameLayout::BaudRate
                             ? baudRateForCode(quint8(frame.at(3)))
                             : qint32(quint8(frame.at(4)) << 8 | quint8(frame.at(5)));
    recorder.written(movra::Parameter(spec->parameter), value, confirmed);
}

} // namespace movra::records
