// Thins a time-ordered stream of points for drawing: the span [from, to] is
// cut into buckets (one per pixel of the plot's width) and each bucket keeps
// its lowest and highest point, in time order, so a single spike stays
// visible. The first and the last point of the stream are always kept.
#pragma once

#include <QPointF>
#include <QVector>

#include "trend/Band.h"
#include "trend/TrendSeries.h"

namespace movra::trend {

class Decimator
{
public:
    Decimator(qint64 fromMs, qint64 toMs, int buckets);

    // Points must come in time order; those outside [from, to] count in the
    // first or last bucket. Inline, as a day of points can pass through at
    // each redraw: inside the current bucket it only compares.
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
    // x is the time in ms since the epoch, y the value.
    QVector<QPointF> finish();

private:
    struct Kept
    {
        qint64 n = -1;
        qint64 ms = 0;
        double value = 0.0;
    };
    int bucketOf(qint64 ms) const;
    void startBucket(qint64 ms, double value);
    void keep(const Kept &k);
    void flush();

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

// The points of `series` with index in [begin, end), thinned over [from, to].
QVector<QPointF> decimate(const TrendSeries &series, int begin, int end, qint64 fromMs, qint64 toMs,
                          int buckets);

// The same for each run of points in [begin, end): one line per run, so no
// line joins two runs.
QVector<QVector<QPointF>> decimateRuns(const TrendSeries &series, int begin, int end, qint64 fromMs,
                                       qint64 toMs, int buckets);

// The readings with index in [begin, end) that the band marks, one per
// bucket of [from, to]: the one farthest from the reference (the first of
// equals), so a single excursion is always among them.
QVector<QPointF> outsideBand(const TrendSeries &series, int begin, int end, const Band &band,
                             qint64 fromMs, qint64 toMs, int buckets);

} // namespace movra::trend
