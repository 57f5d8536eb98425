#include "cli/StoreSink.h"

#include <QDir>
#include <QFileInfo>

#include "cli/LineDefaults.h"
#include "records/StationConfig.h"

namespace movra::cli {

namespace {
bool isUrl(const QString &db)
{
    return db.startsWith(QLatin1String("postgresql://")) ||
           db.startsWith(QLatin1String("postgres://"));
}

records::Reading readingOf(records::Quantity quantity, const Judgement &j)
{
    records::Reading r;
    r.quantity = quantity;
    r.value = records::fromTenths(j.value);
    r.reference = records::fromTenths(j.reference);
    r.tolerance = records::fromTenths(qint64(j.tolerance));
    r.deviation = records::fromTenths(qint64(j.deviation));
    r.pass = j.pass;
    return r;
}

records::Parameter toRecord(Parameter p)
{
    switch (p) {
    case Parameter::Address:
        return records::Parameter::Station;
    case Parameter::BaudRate:
        return records::Parameter::Baud;
    case Parameter::TempCorrection:
        return records::Parameter::TempOffset;
    case Parameter::HumiCorrection:
        return records::Parameter::HumiOffset;
    case Parameter::Order:
        break;
    }
    return records::Parameter::Order;
}

bool isCorrection(Parameter p)
{
    return p == Parameter::TempCorrection || p == Parameter::HumiCorrection;
}

// Corrections in their units, the rest as whole numbers.
double inUnits(Parameter p, qint32 value)
{
    return isCorrection(p) ? records::fromTenths(value) : double(value);
}
} // namespace

bool chooseStore(const QString &db, StoreChoice *choice, QString *error)
{
    const QString ini = settingsPath();
    const records::StationConfig config =
        records::StationConfig::load(records::stationIniPath(ini));
    choice->path = records::recordsPath(ini);
    choice->centralUrl = config.url;
    choice->station = config.stationName();
    if (isUrl(db)) {
        QString why;
        if (!records::CentralUrl::parse(db, &why)) {
            *error = QStringLiteral("--db: \"%1\" is not valid (%2); expected a file path or a "
                                    "postgresql:// URL")
                         .arg(records::redactUrl(db), why);
            return false;
        }
        choice->centralUrl = db;
    } else if (!db.isEmpty()) {
        choice->path = db;
    }
    return true;
}

RecordFile::RecordFile(const StoreChoice &choice, Output &out) : m_choice(choice), m_out(out)
{
    QObject::connect(
        &m_store, &records::RecordStore::problem, &m_store,
        [this](const QString &text) { m_out.warning(QStringLiteral("records: ") + text); });
    m_store.setStation(choice.station);
    m_store.setToolVersion(QStringLiteral(MOVRA_VERSION));
}

RecordFile::~RecordFile()
{
    if (!m_opened)
        return;
    m_store.waitForWrites();
    m_store.close();
}

records::RecordStore &RecordFile::store()
{
    if (!m_opened) {
        m_opened = true;
        // The window makes its folder when it starts; this may come first.
        QDir().mkpath(QFileInfo(m_choice.path).absolutePath());
        if (!m_choice.centralUrl.isEmpty())
            m_store.startCentral(m_choice.centralUrl);
        m_store.open(m_choice.path);
    }
    return m_store;
}

StoreSink::StoreSink(RecordFile &file, const QString &serial) : m_file(file), m_serial(serial) {}

void StoreSink::add(const records::RecordData &data)
{
    records::Record r;
    r.unit = m_unit;
    r.data = data;
    m_file.store().append(r);
}

void StoreSink::connected(const Identity &identity, const QString &ident)
{
    records::Attempt a;
    a.port = identity.port;
    a.baud = identity.baudRate;
    a.mode = identity.testMode ? records::Mode::Test : records::Mode::Normal;
    a.ident = ident;
    a.serial = m_serial;
    if (identity.station >= 0)
        a.address = identity.station;
    a.ok = true;
    m_unit = records::newId();
    add(a);
}

void StoreSink::connectFailed(const QString &port, qint32 baud, bool testMode,
                              const QString &reason)
{
    records::Attempt a;
    a.port = port;
    a.baud = baud;
    a.mode = testMode ? records::Mode::Test : records::Mode::Normal;
    a.ok = false;
    a.reason = reason;
    a.serial = m_serial;
    m_file.store().attemptFailed(a);
}

void StoreSink::reading(const Measurement &m)
{
    // Only a judged value has a verdict to keep, as in the window.
    if (m.hasHumidity && m.humidityJudgement.judged)
        add(readingOf(records::Quantity::Humidity, m.humidityJudgement));
    if (m.hasTemperature && m.temperatureJudgement.judged)
        add(readingOf(records::Quantity::Temperature, m.temperatureJudgement));
}

void StoreSink::written(Parameter parameter, qint32 value, bool confirmed)
{
    add(records::ParameterWrite{toRecord(parameter), inUnits(parameter, value), confirmed});
}

void StoreSink::parametersRead(const ParameterValues &v)
{
    records::BatchRead batch;
    const auto at = [&v](Parameter p) {
        return v[size_t(p)];
    };
    batch.station = at(Parameter::Address);
    batch.baud = at(Parameter::BaudRate);
    if (at(Parameter::TempCorrection))
        batch.tempOffset = records::fromTenths(*at(Parameter::TempCorrection));
    if (at(Parameter::HumiCorrection))
        batch.humiOffset = records::fromTenths(*at(Parameter::HumiCorrection));
    batch.order = at(Parameter::Order);
    add(batch);
}

void StoreSink::disconnected(bool portLost, const QString &reason)
{
    if (m_unit.isNull())
        return;
    add(records::Disconnect{portLost ? records::EndedBy::PortLost : records::EndedBy::Operator,
                            reason});
    m_unit = QUuid();
}

} // namespace movra::cli
