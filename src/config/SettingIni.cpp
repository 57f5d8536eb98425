#include "config/SettingIni.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <limits>

namespace movra::config {

namespace {
const char kCheckHumi[] = "enCheckReadHumiFlag";
const char kCheckTemp[] = "enCheckTempFlag";
const char kBaseTemp[] = "BaseTemp";
const char kBaseHumi[] = "BaseHumi";
const char kOffsetTemp[] = "CheckOffsetTemp";
const char kOffsetHumi[] = "CheckOffsetHumi";
const char kTempInterval[] = "RTempInterval";
const char kAutoReadTemp[] = "enAutoReadTempFlag";
const char kHumiInterval[] = "RHumiInterval";
const char kAutoReadHumi[] = "enAutoReadHumiFlag";
const char kLastPort[] = "lastComName";
const char kLastBaudIndex[] = "lastBraudRateIndex";

// Unsigned values never take a negative stored value: wrapped, it would turn
// a tolerance into "everything passes" or an interval into hours.
template <typename T> T unsignedSetting(const QVariant &v)
{
    const qint64 raw = v.toLongLong();
    return T(qBound<qint64>(0, raw, std::numeric_limits<T>::max()));
}

bool flag(const QVariant &v)
{
    return quint8(v.toInt()) != 0;
}

bool undecodableFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return hasUndecodableVariant(file.readAll());
}
} // namespace

QString SettingIni::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
           QStringLiteral("/Setting.ini");
}

SettingIni::SettingIni(QString path)
    : m_path(std::move(path)), m_undecodable(undecodableFile(m_path))
{
}

WindowSettings SettingIni::load() const
{
    WindowSettings s;
    if (m_undecodable)
        return s;
    const QSettings ini(m_path, QSettings::IniFormat);
    const auto value = [&ini](const char *key) {
        return ini.value(QLatin1String(key));
    };
    s.checkHumi = flag(value(kCheckHumi));
    s.checkTemp = flag(value(kCheckTemp));
    s.baseTemp = value(kBaseTemp).toInt();
    s.baseHumi = unsignedSetting<quint16>(value(kBaseHumi));
    s.checkOffsetTemp = unsignedSetting<quint32>(value(kOffsetTemp));
    s.checkOffsetHumi = unsignedSetting<quint16>(value(kOffsetHumi));
    s.tempInterval = unsignedSetting<qint32>(value(kTempInterval));
    s.autoReadTemp = flag(value(kAutoReadTemp));
    s.humiInterval = unsignedSetting<qint32>(value(kHumiInterval));
    s.autoReadHumi = flag(value(kAutoReadHumi));
    s.lastPort = value(kLastPort).toString();
    bool ok = false;
    const qint32 index = value(kLastBaudIndex).toInt(&ok);
    if (ok)
        s.lastBaudIndex = index;
    return s;
}

void SettingIni::saveChecks(bool checkTemp, bool checkHumi) const
{
    write({{kCheckTemp, int(checkTemp)}, {kCheckHumi, int(checkHumi)}});
}

void SettingIni::saveReferences(const WindowSettings &s) const
{
    write({{kCheckTemp, int(s.checkTemp)},
           {kCheckHumi, int(s.checkHumi)},
           {kBaseTemp, s.baseTemp},
           {kBaseHumi, int(s.baseHumi)},
           {kOffsetTemp, s.checkOffsetTemp},
           {kOffsetHumi, int(s.checkOffsetHumi)}});
}

void SettingIni::savePeriodic(bool temp, bool humi) const
{
    write({{kAutoReadTemp, int(temp)}, {kAutoReadHumi, int(humi)}});
}

void SettingIni::saveTempInterval(qint32 value) const
{
    write({{kTempInterval, quint32(value)}});
}

void SettingIni::saveHumiInterval(qint32 value) const
{
    write({{kHumiInterval, quint32(value)}});
}

void SettingIni::savePort(const QString &name, qint32 baudIndex) const
{
    write({{kLastPort, name}, {kLastBaudIndex, baudIndex}});
}

void SettingIni::saveBaudIndex(qint32 baudIndex) const
{
    write({{kLastBaudIndex, baudIndex}});
}

void SettingIni::write(std::initializer_list<std::pair<const char *, QVariant>> values) const
{
    if (m_undecodable)
        return;
    QSettings s(m_path, QSettings::IniFormat);
    for (const auto &kv : values)
        s.setValue(QLatin1String(kv.first), kv.second);
    s.sync();
}

QString stationIniPath(const QString &settingIni)
{
    return QFileInfo(settingIni).absoluteDir().filePath(QStringLiteral("Station.ini"));
}

QString recordsPath(const QString &settingIni)
{
    return QFileInfo(settingIni).absoluteDir().filePath(QStringLiteral("records.sqlite"));
}

} // namespace movra::config
