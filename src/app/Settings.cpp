#include "app/MovraTestTool.h"

#include <QHash>
#include <QSettings>

#include <exception>
#include <limits>

#include "link/Tenths.h"

namespace {
// Unsigned values never take a negative stored value: wrapped, it would turn
// a tolerance into "everything passes" or an interval into hours.
template <typename T> T unsignedSetting(const QVariant &v)
{
    const qint64 raw = v.toLongLong();
    return T(qBound<qint64>(0, raw, std::numeric_limits<T>::max()));
}

const char *const kStoredKeys[] = {
    "enCheckReadHumiFlag", "enCheckTempFlag",    "BaseTemp",      "BaseHumi",
    "CheckOffsetTemp",     "CheckOffsetHumi",    "RTempInterval", "enAutoReadTempFlag",
    "RHumiInterval",       "enAutoReadHumiFlag", "lastComName",   "lastBraudRateIndex",
};
} // namespace

void MovraTestTool::loadSettings(QSettings &settings)
{
    // A hand-edited "@Variant(...)" value whose length claims gigabytes makes
    // QSettings throw while it parses the file; that must not stop the tool at
    // every start, so such a file reads as no file.
    QHash<QString, QVariant> stored;
    try {
        for (const char *key : kStoredKeys)
            stored.insert(QLatin1String(key), settings.value(QLatin1String(key)));
    } catch (const std::exception &) {
        stored.clear();
        settingsUndecodable = true;
    }
    const auto value = [&stored](const char *key) {
        return stored.value(QLatin1String(key));
    };

    const bool checkHumi = quint8(value("enCheckReadHumiFlag").toInt()) != 0;
    const bool checkTemp = quint8(value("enCheckTempFlag").toInt()) != 0;
    const qint32 baseTemp = value("BaseTemp").toInt();
    const quint16 baseHumi = unsignedSetting<quint16>(value("BaseHumi"));
    const quint32 checkOffsetTemp = unsignedSetting<quint32>(value("CheckOffsetTemp"));
    const quint16 checkOffsetHumi = unsignedSetting<quint16>(value("CheckOffsetHumi"));
    const qint32 tempInterval = unsignedSetting<qint32>(value("RTempInterval"));
    const bool autoReadTemp = quint8(value("enAutoReadTempFlag").toInt()) != 0;
    const qint32 humiInterval = unsignedSetting<qint32>(value("RHumiInterval"));
    const bool autoReadHumi = quint8(value("enAutoReadHumiFlag").toInt()) != 0;
    engine.setCheck(movra::Quantity::Temperature, {checkTemp, baseTemp, checkOffsetTemp});
    engine.setCheck(movra::Quantity::Humidity, {checkHumi, baseHumi, checkOffsetHumi});

    ui.BaseTemp->setText(movra::tenthsText(baseTemp));
    ui.BaseHumi->setText(movra::tenthsText(baseHumi));
    ui.OffsetTemp->setText(movra::tenthsText(checkOffsetTemp));
    ui.OffsetHumi->setText(movra::tenthsText(checkOffsetHumi));

    ui.checkBox_10->setChecked(checkTemp);
    ui.checkBox_9->setChecked(checkHumi);
    ui.checkBox_5->setChecked(autoReadTemp);
    ui.checkBox_6->setChecked(autoReadHumi);

    ui.readHumiInterval->setValue(humiInterval);
    ui.readTempInterval->setValue(tempInterval);

    savedPortName = value("lastComName").toString();
    savedBaudIndex = value("lastBraudRateIndex").toInt();
    ui.BraudRate_1->setCurrentIndex(savedBaudIndex);
}

void MovraTestTool::writeSettings(std::initializer_list<std::pair<const char *, QVariant>> values)
{
    // sync() would parse that file again, and QSettings does not survive a
    // second throw: the file stays as the operator left it, the write is lost.
    if (settingsUndecodable)
        return;
    QSettings s(settingsPath, QSettings::IniFormat);
    for (const auto &kv : values)
        s.setValue(QLatin1String(kv.first), kv.second);
    s.sync();
}
