#include "app/MovraTestTool.h"

#include "app/Language.h"
#include "engine/PortList.h"
#include "link/Tenths.h"

void MovraTestTool::loadSettings()
{
    const movra::config::WindowSettings s = settingIni.load();
    engine.setCheck(movra::Quantity::Temperature, {s.checkTemp, s.baseTemp, s.checkOffsetTemp});
    engine.setCheck(movra::Quantity::Humidity, {s.checkHumi, s.baseHumi, s.checkOffsetHumi});

    ui.BaseTemp->setText(movra::tenthsText(s.baseTemp));
    ui.BaseHumi->setText(movra::tenthsText(s.baseHumi));
    ui.OffsetTemp->setText(movra::tenthsText(s.checkOffsetTemp));
    ui.OffsetHumi->setText(movra::tenthsText(s.checkOffsetHumi));

    ui.checkBox_10->setChecked(s.checkTemp);
    ui.checkBox_9->setChecked(s.checkHumi);
    ui.checkBox_5->setChecked(s.autoReadTemp);
    ui.checkBox_6->setChecked(s.autoReadHumi);

    ui.readHumiInterval->setValue(s.humiInterval);
    ui.readTempInterval->setValue(s.tempInterval);

    savedPortName = s.lastPort;
    savedBaudIndex = s.lastBaudIndex.value_or(0);
    ui.BraudRate_1->setCurrentIndex(savedBaudIndex);
}

WindowOptions WindowOptions::from(const movra::config::Environment &env, const QString &stationIni)
{
    WindowOptions o;
    o.extraPorts = movra::splitPortList(env.extraPorts);
    o.recordsUrl = env.recordsUrl;
    o.recording = !env.recordsOff;
    o.tickMode = movra::TickScheduler::modeNamed(env.tick, o.tickMode);
    o.language = movra::chosenLanguage(env.language, stationIni);
    return o;
}
