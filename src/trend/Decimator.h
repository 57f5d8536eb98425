// Thinning a series for drawing: the span [from, to] is cut into buckets (one
// per pixel of the plot's width) and each bucket keeps its lowest and highest
// point, in time order, so a single spike stays visible. The first and the
// last point are always kept.
#pragma once

#include <QPointF>
#include <QVector>

#include "trend/Band.h"
#include "trend/TrendSeries.h"

namespace movra::trend {

// The points of `series` with index in [begin, end), thinned over [from, to];
// x is the time in ms since the epoch, y the value.
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
