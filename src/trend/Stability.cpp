#include "trend/Stability.h"

namespace movra::trend {

namespace {
// Values are floats holding tenths: 25.3 - 25.1 must not come out above 0.2.
constexpr double kSlack = 1e-4;
} // namespace

void StabilityTracker::reset()
{
    *this = StabilityTracker{m_rule};
}

void StabilityTracker::setRule(const StabilityRule &rule, const TrendSeries &series)
{
    m_rule = rule;
    reset();
    m_next = series.firstNumber();
    update(series);
}

void StabilityTracker::update(const TrendSeries &series)
{
    const quint64 first = series.firstNumber();
    if (m_next < first) {
        // Points went by untaken (the series was cleared or outran us).
        reset();
        m_next = first;
    }
    for (; m_next < series.appended(); ++m_next)
        step(series, int(m_next - first));
}

void StabilityTracker::step(const TrendSeries &series, int i)
{
    const quint64 first = series.firstNumber();
    const quint64 n = first + quint64(i);
    const qint64 t = series.timeAt(i);
    const float v = series.valueAt(i);
    const auto valueOf = [&](quint64 k) {
        return series.valueAt(int(k - first));
    };
    const auto timeOf = [&](quint64 k) {
        return series.timeAt(int(k - first));
    };

    if (i > 0 && t - series.timeAt(i - 1) > m_rule.windowMs / 2)
        m_lastWideGapEnd = t;

    while (!m_low.empty() && valueOf(m_low.back()) >= v)
        m_low.pop_back();
    m_low.push_back(n);
    while (!m_high.empty() && valueOf(m_high.back()) <= v)
        m_high.pop_back();
    m_high.push_back(n);

    const qint64 start = t - m_rule.windowMs;
    m_windowFirst = qMax(m_windowFirst, first);
    while (timeOf(m_windowFirst) < start)
        ++m_windowFirst;
    while (m_low.front() < m_windowFirst)
        m_low.pop_front();
    while (m_high.front() < m_windowFirst)
        m_high.pop_front();

    const bool wasStable = m_now.isStable();
    m_now.atMs = t;
    m_now.readings = int(n - m_windowFirst + 1);
    m_now.span = double(valueOf(m_high.front())) - double(valueOf(m_low.front()));
    const bool covered = series.timeAt(0) <= start && m_lastWideGapEnd <= start;
    if (!covered)
        m_now.verdict = Verdict::TooFewReadings;
    else if (m_now.span <= m_rule.band + kSlack)
        m_now.verdict = Verdict::Stable;
    else
        m_now.verdict = Verdict::Unsettled;
    if (m_now.isStable() && !wasStable)
        m_now.stableSinceMs = t;
}

} // namespace movra::trend
