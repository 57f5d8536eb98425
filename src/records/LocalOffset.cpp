#include "records/LocalOffset.h"

#include <QDateTime>

namespace movra::records {

LocalOffset::LocalOffset(std::function<int(qint64)> ask) : m_ask(std::move(ask))
{
    if (!m_ask)
        m_ask = [](qint64 ms) {
            return QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc();
        };
}

int LocalOffset::at(qint64 ms)
{
    // A clock set back starts over too.
    if (ms < m_fromMs || ms >= m_untilMs) {
        m_offset = m_ask(ms);
        m_fromMs = ms;
        const qint64 quarter = ms - ms % kQuarterHourMs + kQuarterHourMs;
        m_untilMs = qMin(quarter, ms + kLongestMs);
    }
    return m_offset;
}

} // namespace movra::records
