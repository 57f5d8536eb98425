// A bare session on a real QSerialPort on a pseudo-terminal, the simulated
// transmitter in this process at the far end. Ticks come from the test
// alone; after each one the line settles: what the session wrote has
// reached the device, and what the device sent back has reached the
// session, so the tick count, not the machine's speed, decides what the
// session sees.
//
// The device is served one of two ways. SimulatorHost serves it as the
// stand-alone simulator does, with reply timing on the wall clock, so only
// faults without delays or gaps are exact there. On the tick grid the line
// plays the host itself: it hands the device model what it heard and writes
// each piece of the answer on the tick the piece is due (a 50 ms delay is
// five ticks), which makes delays, split replies and garbage gaps exact in
// ticks too.
#pragma once

#include <QCoreApplication>
#include <QSerialPort>
#include <functional>

#include "DeviceModel.h"
#include "Pty.h"
#include "SerialWait.h"
#include "SimulatorHost.h"
#include "engine/Session.h"

namespace enginetest {

using movratest::waitUntil;
using movratest::writesDone;

class SimLine
{
public:
    enum class Serve { Host, TickGrid };

    explicit SimLine(Serve serve = Serve::Host) : m_serve(serve)
    {
        // The device's clock is the tick count: its drifting readings repeat.
        const auto clock = [this] {
            return qint64(session.ticks()) * movra::timing::kTickMs;
        };
        m_host.model().setClock(clock);
        m_model.setClock(clock);
        QObject::connect(&session.port(), &QIODevice::bytesWritten, &session,
                         [this](qint64 n) { m_sessionOut += n; });
    }
    SimLine(const SimLine &) = delete;
    SimLine &operator=(const SimLine &) = delete;

private:
    struct Piece
    {
        qint64 dueMs;
        QByteArray bytes;
    };

    Serve m_serve;
    movrasim::SimulatorHost m_host;
    movratest::PtyPair m_peer;
    movrasim::DeviceModel m_model;
    QList<Piece> m_queue;
    qint64 m_sessionOut = 0;

public:
    QString path;
    // What the device's end has heard, and how many bytes it wrote back.
    QByteArray heard;
    qint64 deviceSent = 0;
    // Tick grid: how many times the device answered what it heard.
    int answers = 0;
    // Declared last, so it goes first.
    movra::Session session;

    movrasim::DeviceModel &model() { return m_serve == Serve::Host ? m_host.model() : m_model; }

    bool start(qint32 deviceRate = 9600)
    {
        model().setBaudRate(deviceRate);
        if (m_serve == Serve::TickGrid) {
            if (!m_peer.open(deviceRate))
                return false;
            path = m_peer.slavePath();
            return true;
        }
        QObject::connect(&m_host, &movrasim::SimulatorHost::bytesReceived, &session,
                         [this](const QByteArray &b) { heard += b; });
        QObject::connect(&m_host, &movrasim::SimulatorHost::bytesSent, &session,
                         [this](const QByteArray &b) { deviceSent += b.size(); });
        path = m_host.start();
        return !path.isEmpty();
    }

    // As the window does: the rate first, then the attempt, then the port.
    bool beginManual(qint32 rate)
    {
        session.setBaudRate(rate);
        if (!session.beginManualConnect())
            return false;
        session.openPort(path, rate);
        return session.port().isOpen();
    }
    bool beginScan()
    {
        session.setBaudRate(movra::baudRateAt(0));
        if (!session.beginAutoConnect())
            return false;
        session.openPort(path, session.baudRate());
        return session.port().isOpen();
    }
    bool connected() const { return session.linkState() == movra::LinkState::Connected; }
    // A manual attempt at `rate`, ticked until it connects.
    bool connectAt(qint32 rate)
    {
        return beginManual(rate) && ticksUntil([this] { return connected(); }, 100) > 0;
    }

    bool tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            session.tick();
            if (!settle())
                return false;
        }
        return true;
    }
    // Ticks until pred holds; the number of ticks it took, -1 if it never did.
    int ticksUntil(const std::function<bool()> &pred, int max)
    {
        return movratest::ticksUntil([this] { return tick(); }, pred, max);
    }

    // Waits until the line is quiet as far as the session can tell: after
    // every tick, and after a request made between ticks.
    bool settle()
    {
        QCoreApplication::processEvents();
        if (!waitUntil([this] { return writesDone(session.port()); }))
            return false;
        if (m_serve == Serve::Host) {
            if (!waitUntil([this] { return heard.size() >= m_sessionOut; }))
                return false;
        } else {
            if (!hearOnTickGrid())
                return false;
            answerOnTickGrid();
        }
        return waitUntil([this] { return qint64(session.bytesReceived()) >= deviceSent; });
    }

private:
    qint64 nowMs() const { return qint64(session.ticks()) * movra::timing::kTickMs; }

    bool hearOnTickGrid()
    {
        while (heard.size() < m_sessionOut) {
            const QByteArray got = m_peer.readMaster(int(m_sessionOut - heard.size()), 3000);
            if (got.isEmpty())
                return false;
            heard += got;
            const QVector<movrasim::Emission> out = m_model.receive(got, m_peer.slaveBaudRate());
            if (!out.isEmpty())
                ++answers;
            // As the host times them: each piece after the one before, and
            // never ahead of an answer still waiting.
            qint64 due = nowMs();
            for (int i = 0; i < out.size(); ++i) {
                due += out.at(i).delayMs;
                if (i == 0 && !m_queue.isEmpty())
                    due = qMax(due, m_queue.last().dueMs);
                m_queue.append({due, out.at(i).bytes});
            }
        }
        return true;
    }

    void answerOnTickGrid()
    {
        while (!m_queue.isEmpty() && m_queue.first().dueMs <= nowMs()) {
            const QByteArray bytes = m_queue.takeFirst().bytes;
            // A closed port hears nothing.
            if (session.port().isOpen() && m_peer.writeMaster(bytes))
                deviceSent += bytes.size();
        }
    }
};

} // namespace enginetest
