// Runs ticks on the 10 ms grid for whoever owns a session: one timer, and
// the tick() signal that the owner turns into one tick of its engine.
#pragma once

#include <QObject>
#include <QTimer>

namespace movra {

class TickScheduler : public QObject
{
    Q_OBJECT

public:
    explicit TickScheduler(QObject *parent = nullptr);

    void start();
    void stop();
    bool isActive() const { return m_timer.isActive(); }

signals:
    void tick();

private:
    QTimer m_timer;
};

} // namespace movra
