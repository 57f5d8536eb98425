// A session on a virtual clock, ticked every 10 ms as the plain timer
// does or woken only when due by a TickScheduler, next to the simulated
// transmitter; and a random operator for it. Bytes and actions happen at
// their exact moments, so the two ways can be compared tick for tick.
#pragma once

#include <QRandomGenerator>
#include <functional>

#include "DeviceModel.h"
#include "EngineTest.h"
#include "VirtualClock.h"
#include "engine/TickScheduler.h"

namespace enginetest {

using movratest::kMs;
using movratest::kNever;
using movratest::kTick;

// What a tick may change that the trace does not show.
struct Seen
{
    int lines;
    qint32 pending;
    int buffered;
    movra::LinkState state;
    bool batchRead;
    bool batchWrite;
    quint64 requests;
    quint64 timeouts;

    bool operator==(const Seen &o) const
    {
        return lines == o.lines && pending == o.pending && buffered == o.buffered &&
               state == o.state && batchRead == o.batchRead && batchWrite == o.batchWrite &&
               requests == o.requests && timeouts == o.timeouts;
    }
};

// A session on a virtual clock, ticked either every 10 ms (the plain timer)
// or by a WhenDue scheduler, and the simulated transmitter: it hears each
// frame on the tick it goes out and its answer arrives when due.
class Clocked : public movratest::VirtualClock
{
public:
    explicit Clocked(bool scheduled) : scheduled(scheduled), trace(session)
    {
        device.setClock([this] { return qint64(session.ticks()) * movra::timing::kTickMs; });
        QObject::connect(&session, &movra::Session::frameSent, &session,
                         [this](qint32, const QByteArray &frame) { hear(frame); });
        if (scheduled) {
            ticker.setClock([this] { return now; });
            ticker.setMode(movra::TickScheduler::Mode::WhenDue);
            ticker.follow(&session);
            QObject::connect(&ticker, &movra::TickScheduler::tick, &session,
                             [this] { session.tick(); });
            ticker.start();
        }
    }

    const bool scheduled;
    int wakes = 0;
    // Set by a tick that did something it was said not to.
    QString fault;
    movra::Session session;
    movra::TickScheduler ticker;
    movrasim::DeviceModel device;
    Trace trace;

private:
    qint64 nextTick() const override
    {
        if (scheduled)
            return ticker.wakeAt() >= 0 ? ticker.wakeAt() : kNever;
        return qint64(session.ticks() + 1) * kTick;
    }

    // The plain timer's tick also checks the session's own account of it:
    // a tick it called a no-op changes nothing the owner could see.
    bool runTick() override
    {
        if (scheduled) {
            ++wakes;
            ticker.wake();
            return true;
        }
        const int due = session.ticksUntilDue();
        const Seen before = seen();
        session.tick();
        if (due == 1)
            return true;
        if (!(seen() == before))
            fault = QStringLiteral("tick %1, said due in %2, acted").arg(session.ticks()).arg(due);
        else if (session.ticksUntilDue() != (due < 0 ? -1 : due - 1))
            fault = QStringLiteral("tick %1: due in %2, then in %3")
                        .arg(session.ticks())
                        .arg(due)
                        .arg(session.ticksUntilDue());
        return fault.isEmpty();
    }

    bool deliver(const QByteArray &bytes) override
    {
        session.receive(bytes);
        return true;
    }

    void rested() override
    {
        if (scheduled)
            ticker.wake();
    }

    Seen seen() const
    {
        return {int(trace.lines.size()),  session.pendingRequest(),  session.bufferedBytes(),
                session.linkState(),      session.batchReadActive(), session.batchWriteActive(),
                session.stats().requests, session.stats().timeouts};
    }

    // The device hears each frame on the tick it goes out.
    void hear(const QByteArray &frame)
    {
        answer(qint64(session.ticks()) * kTick, device.receive(frame));
    }
};

// One operator session with random actions at random moments, the same
// for both runs of a seed.
inline void script(Clocked &c, quint32 seed, qint64 lengthNs)
{
    QRandomGenerator random(seed);
    movra::Session &s = c.session;
    movrasim::DeviceModel &device = c.device;
    c.at(3 * kMs + 400000, [&s] { s.request(movra::ReqProbe); });
    qint64 t = 200 * kMs;
    while (t < lengthNs) {
        // Connecting and periodic reading come up most, so most of the
        // time something is under way.
        static const int weights[] = {3, 2, 4, 1, 1, 1, 1, 1, 1, 1, 2};
        int what = 0;
        for (int pick = int(random.bounded(18)); pick >= weights[what]; ++what)
            pick -= weights[what];
        const int a = int(random.bounded(1, 4));
        const int b = int(random.bounded(5, 60));
        std::function<void()> action;
        switch (what) {
        case 0:
            action = [&s] {
                s.request(movra::ReqProbe);
            };
            break;
        case 1:
            action = [&s] {
                s.readNow();
            };
            break;
        case 2:
            action = [&s, a] {
                s.setInterval(movra::Quantity::Temperature, a);
                s.setPeriodicReading(movra::Quantity::Temperature, true);
                s.setPeriodicReading(movra::Quantity::Humidity, a != 2);
            };
            break;
        case 3:
            action = [&s] {
                s.setPeriodicReading(movra::Quantity::Temperature, false);
                s.setPeriodicReading(movra::Quantity::Humidity, false);
            };
            break;
        case 4:
            action = [&s] {
                s.startBatchRead();
            };
            break;
        case 5:
            action = [&s, b] {
                s.setWriteEnabled(movra::Parameter::TempCorrection, true);
                s.setWriteEnabled(movra::Parameter::HumiCorrection, b % 2 == 0);
                s.setWriteValue(movra::Parameter::TempCorrection, b);
                s.startBatchWrite();
            };
            break;
        case 6:
            action = [&s, b] {
                s.request(movra::ReqReadTemperature, 0, b);
            };
            break;
        case 7:
            action = [&s] {
                s.disconnectByOperator();
            };
            break;
        case 8:
            action = [&s] {
                s.beginManualConnect();
            };
            break;
        case 9:
            action = [&s, a] {
                QByteArray noise;
                for (int i = 0; i < a * 3; ++i)
                    noise.append(char(0x5A + i));
                s.receive(noise);
            };
            break;
        default:
            action = [&device, a, b] {
                movrasim::Faults f;
                f.seed = quint32(b);
                if (a == 1)
                    f.splitGapMs = b;
                else if (a == 2)
                    f.delayMs = b / 2;
                if (b % 7 == 0)
                    f.dropPercent = 40;
                else if (b % 11 == 0)
                    f.garbageGapMs = 35;
                device.setFaults(f);
            };
            break;
        }
        c.at(t, action);
        // Anywhere in a tick, sometimes several in one.
        t += qint64(random.bounded(0, 3000)) * kMs + qint64(random.bounded(0, 1000000));
    }
}

} // namespace enginetest
