// The moment a window is first on screen, for the programs the bench
// driver starts.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "Clock.h"

namespace movrabench {

// Reports "SHOWN <ns>" once, after the first expose of a window has been
// handled (the widget tree is painted and flushed inside that handling),
// then takes itself out of the event path. `then` runs after the report.
class ShownProbe : public QObject
{
public:
    explicit ShownProbe(std::function<void()> then = {}) : m_then(std::move(then))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_done && event->type() == QEvent::Expose) {
            auto *window = qobject_cast<QWindow *>(watched);
            if (window && window->isExposed()) {
                m_done = true;
                QCoreApplication::instance()->removeEventFilter(this);
                QTimer::singleShot(0, this, [this] {
                    report("SHOWN", nowNs());
                    if (m_then)
                        m_then();
                });
            }
        }
        return false;
    }

private:
    std::function<void()> m_then;
    bool m_done = false;
};

} // namespace movrabench
