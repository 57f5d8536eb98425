#include "MovraTestTool.h"

#include <QSettings>

#include <limits>

#include "Tenths.h"

namespace {
// Unsigned values never take a negative stored value: wrapped, it would turn
// a tolerance into "everything passes" or an interval into hours.
template <typename T> T unsignedSetting(const QVariant &v)
{
    const qint64 raw = v.toLongLong();
    return T(qBound<qint64>(0, raw, std::numeric_limits<T>::max()));
}
} // namespace

void MovraTestTool::loadSettings(QSettings &s)
{
    checkHumi = quint8(s.value(QStringLiteral("enCheckReadHumiFlag")).toInt()) != 0;
    checkTemp = quint8(s.value(QStringLiteral("enCheckTempFlag")).toInt()) != 0;
    baseTemp = s.value(QStringLiteral("BaseTemp")).toInt();
    baseHumi = unsignedSetting<quint16>(s.value(QStringLiteral("BaseHumi")));
    checkOffsetTemp = unsignedSetting<quint32>(s.value(QStringLiteral("CheckOffsetTemp")));
    checkOffsetHumi = unsignedSetting<quint16>(s.value(QStringLiteral("CheckOffsetHumi")));
    tempInterval = unsignedSetting<qint32>(s.value(QStringLiteral("RTempInterval")));
    autoReadTemp = quint8(s.value(QStringLiteral("enAutoReadTempFlag")).toInt()) != 0;
    humiInterval = unsignedSetting<qint32>(s.value(QStringLiteral("RHumiInterval")));
    autoReadHumi = quint8(s.value(QStringLiteral("enAutoReadHumiFlag")).toInt()) != 0;

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

    savedPortName = s.value(QStringLiteral("lastComName")).toString();
    savedBaudIndex = s.value(QStringLiteral("lastBraudRateIndex")).toInt();
    ui.BraudRate_1->setCurrentIndex(savedBaudIndex);
}

void MovraTestTool::writeSettings(std::initializer_list<std::pair<const char *, QVariant>> values)
{
    QSettings s(settingsPath, QSettings::IniFormat);
    for (const auto &kv : values)
        s.setValue(QLatin1String(kv.first), kv.second);
    s.sync();
}
