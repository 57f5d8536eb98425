#include "MovraTestTool.h"

#include <QDateTime>
#include <QLocale>

void MovraTestTool::onmanualReadButtonClicked()
{
    if (linkState != LinkConnected)
        return;
    appendLog(tr("正在手动读取温湿度值"));
    sendMeasurement(5);
}

void MovraTestTool::sendMeasurement(qint32 code)
{
    pendingRequest = code;
    const quint16 reg = code == 4 ? 0x0001 : 0x0000;
    const quint16 count = code == 5 ? 2 : 1;
    sendRequest(devAddress, 0x03, reg, count);
}

void MovraTestTool::pollMeasurement()
{
    if (autoReadTemp && ++tempSeconds >= quint32(tempInterval))
        tempSeconds = 0;
    if (autoReadHumi && ++humiSeconds >= quint32(humiInterval))
        humiSeconds = 0;

    const bool tempDue = autoReadTemp && tempSeconds == 0;
    const bool humiDue = autoReadHumi && humiSeconds == 0;
    if (tempDue && humiDue)
        sendMeasurement(5);
    else if (tempDue)
        sendMeasurement(4);
    else if (humiDue)
        sendMeasurement(3);
}

void MovraTestTool::applyMeasurement(qint16 rawTemp, quint16 rawHumi, bool tempValid,
                                     bool humiValid)
{
    // One stamp for both values of a reply.
    const QString stamp = QLocale::system().toString(QDateTime::currentDateTime(),
                                                     QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (humiValid && rawHumi <= 1000) {
        humidity = rawHumi;
        checkHumidity(stamp);
    }
    if (tempValid && rawTemp >= -550 && rawTemp <= 1000) {
        temperature = rawTemp;
        checkTemperature(stamp);
    }
}

void MovraTestTool::readTempIntervalCheckClicked()
{
    autoReadTemp = ui.checkBox_5->isChecked();
    autoReadHumi = ui.checkBox_6->isChecked();
    writeSettings(
        {{"enAutoReadTempFlag", int(autoReadTemp)}, {"enAutoReadHumiFlag", int(autoReadHumi)}});
}

void MovraTestTool::onRTempIntervalChanged(int value)
{
    tempInterval = value;
    writeSettings({{"RTempInterval", quint32(value)}});
}

void MovraTestTool::onRHumiIntervalChanged(int value)
{
    humiInterval = value;
    writeSettings({{"RHumiInterval", quint32(value)}});
}
