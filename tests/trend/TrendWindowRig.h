// The trend window's test rig: a history of two hours, a Station.ini of the
// test's own, the window over them, and ways into the window's parts.
#pragma once

#include <QLabel>
#include <QTemporaryDir>
#include <QtCharts/QChart>
#include <QtCharts/QValueAxis>
#include <QtTest>
#include <memory>

#include "ui/TrendWindow.h"

namespace trendtest {

constexpr qint64 kT0 = 1700000000000LL;
constexpr qint64 kHour = 3600 * 1000;

// Two hours once a second: temperature settles from 20 to 25, humidity
// stays near 50.
inline void fill(movra::trend::TrendHistory &h, qint64 seconds = 7200)
{
    using movra::trend::Quantity;
    for (qint64 t = 0; t < seconds; ++t) {
        const double temperature = t < 3600 ? 20.0 : 25.0 + (t % 2) / 10.0;
        h.append(Quantity::Temperature, kT0 + t * 1000, temperature);
        h.append(Quantity::Humidity, kT0 + t * 1000 + 400, 50.0 + (t % 3) / 10.0);
    }
}

template <typename T> T *child(QObject *parent, const char *name)
{
    T *c = parent->findChild<T *>(QLatin1String(name));
    if (!c)
        qWarning("no child %s", name);
    return c;
}

inline QString labelText(QWidget *w, const char *name)
{
    QLabel *l = child<QLabel>(w, name);
    return l ? l->text() : QString();
}

inline QtCharts::QValueAxis *timeAxis(TrendWindow &w)
{
    return qobject_cast<QtCharts::QValueAxis *>(w.chart()->axes(Qt::Horizontal).first());
}

inline qint64 axisMin(TrendWindow &w)
{
    return qint64(timeAxis(w)->min());
}

inline qint64 axisMax(TrendWindow &w)
{
    return qint64(timeAxis(w)->max());
}

// What the chart shows of a quantity ("temperature", "humidity"), its
// lines one after the other.
inline QVector<QPointF> shownLine(TrendWindow &w, const QString &key)
{
    using movra::trend::Quantity;
    const Quantity q =
        key == QLatin1String("temperature") ? Quantity::Temperature : Quantity::Humidity;
    QVector<QPointF> points;
    for (const QVector<QPointF> &line : w.shownLines(q))
        points << line;
    return points;
}

struct WindowRig
{
    QTemporaryDir dir;
    QString station;
    movra::trend::TrendHistory history;
    std::unique_ptr<TrendWindow> window;

    // Before each test: a fresh history and a Station.ini named after it.
    void reset()
    {
        window.reset();
        station = dir.filePath(QStringLiteral("%1.ini").arg(QTest::currentTestFunction()));
        history = movra::trend::TrendHistory();
        fill(history);
    }
    bool open()
    {
        window = std::make_unique<TrendWindow>(history, station);
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }
};

// The fixture both window test programs share: each test starts from the
// two-hour history with no window open.
class WindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_rig.dir.isValid());
    }
    void init() { m_rig.reset(); }
    void cleanup() { m_rig.window.reset(); }

protected:
    WindowRig m_rig;
};

} // namespace trendtest
