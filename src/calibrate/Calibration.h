// What a calibration is asked to do and what it found, per quantity, in
// tenths as the device counts; and the arithmetic of a new correction.
#pragma once

#include <QString>
#include <QtGlobal>
#include <array>
#include <functional>
#include <optional>

#include "engine/Qualification.h"

namespace movra::calibrate {

constexpr int kQuantities = 2;
constexpr std::array<Quantity, kQuantities> kBoth{Quantity::Temperature, Quantity::Humidity};

struct Target
{
    bool on = false;
    qint32 reference = 0; // tenths
    qint32 tolerance = 0; // tenths; a reading passes while strictly closer
};

struct Plan
{
    std::array<Target, kQuantities> targets{};
    int samples = 5;
    int intervalTicks = 100;
    int settleSeconds = 60; // 0: no stability wait
    int maxWaitSeconds = 600;
    bool dryRun = false;
    // The trend window's bands: 0.2 degC and 1.0 %RH unless Station.ini says
    // otherwise.
    std::array<double, kQuantities> bands{0.2, 1.0};
    // Ticks a request of `code` may take; each is tried `attempts` times.
    std::function<int(qint32 code)> timeoutTicks;
    int attempts = 3;

    const Target &target(Quantity q) const { return targets[size_t(q)]; }
};

enum class Outcome {
    Running,
    Passed,
    DryRun,          // computed, nothing written
    Unstable,        // not stable within max-wait
    OutOfRange,      // a new correction beyond the device's range
    ReadBackDiffers, // the device holds another correction than written
    VerifyFailed,    // a reading after writing is outside the tolerance
    DeviceFault,     // no answer, or no usable one
    PortLost,
    Cancelled,
};

struct Result
{
    Target target;
    qint32 correctionBefore = 0;
    std::optional<double> asFound; // tenths, the mean of the samples
    std::optional<qint32> correctionAfter;
    bool outOfRange = false;
    bool written = false;
    std::optional<double> asLeft;
    int samples = 0;           // readings in each mean
    int outside = 0;           // verification readings outside the tolerance
    qint64 stableAfterMs = -1; // from the start of the wait; -1: not reached
    bool pass = false;
};

// current + (reference - sum / count), rounded to the tenth with halves away
// from zero, in exact integer arithmetic. False when the result is beyond
// the device's range of corrections (*out still holds it).
bool proposeCorrection(qint32 current, qint32 reference, qint64 sum, int count, qint32 *out);

QString quantityName(Quantity q); // "temperature", "humidity"

} // namespace movra::calibrate
