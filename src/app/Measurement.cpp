// Readings as the window shows them, and the controls of periodic reading
// and of the qualification check.
#include "app/MovraTestTool.h"

#include <limits>

#include "link/Tenths.h"

using movra::Judgement;
using movra::Quantity;

namespace {
// A tolerance the operator cannot meet (0) is the safe reading of a
// negative entry: wrapped to a huge number it would pass everything.
template <typename T> T tenthsFromText(const QLineEdit *edit)
{
    const qint64 low = std::numeric_limits<T>::is_signed ? std::numeric_limits<T>::min() : 0;
    return T(movra::textToTenths(edit->text(), low, std::numeric_limits<T>::max()));
}

QString checkLine(const QString &stamp, const QString &label, const Judgement &j,
                  const QString &unit)
{
    QString line = stamp + label + movra::tenthsText(j.value) + QLatin1Char(' ') + unit;
    if (!j.judged)
        return line;
    line += MovraTestTool::tr("\t误差：") + movra::tenthsText(qint64(j.deviation)) +
            QLatin1Char(' ') + unit +
            (j.pass ? MovraTestTool::tr("小于") : MovraTestTool::tr("大于")) +
            movra::tenthsText(qint64(j.tolerance)) +
            (j.pass ? MovraTestTool::tr("合格\r\n") : MovraTestTool::tr("不合格"));
    return line;
}
} // namespace

void MovraTestTool::showMeasurement(const movra::Measurement &m)
{
    // One stamp for both values of a reply; humidity first.
    const QString stamp = logStamp();
    if (m.hasHumidity) {
        ui.label_Humidy->setText(movra::tenthsText(m.humidity));
        appendLogLine(checkLine(stamp, tr("\t湿度:"), m.humidityJudgement, QStringLiteral("%")));
    }
    if (m.hasTemperature) {
        ui.label_Temp->setText(movra::tenthsText(m.temperature));
        appendLogLine(checkLine(stamp, tr("\t温度:"), m.temperatureJudgement, tr("℃")));
    }
}

void MovraTestTool::Base_Offset_TempHumiChanged(QString)
{
    const qint32 baseTemp = tenthsFromText<qint32>(ui.BaseTemp);
    const quint16 baseHumi = tenthsFromText<quint16>(ui.BaseHumi);
    const quint32 checkOffsetTemp = tenthsFromText<quint32>(ui.OffsetTemp);
    const quint16 checkOffsetHumi = tenthsFromText<quint16>(ui.OffsetHumi);
    const bool checkTemp = engine.check(Quantity::Temperature).on;
    const bool checkHumi = engine.check(Quantity::Humidity).on;
    engine.setCheck(Quantity::Temperature, {checkTemp, baseTemp, checkOffsetTemp});
    engine.setCheck(Quantity::Humidity, {checkHumi, baseHumi, checkOffsetHumi});
    movra::config::WindowSettings saved;
    saved.checkTemp = checkTemp;
    saved.checkHumi = checkHumi;
    saved.baseTemp = baseTemp;
    saved.baseHumi = baseHumi;
    saved.checkOffsetTemp = checkOffsetTemp;
    saved.checkOffsetHumi = checkOffsetHumi;
    settingIni.saveReferences(saved);
    updateTrendBands();
}

void MovraTestTool::writeTempHumiRevertCheckClicked()
{
    engine.setWriteEnabled(movra::Parameter::Order, ui.checkBox_7->isChecked());
    engine.setReadParametersOnConnect(ui.checkBox_8->isChecked());
    takeCheckBoxes();
    settingIni.saveChecks(engine.check(Quantity::Temperature).on,
                          engine.check(Quantity::Humidity).on);
    updateTrendBands();
}

// The two check boxes switch the qualification check; reference and
// tolerance stay as typed.
void MovraTestTool::takeCheckBoxes()
{
    movra::Check temp = engine.check(Quantity::Temperature);
    temp.on = ui.checkBox_10->isChecked();
    engine.setCheck(Quantity::Temperature, temp);
    movra::Check humi = engine.check(Quantity::Humidity);
    humi.on = ui.checkBox_9->isChecked();
    engine.setCheck(Quantity::Humidity, humi);
}

void MovraTestTool::readTempIntervalCheckClicked()
{
    const bool temp = ui.checkBox_5->isChecked();
    const bool humi = ui.checkBox_6->isChecked();
    engine.setPeriodicReading(Quantity::Temperature, temp);
    engine.setPeriodicReading(Quantity::Humidity, humi);
    settingIni.savePeriodic(temp, humi);
}

void MovraTestTool::onRTempIntervalChanged(int value)
{
    engine.setInterval(Quantity::Temperature, value);
    settingIni.saveTempInterval(value);
}

void MovraTestTool::onRHumiIntervalChanged(int value)
{
    engine.setInterval(Quantity::Humidity, value);
    settingIni.saveHumiInterval(value);
}
