// Whether a quantity has settled: over the last window, ending at its newest
// reading, the readings span no more than a band.
//
// The window must be covered before anything is claimed about it: the
// quantity must have been read since at least the window's start, and no two
// readings that reach into the window may lie more than half the window
// apart. Otherwise the verdict is "too few readings" (not stable): a fresh
// start, a pause in the polling, or a polling interval longer than half the
// window. Covered this way, the window always holds at least two readings.
#pragma once

#include <QtGlobal>
#include <deque>
#include <limits>

#include "trend/TrendSeries.h"

namespace movra::trend {

enum class Verdict { TooFewReadings, Unsettled, Stable };

struct StabilityRule
{
    qint64 windowMs = 60 * 1000;
    double band = 0.2; // inclusive; readings come in tenths
};

struct Stability
{
    Verdict verdict = Verdict::TooFewReadings;
    double span = 0.0;        // of the readings in the window
    int readings = 0;         // in the window
    qint64 atMs = 0;          // the newest reading, the window's end
    qint64 stableSinceMs = 0; // the reading at which the window first held; when stable

    bool isStable() const { return verdict == Verdict::Stable; }
    qint64 stableForMs() const { return isStable() ? atMs - stableSinceMs : 0; }
};

// Follows one series point by point; every step is constant time on
// average, so it can run on each append.
class StabilityTracker
{
public:
    StabilityTracker() = default;
    explicit StabilityTracker(const StabilityRule &rule) : m_rule(rule) {}
    // Starts over with the new rule and walks the kept history again.
    void setRule(const StabilityRule &rule, const TrendSeries &series);
    // Takes the points appended since the last call.
    void update(const TrendSeries &series);
    void reset();
    const Stability &current() const { return m_now; }

private:
    void step(const TrendSeries &series, int i);

    StabilityRule m_rule;
    quint64 m_next = 0; // number of the next point to take
    quint64 m_windowFirst = 0;
    qint64 m_lastWideGapEnd = std::numeric_limits<qint64>::min();
    // Numbers of candidates for the window's minimum and maximum.
    std::deque<quint64> m_low, m_high;
    Stability m_now;
};

} // namespace movra::trend
