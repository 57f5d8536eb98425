#include "trend/Decimator.h"

#include <limits>
#include <utility>

namespace movra::trend {

namespace {

class Decimator
{
public:
    Decimator(qint64 fromMs, qint64 toMs, int buckets)
        : m_from(fromMs), m_span(qMax<qint64>(1, toMs - fromMs)), m_buckets(qMax(1, buckets))
    {
    }

    // Points must come in time order; those outside [from, to] count in the
    // first or last bucket. Inside the current bucket it only compares: a
    // day of points can pass through at each redraw.
    void add(qint64 ms, double value)
    {
        if (ms < m_bucketStart || ms >= m_bucketEnd) {
            startBucket(ms, value);
            return;
        }
        const Kept p{m_count++, ms, value};
        if (value < m_min.value)
            m_min = p;
        else if (value > m_max.value)
            m_max = p;
        m_last = p;
    }

    QVector<QPointF> finish()
    {
        flush();
        if (m_count > 0)
            keep(m_last);
        return std::move(m_out);
    }

private:
    struct Kept
    {
        qint64 n = -1;
        qint64 ms = 0;
        double value = 0.0;
    };

    int bucketOf(qint64 ms) const
    {
        const qint64 offset = qBound<qint64>(0, ms - m_from, m_span);
        return int(qMin<qint64>(m_buckets - 1, offset * m_buckets / m_span));
    }

    void startBucket(qint64 ms, double value)
    {
        const Kept p{m_count++, ms, value};
        if (p.n == 0)
            keep(p);
        flush();
        m_bucket = bucketOf(ms);
        m_min = m_max = m_last = p;
        // The times whose bucketOf() is m_bucket, so the next points need no division.
        const auto edge = [this](qint64 b) {
            return m_from + (b * m_span + m_buckets - 1) / m_buckets;
        };
        m_bucketStart = m_bucket == 0 ? std::numeric_limits<qint64>::min() : edge(m_bucket);
        m_bucketEnd =
            m_bucket == m_buckets - 1 ? std::numeric_limits<qint64>::max() : edge(m_bucket + 1);
    }

    void keep(const Kept &k)
    {
        if (k.n <= m_keptUpTo)
            return;
        m_out.append(QPointF(double(k.ms), k.value));
        m_keptUpTo = k.n;
    }

    void flush()
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

    qint64 m_from;
    qint64 m_span;
    int m_buckets;
    qint64 m_count = 0;
    int m_bucket = -1;
    qint64 m_bucketStart = 1, m_bucketEnd = 0; // [start, end) of m_bucket; none yet
    Kept m_min, m_max, m_last;
    qint64 m_keptUpTo = -1;
    QVector<QPointF> m_out;
};

} // namespace

QVector<QPointF> decimate(const TrendSeries &series, int begin, int end, qint64 fromMs, qint64 toMs,
                          int buckets)
{
    Decimator d(fromMs, toMs, buckets);
    for (int i = qMax(0, begin); i < qMin(end, series.size()); ++i)
        d.add(series.timeAt(i), series.valueAt(i));
    return d.finish();
}

QVector<QVector<QPointF>> decimateRuns(const TrendSeries &series, int begin, int end, qint64 fromMs,
                                       qint64 toMs, int buckets)
{
    QVector<QVector<QPointF>> runs;
    end = qMin(end, series.size());
    for (int i = qMax(0, begin); i < end;) {
        const int runEnd = qMin(series.runEnd(i), end);
        runs.append(decimate(series, i, runEnd, fromMs, toMs, buckets));
        i = runEnd;
    }
    return runs;
}

QVector<QPointF> outsideBand(const TrendSeries &series, int begin, int end, const Band &band,
                             qint64 fromMs, qint64 toMs, int buckets)
{
    QVector<QPointF> out;
    if (!band.enabled)
        return out;
    const qint64 span = qMax<qint64>(1, toMs - fromMs);
    buckets = qMax(1, buckets);
    const qint64 reference = Band::tenths(band.reference);
    const qint64 tolerance = Band::tenths(band.tolerance);
    int bucket = -1;
    qint64 worst = -1;
    for (int i = qMax(0, begin); i < qMin(end, series.size()); ++i) {
        const double v = double(series.valueAt(i));
        const qint64 distance = qAbs(Band::tenths(v) - reference);
        if (distance < tolerance) // as Band::passes
            continue;
        const qint64 offset = qBound<qint64>(0, series.timeAt(i) - fromMs, span);
        const int b = int(qMin<qint64>(buckets - 1, offset * buckets / span));
        if (b != bucket) {
            bucket = b;
            worst = -1;
            out.append(QPointF());
        }
        if (distance > worst) {
            worst = distance;
            out.last() = QPointF(double(series.timeAt(i)), v);
        }
    }
    return out;
}

} // namespace movra::trend
