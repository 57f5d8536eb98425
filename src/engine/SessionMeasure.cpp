// Temperature and humidity: on demand, periodically, and judged.
#include "engine/Session.h"

#include "link/Protocol.h"

namespace movra {

namespace {
constexpr size_t kTemp = size_t(Quantity::Temperature);
constexpr size_t kHumi = size_t(Quantity::Humidity);
} // namespace

void Session::readNow()
{
    const FromOutside outside(*this);
    if (m_linkState != LinkState::Connected)
        return;
    emit logMessage(tr("正在手动读取温湿度值"));
    send(ReqReadBoth);
}

void Session::pollMeasurement()
{
    // A switched-off channel keeps its count and never blocks the other.
    for (size_t q : {kTemp, kHumi}) {
        if (m_periodic[q] && ++m_seconds[q] >= quint32(m_interval[q]))
            m_seconds[q] = 0;
    }
    const bool tempDue = m_periodic[kTemp] && m_seconds[kTemp] == 0;
    const bool humiDue = m_periodic[kHumi] && m_seconds[kHumi] == 0;
    if (tempDue && humiDue)
        send(ReqReadBoth);
    else if (tempDue)
        send(ReqReadTemperature);
    else if (humiDue)
        send(ReqReadHumidity);
}

void Session::applyMeasurement(qint16 rawTemp, quint16 rawHumi, bool tempValid, bool humiValid)
{
    Measurement m;
    m.hasHumidity = humiValid && rawHumi <= kMaxHumidity;
    m.hasTemperature = tempValid && rawTemp >= kMinTemperature && rawTemp <= kMaxTemperature;
    if (!m.hasHumidity && !m.hasTemperature)
        return;
    if (m.hasHumidity) {
        m.humidity = rawHumi;
        m.humidityJudgement = judge(rawHumi, m_check[kHumi]);
    }
    if (m.hasTemperature) {
        m.temperature = rawTemp;
        m.temperatureJudgement = judge(rawTemp, m_check[kTemp]);
    }
    emit measured(m);
}

} // namespace movra
