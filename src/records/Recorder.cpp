#include "records/Recorder.h"

namespace movra::records {

namespace {
Reading readingOf(Quantity quantity, const Judgement &j)
{
    Reading r;
    r.quantity = quantity;
    r.value = fromTenths(j.value);
    r.reference = fromTenths(j.reference);
    r.tolerance = fromTenths(qint64(j.tolerance));
    r.deviation = fromTenths(j.value - j.reference);
    r.pass = j.pass;
    return r;
}

bool isCorrection(Parameter p)
{
    return p == Parameter::TempCorrection || p == Parameter::HumiCorrection;
}
} // namespace

void Recorder::connected(const Identity &identity, const QString &ident, int station)
{
    RecordStore *store = target();
    if (!store)
        return;
    if (!unit.isNull())
        add(store, Disconnect{EndedBy::Operator, QString()});
    Attempt a;
    a.port = identity.port;
    a.baud = identity.baudRate;
    a.mode = identity.testMode ? Mode::Test : Mode::Normal;
    a.ident = ident;
    if (station >= 0)
        a.address = station;
    a.ok = true;
    unit = newId();
    add(store, a);
}

void Recorder::add(RecordStore *store, const RecordData &data)
{
    Record r;
    r.unit = unit;
    r.data = data;
    r.trace = trace;
    store->append(r);
}

void Recorder::attemptFailed(const QString &port, qint32 baud, bool testMode, const QString &reason)
{
    if (RecordStore *store = target()) {
        Record r;
        r.data =
            Attempt{port,  baud,  testMode ? Mode::Test : Mode::Normal, QString(), std::nullopt,
                    false, reason};
        r.trace = trace;
        store->append(r);
    }
}

void Recorder::calibrated(const Calibration &calibration)
{
    if (RecordStore *store = target())
        add(store, calibration);
}

void Recorder::measured(const Measurement &m)
{
    const bool temp = m.hasTemperature && m.temperatureJudgement.judged;
    const bool humi = m.hasHumidity && m.humidityJudgement.judged;
    RecordStore *store = temp || humi ? target() : nullptr;
    if (!store)
        return;
    if (humi)
        add(store, readingOf(Quantity::Humidity, m.humidityJudgement));
    if (temp)
        add(store, readingOf(Quantity::Temperature, m.temperatureJudgement));
}

void Recorder::written(Parameter parameter, qint32 value, bool confirmed)
{
    // Corrections are signed 16-bit tenths on the wire.
    const double v = isCorrection(parameter) ? fromTenths(qint16(value)) : double(value);
    if (RecordStore *store = target())
        add(store, ParameterWrite{parameter, v, confirmed});
}

void Recorder::parametersRead(const ParameterValues &v)
{
    RecordStore *store = target();
    if (!store)
        return;
    const auto at = [&v](Parameter p) {
        return v[size_t(p)];
    };
    BatchRead batch;
    batch.station = at(Parameter::Address);
    batch.baud = at(Parameter::BaudRate);
    if (at(Parameter::TempCorrection))
        batch.tempOffset = fromTenths(*at(Parameter::TempCorrection));
    if (at(Parameter::HumiCorrection))
        batch.humiOffset = fromTenths(*at(Parameter::HumiCorrection));
    batch.order = at(Parameter::Order);
    add(store, batch);
}

void Recorder::disconnected(bool portLost, const QString &reason)
{
    if (unit.isNull())
        return;
    if (RecordStore *store = target())
        add(store, Disconnect{portLost ? EndedBy::PortLost : EndedBy::Operator, reason});
    unit = QUuid();
}

} // namespace movra::records
