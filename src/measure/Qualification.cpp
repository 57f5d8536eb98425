#include "MovraTestTool.h"

#include <limits>

#include "Tenths.h"

namespace {
// A tolerance the operator cannot meet (0) is the safe reading of a
// negative entry: wrapped to a huge number it would pass everything.
template <typename T> T tenthsFromText(const QLineEdit *edit)
{
    const qint64 low = std::numeric_limits<T>::is_signed ? std::numeric_limits<T>::min() : 0;
    return T(movra::textToTenths(edit->text(), low, std::numeric_limits<T>::max()));
}

QString checkLine(const QString &stamp, const QString &label, qint64 value, const QString &unit,
                  bool checkOn, qint64 reference, quint64 tolerance)
{
    QString line = stamp + label + movra::tenthsText(value) + QLatin1Char(' ') + unit;
    if (!checkOn)
        return line;
    const quint64 deviation = quint64(value > reference ? value - reference : reference - value);
    const bool pass = deviation < tolerance;
    line += MovraTestTool::tr("\t误差：") + movra::tenthsText(qint64(deviation)) +
            QLatin1Char(' ') + unit +
            (pass ? MovraTestTool::tr("小于") : MovraTestTool::tr("大于")) +
            movra::tenthsText(qint64(tolerance)) +
            (pass ? MovraTestTool::tr("合格\r\n") : MovraTestTool::tr("不合格"));
    return line;
}
} // namespace

void MovraTestTool::checkTemperature(const QString &stamp)
{
    ui.label_Temp->setText(movra::tenthsText(temperature));
    appendLogLine(checkLine(stamp, tr("\t温度:"), temperature, tr("℃"), checkTemp, baseTemp,
                            checkOffsetTemp));
}

void MovraTestTool::checkHumidity(const QString &stamp)
{
    ui.label_Humidy->setText(movra::tenthsText(humidity));
    appendLogLine(checkLine(stamp, tr("\t湿度:"), humidity, QStringLiteral("%"), checkHumi,
                            baseHumi, checkOffsetHumi));
}

void MovraTestTool::Base_Offset_TempHumiChanged(QString)
{
    baseTemp = tenthsFromText<qint32>(ui.BaseTemp);
    baseHumi = tenthsFromText<quint16>(ui.BaseHumi);
    checkOffsetTemp = tenthsFromText<quint32>(ui.OffsetTemp);
    checkOffsetHumi = tenthsFromText<quint16>(ui.OffsetHumi);
    writeSettings({{"enCheckTempFlag", int(checkTemp)},
                   {"enCheckReadHumiFlag", int(checkHumi)},
                   {"BaseTemp", baseTemp},
                   {"BaseHumi", int(baseHumi)},
                   {"CheckOffsetTemp", checkOffsetTemp},
                   {"CheckOffsetHumi", int(checkOffsetHumi)}});
}

void MovraTestTool::writeTempHumiRevertCheckClicked()
{
    tempHumiRevertChecked = ui.checkBox_7->isChecked();
    readParamOnConnect = ui.checkBox_8->isChecked();
    checkTemp = ui.checkBox_10->isChecked();
    checkHumi = ui.checkBox_9->isChecked();
    writeSettings({{"enCheckTempFlag", int(checkTemp)}, {"enCheckReadHumiFlag", int(checkHumi)}});
}
