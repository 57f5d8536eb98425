// One calibration on a connected session, from reading the parameters to
// the verdict. It has the line to itself while it runs: every request goes
// out through the session's request() and waits for its reply or its
// time-out. The owner ticks the session and then calls tick(); nothing here
// sleeps or counts time but by the session's ticks.
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <optional>

#include "calibrate/Calibration.h"
#include "engine/Session.h"
#include "trend/Stability.h"
#include "trend/TrendSeries.h"

namespace movra::calibrate {

class CalibrationRun : public QObject
{
    Q_OBJECT

public:
    enum class Phase { Idle, Parameters, Settling, AsFound, Writing, ReadingBack, Verifying, Done };

    CalibrationRun(Session &session, const Plan &plan, QObject *parent = nullptr);

    void start();
    // After each tick of the session.
    void tick();
    // Ends the run now, or after the reply of a write under way.
    void cancel();

    Phase phase() const { return m_phase; }
    Outcome outcome() const { return m_outcome; }
    // Why the run did not pass, in one line; empty when it did.
    const QString &failure() const { return m_failure; }
    const Result &result(Quantity q) const { return m_results[size_t(q)]; }
    const Plan &plan() const { return m_plan; }
    const std::array<std::optional<qint32>, kParameterCount> &parameters() const
    {
        return m_params;
    }

signals:
    void phaseChanged(movra::calibrate::CalibrationRun::Phase phase);
    void parametersRead();
    void stabilityChanged(movra::Quantity q, const movra::trend::Stability &stability);
    void reading(const movra::Measurement &measurement);
    // A correction sent: confirmed by the device's echo, or not.
    void correctionWritten(movra::Quantity q, qint32 value, bool confirmed);
    void resultChanged(movra::Quantity q);
    void finished(movra::calibrate::Outcome outcome);

private:
    // CalibrationRun.cpp: requests and their replies.
    void ask(qint32 code, qint32 value = 0);
    void onSettled(qint32 code);
    void onTimedOut(qint32 code);
    void onRejected(qint32 code);
    void finish(Outcome outcome, const QString &failure = QString());
    void setPhase(Phase phase);
    bool on(Quantity q) const { return m_plan.target(q).on; }
    qint64 nowMs() const { return qint64(m_session.ticks()) * timing::kTickMs; }

    // CalibrationSteps.cpp: the steps in order.
    void parameterSettled();
    void beginSettling();
    void beginSampling(Phase phase);
    void readingSettled();
    void settlingReading(const Measurement &m);
    void samplesTaken();
    void proposeCorrections();
    void writeNext();
    void readBackNext();
    void verified();

    Session &m_session;
    Plan m_plan;
    Phase m_phase = Phase::Idle;
    Outcome m_outcome = Outcome::Running;
    QString m_failure;
    std::array<Result, kQuantities> m_results{};
    std::array<std::optional<qint32>, kParameterCount> m_params{};

    qint32 m_code = ReqNone; // awaited request
    qint32 m_value = 0;
    int m_attempt = 0;
    int m_step = 0;
    bool m_cancelAfterReply = false;
    std::optional<Measurement> m_measurement;
    quint64 m_nextReadingTick = 0;
    quint64 m_waitStartTick = 0;
    int m_taken = 0;
    std::array<qint64, kQuantities> m_sum{};
    std::array<trend::TrendSeries, kQuantities> m_series;
    std::array<trend::StabilityTracker, kQuantities> m_trackers;
};

} // namespace movra::calibrate
