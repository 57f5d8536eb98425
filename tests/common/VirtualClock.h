// A run on a virtual clock in nanoseconds: the operator's actions and the
// simulated transmitter's answers wait for their moments, and ticks come
// where the subclass says, so bytes and actions happen at exact moments and
// a run ticked every 10 ms can be compared with one woken only when due.
#pragma once

#include <QByteArray>
#include <QVector>
#include <functional>
#include <limits>

#include "DeviceModel.h"
#include "engine/Session.h"

namespace movratest {

constexpr qint64 kMs = 1000000;
constexpr qint64 kTick = movra::timing::kTickMs * kMs;
constexpr qint64 kNever = std::numeric_limits<qint64>::max();

class VirtualClock
{
public:
    VirtualClock() = default;
    virtual ~VirtualClock() = default;
    VirtualClock(const VirtualClock &) = delete;
    VirtualClock &operator=(const VirtualClock &) = delete;

    void at(qint64 ns, std::function<void()> action) { m_actions.append({ns, std::move(action)}); }

    // Everything up to `endNs`, in time order: at equal moments a tick
    // comes first, then the device's bytes, then the operator. False as
    // soon as a step fails.
    bool runTo(qint64 endNs)
    {
        for (;;) {
            const int piece = earliest(m_pieces);
            const int action = earliest(m_actions);
            const qint64 bytesAt = piece >= 0 ? m_pieces.at(piece).at : kNever;
            const qint64 actionAt = action >= 0 ? m_actions.at(action).at : kNever;
            const qint64 tickAt = nextTick();
            const qint64 next = qMin(tickAt, qMin(bytesAt, actionAt));
            if (next > endNs)
                break;
            now = qMax(now, next);
            bool ok = true;
            if (tickAt == next)
                ok = runTick();
            else if (bytesAt == next)
                ok = deliver(m_pieces.takeAt(piece).bytes);
            else
                m_actions.takeAt(action).run();
            if (!ok || !afterStep())
                return false;
        }
        now = endNs;
        rested();
        return true;
    }

    qint64 now = 0;

protected:
    // The moment of the next tick; kNever when none is due.
    virtual qint64 nextTick() const = 0;
    virtual bool runTick() = 0;
    // The device's bytes reach the session.
    virtual bool deliver(const QByteArray &bytes) = 0;
    virtual bool afterStep() { return true; }
    // The run has reached its end time.
    virtual void rested() {}

    // The device's answer to what it heard at `heardNs`: each piece after
    // the one before, never ahead of an answer still on its way, nor in
    // the past.
    void answer(qint64 heardNs, const QVector<movrasim::Emission> &out)
    {
        qint64 due = heardNs;
        for (int i = 0; i < out.size(); ++i) {
            due += qint64(out.at(i).delayMs) * kMs;
            if (i == 0 && !m_pieces.isEmpty())
                due = qMax(due, m_pieces.last().at);
            m_pieces.append({qMax(due, now), out.at(i).bytes});
        }
    }

private:
    struct Timed
    {
        qint64 at;
        QByteArray bytes;
        std::function<void()> run;
        Timed(qint64 a, QByteArray b) : at(a), bytes(std::move(b)) {}
        Timed(qint64 a, std::function<void()> r) : at(a), run(std::move(r)) {}
    };

    static int earliest(const QVector<Timed> &list)
    {
        int best = -1;
        for (int i = 0; i < list.size(); ++i)
            if (best < 0 || list.at(i).at < list.at(best).at)
                best = i;
        return best;
    }

    QVector<Timed> m_pieces;
    QVector<Timed> m_actions;
};

} // namespace movratest
