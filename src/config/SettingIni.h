// Setting.ini: where the window keeps its controls between runs, and where
// movra finds the port and rate the window used last. Its path, keys and
// their conversions live here and nowhere else. Station.ini and the record
// store sit beside it.
#pragma once

#include <QString>
#include <QVariant>
#include <initializer_list>
#include <optional>
#include <utility>

namespace movra::config {

// What the file keeps, as the window uses it; a missing or unreadable key
// reads as its default.
struct WindowSettings
{
    bool checkTemp = false;
    bool checkHumi = false;
    qint32 baseTemp = 0; // tenths
    quint16 baseHumi = 0;
    quint32 checkOffsetTemp = 0;
    quint16 checkOffsetHumi = 0;
    qint32 tempInterval = 0;
    qint32 humiInterval = 0;
    bool autoReadTemp = false;
    bool autoReadHumi = false;
    QString lastPort;
    std::optional<qint32> lastBaudIndex; // none: missing or no number
};

class SettingIni
{
public:
    // The per-application configuration folder: the shared root is no place
    // for a name as plain as Setting.ini. The folder is not made here.
    static QString defaultPath();

    explicit SettingIni(QString path);

    const QString &path() const { return m_path; }
    // A file QSettings cannot decode (a serialised list whose length claims
    // more than there is) reads as no file, and is never written: QSettings
    // would fail on it again at every write.
    bool undecodable() const { return m_undecodable; }

    WindowSettings load() const;

    // Each write is a QSettings of its own, synced at once.
    void saveChecks(bool checkTemp, bool checkHumi) const;
    void saveReferences(const WindowSettings &s) const; // with the checks
    void savePeriodic(bool temp, bool humi) const;
    void saveTempInterval(qint32 value) const;
    void saveHumiInterval(qint32 value) const;
    void savePort(const QString &name, qint32 baudIndex) const;
    void saveBaudIndex(qint32 baudIndex) const;

private:
    void write(std::initializer_list<std::pair<const char *, QVariant>> values) const;

    QString m_path;
    bool m_undecodable = false;
};

QString stationIniPath(const QString &settingIni);
QString recordsPath(const QString &settingIni);

// True when the bytes of an INI file hold a "@Variant(...)" value that
// QSettings cannot decode without running out of memory.
bool hasUndecodableVariant(const QByteArray &ini);

} // namespace movra::config
