#include "trend/Decimator.h"

#include <utility>

namespace movra::trend {

Decimator::Decimator(qint64 fromMs, qint64 toMs, int buckets)
    : m_from(fromMs), m_span(qMax<qint64>(1, toMs - fromMs)), m_buckets(qMax(1, buckets))
{
}

int Decimator::bucketOf(qint64 ms) const
{
    const qint64 offset = qBound<qint64>(0, ms - m_from, m_span);
    return int(qMin<qint64>(m_buckets - 1, offset * m_buckets / m_span));
}

void Decimator::add(qint64 ms, double value)
{
    const Kept p{m_count++, ms, value};
    if (p.n == 0)
        keep(p);
    const int b = bucketOf(ms);
    if (b != m_bucket) {
        flush();
        m_bucket = b;
        m_min = m_max = p;
    } else if (value < m_min.value) {
        m_min = p;
    } else if (value > m_max.value) {
        m_max = p;
    }
    m_last = p;
}

void Decimator::keep(const Kept &k)
{
    if (k.n <= m_keptUpTo)
        return;
    m_out.append(QPointF(double(k.ms), k.value));
    m_keptUpTo = k.n;
}

void Decimator::flush()
{
    if (m_bucket < 0)
        return;
    if (m_min.n < m_max.n) {
        keep(m_min);
        keep(m_max);
    } else {
        keep(m_max);
        keep(m_min);
    }
}

QVector<QPointF> Decimator::finish()
{
    flush();
    m_bucket = -1;
    if (m_count > 0)
        keep(m_last);
    return std::move(m_out);
}

QVector<QPointF> decimate(const TrendSeries &series, int begin, int end, qint64 fromMs, qint64 toMs,
                          int buckets)
{
    Decimator d(fromMs, toMs, buckets);
    for (int i = qMax(0, begin); i < qMin(end, series.size()); ++i)
        d.add(series.timeAt(i), series.valueAt(i));
    return d.finish();
}

} // namespace movra::trend
