// The tour's first part: an operator's first session on the main window,
// from connecting to disconnecting, one step a function.
#include "Tour.h"

#include "SimulatorHost.h"
#include "link/Tenths.h"

#include <QComboBox>
#include <QSpinBox>

namespace movratour {

using movra::tenthsText;

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// The qualification check's references, on whole units, so the deviations
// are the readings' tenths.
struct References
{
    explicit References(const Options &o)
        : corrected(o.temperature + o.temperatureCorrection), baseTemp(corrected / 10 * 10),
          baseHumi(o.humidity / 10 * 10)
    {
    }
    const int corrected;
    const int baseTemp;
    const int baseHumi;
    const int tolTemp = 5;
    const int tolHumi = 10;
};

} // namespace

bool Tour::firstSession()
{
    return connectStep() && manualReadStep() && periodicReadingStep() && batchReadStep() &&
           batchWriteStep() && readBackStep() && checkPassStep() && checkFailStep() &&
           disconnectStep();
}

bool Tour::connectStep()
{
    const QString rate = QString::number(m_opt.baudRate);
    return step(QStringLiteral("connect"),
                [&] {
                    selectItem("SerialComNum", m_sim.slavePath());
                    widget<QSpinBox>("readAddress_1")->setValue(m_opt.address);
                    // The factory rate connects directly; any other one is found by
                    // the scan over all seven.
                    if (m_opt.baudRate == 9600) {
                        selectItem("BraudRate_1", rate);
                        click("connectButton");
                    } else {
                        click("autoConnectButton");
                    }
                },
                {
                    {u("status bar: 设备连接成功"),
                     [&] {
                         return statusText().contains(u("设备连接成功"));
                     }},
                    logHas(u("设备连接成功,波特率为：") + rate),
                    {u("连接设备 disabled, 断开连接 and 手动读取 enabled"),
                     [&] {
                         return !isEnabled("connectButton") && isEnabled("disConnectButton") &&
                                isEnabled("manualReadButton");
                     }},
                });
}

bool Tour::manualReadStep()
{
    const QString temp = tenthsText(m_opt.temperature);
    const QString humi = tenthsText(m_opt.humidity);
    return step(QStringLiteral("manual-read"), [&] { click("manualReadButton"); },
                {
                    logHas(u("正在手动读取温湿度值")),
                    logHas(u("\t温度:") + temp + u(" ℃")),
                    logHas(u("\t湿度:") + humi + u(" %")),
                    {u("温度 shows ") + temp,
                     [&] {
                         return labelText("label_Temp") == temp;
                     }},
                    {u("湿度 shows ") + humi,
                     [&] {
                         return labelText("label_Humidy") == humi;
                     }},
                });
}

bool Tour::periodicReadingStep()
{
    return step(QStringLiteral("periodic-reading"),
                [&] {
                    widget<QSpinBox>("readTempInterval")->setValue(1);
                    widget<QSpinBox>("readHumiInterval")->setValue(2);
                    setChecked("checkBox_5", true);
                    setChecked("checkBox_6", true);
                },
                {
                    {u("4 temperature lines"),
                     [&] {
                         return newLogCount(u("\t温度:")) >= 4;
                     }},
                    {u("2 humidity lines"),
                     [&] {
                         return newLogCount(u("\t湿度:")) >= 2;
                     }},
                });
}

bool Tour::batchReadStep()
{
    const QString rate = QString::number(m_opt.baudRate);
    const QString station = QString::number(m_opt.address);
    return step(QStringLiteral("batch-read"), [&] { click("readButton"); },
                {
                    logHas(u("批量读取参数开始")),
                    logHas(u("设备地址为：") + station + u("\n")),
                    logHas(u("设备波特率为：") + rate),
                    logHas(u("设备温度修正为：0\n")),
                    logHas(u("已发完批量读取命令")),
                    {u("设备参数 station ") + station,
                     [&] {
                         return spinValue("readAddress_2") == m_opt.address;
                     }},
                    {u("设备参数 baud rate ") + rate,
                     [&] {
                         return widget<QComboBox>("braudRate_2")->itemText(0) == rate;
                     }},
                    {u("periodic reading switched off"),
                     [&] {
                         return !isChecked("checkBox_5") && !isChecked("checkBox_6");
                     }},
                });
}

bool Tour::batchWriteStep()
{
    return step(QStringLiteral("batch-write"),
                [&] {
                    widget<QSpinBox>("TempOffset_2")->setValue(m_opt.temperatureCorrection);
                    widget<QSpinBox>("readAddress_3")->setValue(m_opt.newAddress);
                    setChecked("checkBox", true);
                    setChecked("checkBox_2", false);
                    setChecked("checkBox_3", true);
                    setChecked("checkBox_4", false);
                    setChecked("checkBox_7", false);
                    click("writeButton");
                },
                {
                    logHas(u("批量写入参数开始")),
                    logHas(u("正在写入设备的温度修正为：") +
                           tenthsText(m_opt.temperatureCorrection) + u("℃")),
                    logHas(u("正在写入设备的地址为：") + QString::number(m_opt.newAddress)),
                    {u("two 写入成功"),
                     [&] {
                         return newLogCount(u("写入成功")) == 2;
                     }},
                    logHas(u("批量参数写入完成")),
                    {u("the device holds the new station and correction"),
                     [&] {
                         return m_sim.model().address() == m_opt.newAddress &&
                                m_sim.model().temperatureCorrection() ==
                                    m_opt.temperatureCorrection;
                     }},
                });
}

bool Tour::readBackStep()
{
    const QString newStation = QString::number(m_opt.newAddress);
    return step(
        QStringLiteral("read-back"), [&] { click("readButton"); },
        {
            logHas(u("设备地址为：") + newStation + u("\n")),
            logHas(u("设备温度修正为：") + QString::number(m_opt.temperatureCorrection) + u("\n")),
            logHas(u("已发完批量读取命令")),
            {u("设备参数 station ") + newStation,
             [&] {
                 return spinValue("readAddress_2") == m_opt.newAddress;
             }},
            {u("站号 follows to ") + newStation,
             [&] {
                 return spinValue("readAddress_1") == m_opt.newAddress;
             }},
            {u("设备参数 temperature correction"),
             [&] {
                 return spinValue("tempOffset_1") == m_opt.temperatureCorrection;
             }},
        });
}

bool Tour::checkPassStep()
{
    const References r(m_opt);
    const QString temp = tenthsText(r.corrected);
    const QString humi = tenthsText(m_opt.humidity);
    return step(
        QStringLiteral("check-pass"),
        [&] {
            type("BaseTemp", tenthsText(r.baseTemp));
            type("OffsetTemp", tenthsText(r.tolTemp));
            type("BaseHumi", tenthsText(r.baseHumi));
            type("OffsetHumi", tenthsText(r.tolHumi));
            setChecked("checkBox_10", true);
            setChecked("checkBox_9", true);
            click("manualReadButton");
        },
        {
            logHas(u("\t温度:") + temp + u(" ℃\t误差：") + tenthsText(r.corrected - r.baseTemp) +
                   u(" ℃小于") + tenthsText(r.tolTemp) + u("合格")),
            logHas(u("\t湿度:") + humi + u(" %\t误差：") + tenthsText(m_opt.humidity - r.baseHumi) +
                   u(" %小于") + tenthsText(r.tolHumi) + u("合格")),
            {u("温度 shows ") + temp,
             [&] {
                 return labelText("label_Temp") == temp;
             }},
        });
}

bool Tour::checkFailStep()
{
    const References r(m_opt);
    return step(QStringLiteral("check-fail"),
                [&] {
                    type("BaseTemp", tenthsText(r.baseTemp - 10));
                    click("manualReadButton");
                },
                {
                    logHas(u("\t温度:") + tenthsText(r.corrected) + u(" ℃\t误差：") +
                           tenthsText(r.corrected - r.baseTemp + 10) + u(" ℃大于") +
                           tenthsText(r.tolTemp) + u("不合格")),
                    logHas(u("\t湿度:") + tenthsText(m_opt.humidity) + u(" %\t误差：")),
                });
}

bool Tour::disconnectStep()
{
    return step(QStringLiteral("disconnect"), [&] { click("disConnectButton"); },
                {
                    {u("status bar: 设备已断开"),
                     [&] {
                         return statusText().contains(u("设备已断开"));
                     }},
                    logHas(u("设备已经断开")),
                    {u("连接设备 enabled, 手动读取 disabled"),
                     [&] {
                         return isEnabled("connectButton") && !isEnabled("manualReadButton");
                     }},
                });
}

} // namespace movratour
