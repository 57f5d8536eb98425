// The trend window's chart, offscreen: what it draws from a history, how it
// moves, and how often it redraws.
#include <QCheckBox>
#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>

#include "TrendWindowRig.h"
#include "ui/TrendChartView.h"

#include <QtCharts/QValueAxis>
#include <cmath>

using namespace movra::trend;
using namespace QtCharts;
using namespace trendtest;

class TrendChartTest : public WindowTest
{
    Q_OBJECT
private slots:
    void readingsShowInTheirSeries();
    void bandDrawnOnlyWhenOn_data();
    void bandDrawnOnlyWhenOn();
    void viewMoves_data();
    void viewMoves();
    void burstsOfReadingsCoalesce();
    void aNewReading_data();
    void aNewReading();
    void steadyFollowingChangesByThePixel();
    void hiddenWindowStaysIdle();
    void aChangeSoonAfterARedrawWaitsOnlyTheRest();
    void looksRideOnTheReadings();

private:
    // Lets the chart settle after opening or moving; the counts from then.
    void settle();
    int m_redraws = 0;
};

namespace {
constexpr qint64 kRoom = TrendWindow::roomMs(TrendWindow::kFirstSpanMs);
constexpr int kLook = TrendWindow::kRedrawIntervalMs;
// The longest a new reading may take to show, with time to spare.
constexpr int kShowMs = 2 * TrendWindow::kMaxNewWaitMs;

bool showsPoint(TrendWindow &w, const QString &key, const QPointF &p)
{
    return shownLine(w, key).contains(p);
}
} // namespace

void TrendChartTest::settle()
{
    QTest::qWait(2 * kLook);
    m_redraws = m_rig.window->redrawCount();
}

void TrendChartTest::readingsShowInTheirSeries()
{
    QVERIFY(m_rig.open());
    QCOMPARE(m_rig.window->windowTitle(), QStringLiteral("趋势与统计"));
    QVERIFY(!m_rig.window->isModal());
    QVERIFY(m_rig.window->follows());
    m_rig.window->redrawNow();

    // The last hour, ending at the newest reading, which was taken before
    // the window opened, and three minutes of room for the next readings.
    const qint64 newest = m_rig.history.newestMs();
    QCOMPARE(axisMin(*m_rig.window), newest - kHour);
    QCOMPARE(axisMax(*m_rig.window), newest + 3 * 60 * 1000);
    const int width = int(m_rig.window->chart()->plotArea().width());
    QVERIFY(width > 100);
    for (const char *name : {"temperature", "humidity"}) {
        const QVector<QPointF> points = shownLine(*m_rig.window, QLatin1String(name));
        QVERIFY2(points.size() > 2 * 60 && points.size() <= 2 * width + 4,
                 qPrintable(QString::number(points.size())));
        QVERIFY(points.first().x() <= double(newest - kHour));
        QVERIFY(points.last().x() >= double(newest - 400));
    }
    QCOMPARE(shownLine(*m_rig.window, QStringLiteral("temperature")).last().y(),
             double(m_rig.history.series(Quantity::Temperature).last().value));

    // A new reading shows at the next look; the axis keeps still.
    m_rig.history.append(Quantity::Temperature, newest + 1000, 31.0);
    QTRY_COMPARE_WITH_TIMEOUT(shownLine(*m_rig.window, QStringLiteral("temperature")).last(),
                              QPointF(double(newest + 1000), 31.0), kShowMs);
    QCOMPARE(axisMin(*m_rig.window), newest - kHour);

    // Emptied, the history leaves nothing on the chart; what comes next shows.
    m_rig.history.clear();
    QTRY_VERIFY_WITH_TIMEOUT(shownLine(*m_rig.window, QStringLiteral("temperature")).isEmpty(),
                             kShowMs);
    QVERIFY(shownLine(*m_rig.window, QStringLiteral("humidity")).isEmpty());
    m_rig.history.clear();
    m_rig.history.append(Quantity::Humidity, newest + 5000, 40.0);
    QTRY_COMPARE_WITH_TIMEOUT(shownLine(*m_rig.window, QStringLiteral("humidity")),
                              QVector<QPointF>{QPointF(double(newest + 5000), 40.0)}, kShowMs);
}

void TrendChartTest::bandDrawnOnlyWhenOn_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<double>("reference");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<int>("outside"); // readings of the last hour outside the band

    // In the last hour the readings are 25.0 and 25.1 in turn (1800 each).
    QTest::newRow("off") << false << 25.0 << 0.1 << 0;
    QTest::newRow("on, every other reading out") << true << 25.0 << 0.1 << 1800;
    QTest::newRow("on, all inside") << true << 25.0 << 0.5 << 0;
    QTest::newRow("on, three spikes") << true << 25.0 << 0.5 << 3;
    QTest::newRow("on, all out") << true << 30.0 << 1.0 << 3600;
}

void TrendChartTest::bandDrawnOnlyWhenOn()
{
    QFETCH(bool, enabled);
    QFETCH(double, reference);
    QFETCH(double, tolerance);
    QFETCH(int, outside);
    if (QByteArray(QTest::currentDataTag()).contains("spikes")) {
        // The last 400 s at 25.0, with three spikes two minutes apart: far
        // enough for each to have its own marker.
        m_rig.history = TrendHistory();
        fill(m_rig.history, 7200 - 400);
        qint64 t = m_rig.history.newestMs();
        for (int i = 0; i < 400; ++i)
            m_rig.history.append(Quantity::Temperature, t += 1000,
                                 i == 100   ? 27.0
                                 : i == 220 ? 23.0
                                 : i == 340 ? 26.0
                                            : 25.0);
    }
    QVERIFY(m_rig.open());
    m_rig.window->setBand(Quantity::Temperature, Band{enabled, reference, tolerance});
    m_rig.window->redrawNow();

    auto *band = child<QAreaSeries>(m_rig.window->chart(), "temperatureBand");
    auto *marks = child<QScatterSeries>(m_rig.window->chart(), "temperatureOutside");
    QVERIFY(band && marks);
    QCOMPARE(band->isVisible(), enabled);
    QCOMPARE(marks->isVisible(), enabled);
    QCOMPARE(m_rig.window->chart()->legend()->markers(band).first()->isVisible(), enabled);
    // The humidity's band was never switched on.
    QVERIFY(!child<QAreaSeries>(m_rig.window->chart(), "humidityBand")->isVisible());
    if (!enabled) {
        QCOMPARE(marks->count(), 0);
        return;
    }
    // Across the plot, the room ahead of the newest reading included.
    const double from = double(m_rig.window->visibleFromMs());
    const double to = double(m_rig.window->visibleToMs());
    QCOMPARE(to, double(m_rig.history.newestMs() + kRoom));
    const QVector<QPointF> upper = band->upperSeries()->pointsVector();
    const QVector<QPointF> lower = band->lowerSeries()->pointsVector();
    QCOMPARE(upper, QVector<QPointF>({{from, reference + tolerance}, {to, reference + tolerance}}));
    QCOMPARE(lower, QVector<QPointF>({{from, reference - tolerance}, {to, reference - tolerance}}));

    // Every marker is a reading outside the band; with more outside readings
    // than the plot has room for, they are thinned like the line.
    const QVector<QPointF> marked = marks->pointsVector();
    const Band b{true, reference, tolerance};
    const TrendSeries &series = m_rig.history.series(Quantity::Temperature);
    for (const QPointF &p : marked) {
        QVERIFY(b.marks(p.y()));
        const int i = series.lowerBound(qint64(p.x()));
        QVERIFY(i < series.size() && double(series.timeAt(i)) == p.x());
        QCOMPARE(double(series.valueAt(i)), p.y());
    }
    const int buckets =
        int(m_rig.window->chart()->plotArea().width()) / TrendWindow::kMarkerSpacingPx;
    if (outside <= buckets)
        QCOMPARE(marked.size(), outside);
    else
        QVERIFY2(marked.size() >= buckets / 2 && marked.size() <= 2 * buckets + 2,
                 qPrintable(QString::number(marked.size())));
}

void TrendChartTest::viewMoves_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<double>("span");  // of the first one
    QTest::addColumn<double>("shift"); // of the right edge from the first one, in spans
    QTest::addColumn<bool>("follows");

    QTest::newRow("wheel up") << "wheel+" << 1 / 1.25 << 0.0 << true;
    QTest::newRow("wheel down") << "wheel-" << 1.25 << 0.0 << true;
    QTest::newRow("plus") << "key+" << 1 / 1.25 << 0.0 << true;
    QTest::newRow("minus") << "key-" << 1.25 << 0.0 << true;
    QTest::newRow("left") << "left" << 1.0 << -0.1 << false;
    QTest::newRow("left, right") << "left right" << 1.0 << 0.0 << false;
    QTest::newRow("drag right by a quarter") << "drag" << 1.0 << -0.25 << false;
    QTest::newRow("left, then Home") << "left key- home" << 1.0 << 0.0 << true;
    QTest::newRow("left, follow ticked") << "left follow" << 1.0 << 0.0 << true;
}

void TrendChartTest::viewMoves()
{
    QFETCH(QString, action);
    QFETCH(double, span);
    QFETCH(double, shift);
    QFETCH(bool, follows);
    QVERIFY(m_rig.open());
    m_rig.window->redrawNow();
    auto *view = child<TrendChartView>(m_rig.window.get(), "trendChart");
    QVERIFY(view);
    view->setFocus();
    const QRectF plot = m_rig.window->chart()->plotArea();
    const QPoint middle = view->mapFromScene(plot.center());

    for (const QString &step : action.split(QLatin1Char(' '))) {
        if (step.startsWith(QLatin1String("wheel"))) {
            const int delta = step.endsWith(QLatin1Char('+')) ? 120 : -120;
            QWheelEvent wheel(middle, view->viewport()->mapToGlobal(middle), QPoint(),
                              QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            QApplication::sendEvent(view->viewport(), &wheel);
        } else if (step == QLatin1String("key+")) {
            QTest::keyClick(view, Qt::Key_Plus);
        } else if (step == QLatin1String("key-")) {
            QTest::keyClick(view, Qt::Key_Minus);
        } else if (step == QLatin1String("left")) {
            QTest::keyClick(view, Qt::Key_Left);
        } else if (step == QLatin1String("right")) {
            QTest::keyClick(view, Qt::Key_Right);
        } else if (step == QLatin1String("home")) {
            QTest::keyClick(view, Qt::Key_Home);
        } else if (step == QLatin1String("follow")) {
            child<QCheckBox>(m_rig.window.get(), "follow")->click();
        } else if (step == QLatin1String("drag")) {
            const QPoint to = middle + QPoint(int(plot.width() / 4), 0);
            // QTest's own moves go through the cursor, which offscreen has none.
            QTest::mousePress(view->viewport(), Qt::LeftButton, {}, middle);
            for (const QPoint &at : {middle + QPoint(10, 0), to}) {
                QMouseEvent move(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton,
                                 Qt::NoModifier);
                QApplication::sendEvent(view->viewport(), &move);
            }
            QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to);
        }
    }
    m_rig.window->redrawNow();

    const qint64 spanMs = qint64(span * TrendWindow::kFirstSpanMs);
    // Following, the right edge holds while a zoom leaves the newest reading
    // its room; a move away from it starts from there too.
    const qint64 firstEdge = m_rig.history.newestMs() + kRoom;
    QCOMPARE(m_rig.window->follows(), follows);
    QCOMPARE(child<QCheckBox>(m_rig.window.get(), "follow")->isChecked(), follows);
    QVERIFY(qAbs(m_rig.window->visibleToMs() - m_rig.window->visibleFromMs() - spanMs) <= 1);
    // A drag is in whole pixels.
    const qint64 slack = action == QLatin1String("drag") ? qint64(spanMs / plot.width()) + 1 : 1;
    QVERIFY2(qAbs(m_rig.window->visibleToMs() - (firstEdge + qint64(shift * spanMs))) <= slack,
             qPrintable(QString::number(m_rig.window->visibleToMs() - firstEdge)));
    QCOMPARE(axisMin(*m_rig.window), m_rig.window->visibleFromMs());
    QCOMPARE(axisMax(*m_rig.window), m_rig.window->visibleToMs());

    // Ticks on a round step of the local clock, within the axis.
    const QVector<qint64> ticks = m_rig.window->timeTicks();
    QVERIFY(ticks.size() >= 3);
    const qint64 step = ticks[1] - ticks[0];
    const qint64 offset = QDateTime::fromMSecsSinceEpoch(ticks[0]).offsetFromUtc() * 1000LL;
    QVERIFY2(QVector<qint64>({60000, 120000, 300000, 600000, 900000}).contains(step),
             qPrintable(QString::number(step)));
    QCOMPARE((ticks[0] + offset) % step, 0);
    QVERIFY(ticks.first() > axisMin(*m_rig.window) && ticks.last() <= axisMax(*m_rig.window));
}

// Readings, each beyond what the chart shows, arrive every 10 ms for over a
// second: the chart follows them, but never changes twice within 250 ms.
void TrendChartTest::burstsOfReadingsCoalesce()
{
    QVERIFY(m_rig.open());
    // Two minutes shown: a pixel is worth less than a look.
    m_rig.window->zoom(double(TrendWindow::kFirstSpanMs) / (2 * 60 * 1000), 1.0);
    QVERIFY(m_rig.window->follows());
    QCOMPARE(m_rig.window->newIntervalMs(), qint64(kLook));
    QElapsedTimer clock;
    clock.start();
    QVector<qint64> changes;
    int redraws = 0;
    const auto stamp = [&] {
        changes << clock.elapsed();
    };
    connect(m_rig.window.get(), &TrendWindow::redrawn, this, [&] {
        stamp();
        ++redraws;
    });
    QTest::qWait(300); // past the redraw the window did when shown
    changes.clear();
    redraws = 0;
    const qint64 start = clock.elapsed();
    // Rising by a tenth a reading and ten seconds apart: past the value axis
    // and the room ahead now and then, within them in between.
    qint64 t = m_rig.history.newestMs();
    for (int i = 0; i < 120; ++i) {
        m_rig.history.append(Quantity::Temperature, t += 10000, 26.0 + i / 10.0);
        QTest::qWait(10);
    }
    QTRY_VERIFY(!changes.isEmpty() &&
                shownLine(*m_rig.window, QStringLiteral("temperature")).last().x() == double(t));
    const qint64 elapsed = clock.elapsed() - start;
    QVERIFY2(changes.size() >= 2, "the chart did not follow the readings");
    QVERIFY2(redraws >= 1, "the axes never moved");
    QVERIFY2(changes.size() <= elapsed / kLook + 1,
             qPrintable(QStringLiteral("%1 changes in %2 ms").arg(changes.size()).arg(elapsed)));
    for (int i = 1; i < changes.size(); ++i)
        QVERIFY2(changes[i] - changes[i - 1] >= kLook - 2,
                 qPrintable(QStringLiteral("%1 ms apart").arg(changes[i] - changes[i - 1])));

    // Nothing new: no more changes.
    const int settled = changes.size();
    QTest::qWait(600);
    QCOMPARE(changes.size(), settled);
}

namespace {
// Ten minutes of readings and half a minute of room: a pixel is worth less
// than a second.
constexpr qint64 kShortSpan = 630 * 1000;
constexpr qint64 kShortRoom = TrendWindow::roomMs(kShortSpan);
} // namespace

void TrendChartTest::aNewReading_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<qint64>("after"); // the newest temperature reading, ms
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("disconnect"); // the link went down before it
    QTest::addColumn<bool>("shown");

    // The last temperatures are 25.0 and 25.1: the value axis runs from
    // 24.5 to 26.0.
    QTest::newRow("following, within the room") << "follow" << 1000LL << 25.0 << false << true;
    QTest::newRow("following, on the right edge")
        << "follow" << kShortRoom << 25.5 << false << true;
    QTest::newRow("following, past the right edge")
        << "follow" << kShortRoom + 1000 << 25.0 << false << true;
    QTest::newRow("following, above the value axis") << "follow" << 1000LL << 40.0 << false << true;
    QTest::newRow("following, below the value axis") << "follow" << 1000LL << 0.0 << false << true;
    QTest::newRow("following, after a disconnect") << "follow" << 1000LL << 25.0 << true << true;
    QTest::newRow("earlier readings shown") << "back" << 1000LL << 25.0 << false << false;
    QTest::newRow("a view reaching ahead") << "ahead" << 1000LL << 25.0 << false << true;
    // The line runs on to the first reading past the edge, to the border.
    QTest::newRow("a view reaching ahead, past its edge")
        << "ahead" << kShortSpan / 2 + 60 * 1000 << 25.0 << false << true;
}

// A new reading shows with the next redraw; the axes change only when they
// must for it to show. After a disconnect it starts a line of its own.
void TrendChartTest::aNewReading()
{
    QFETCH(QString, view);
    QFETCH(qint64, after);
    QFETCH(double, value);
    QFETCH(bool, disconnect);
    QFETCH(bool, shown);
    QVERIFY(m_rig.open());
    const qint64 newest = m_rig.history.series(Quantity::Temperature).last().ms;
    if (view == QLatin1String("follow"))
        m_rig.window->zoom(double(TrendWindow::kFirstSpanMs) / kShortSpan, 1.0);
    else if (view == QLatin1String("back"))
        m_rig.window->setVisibleRange(newest - 2 * kShortSpan, newest - kShortSpan);
    else
        m_rig.window->setVisibleRange(newest - kShortSpan / 2, newest + kShortSpan / 2);
    settle();
    const qint64 from = m_rig.window->visibleFromMs();
    const qint64 to = m_rig.window->visibleToMs();
    QCOMPARE(to - from, kShortSpan);
    if (view == QLatin1String("follow"))
        QCOMPARE(to, m_rig.history.newestMs() + kShortRoom);

    const QPointF reading(double(newest + after), value);
    if (disconnect)
        m_rig.history.breakLines();
    m_rig.history.append(Quantity::Temperature, newest + after, value);
    QTRY_VERIFY(m_rig.window->redrawCount() > m_redraws);
    QCOMPARE(showsPoint(*m_rig.window, QStringLiteral("temperature"), reading), shown);
    const auto lines = m_rig.window->shownLines(Quantity::Temperature);
    QCOMPARE(lines.size(), disconnect ? 2 : 1);
    if (disconnect)
        QCOMPARE(lines.last(), QVector<QPointF>{reading});

    auto *axis = qobject_cast<QValueAxis *>(
        m_rig.window->chart()
            ->axes(Qt::Vertical, child<QLineSeries>(m_rig.window->chart(), "temperature"))
            .first());
    QVERIFY(axis);
    if (qint64(reading.x()) <= m_rig.window->visibleToMs())
        QVERIFY(axis->min() <= value && value <= axis->max());
    if (view == QLatin1String("follow") && after > kShortRoom) {
        // The axis moved on by the room, the newest reading in its place.
        QCOMPARE(axisMax(*m_rig.window), newest + after + kShortRoom);
    } else {
        QCOMPARE(axisMin(*m_rig.window), from);
        QCOMPARE(axisMax(*m_rig.window), to);
    }
}

// Following the last hour, readings pour in a second apart and within the
// room: the chart changes about once a pixel's worth of time, and the last
// reading shows within that time.
void TrendChartTest::steadyFollowingChangesByThePixel()
{
    QVERIFY(m_rig.open());
    settle();
    const qint64 interval = m_rig.window->newIntervalMs();
    QVERIFY2(interval >= 3000, qPrintable(QString::number(interval))); // an hour on ~900 px
    QElapsedTimer clock;
    clock.start();
    QVector<qint64> changes;
    const auto stamp = [&] {
        changes << clock.elapsed();
    };
    connect(m_rig.window.get(), &TrendWindow::redrawn, this, stamp);
    qint64 t = m_rig.history.newestMs();
    for (int i = 0; i < 120; ++i) {
        m_rig.history.append(Quantity::Temperature, t += 1000, i % 2 ? 25.0 : 25.5);
        QTest::qWait(50);
    }
    const qint64 fed = clock.elapsed();
    QTRY_COMPARE_WITH_TIMEOUT(shownLine(*m_rig.window, QStringLiteral("temperature")).last().x(),
                              double(t),
                              int(interval + m_rig.window->lookIntervalMs()) + 2 * kLook);
    QVERIFY2(changes.size() >= 2 && changes.size() <= fed / interval + 2,
             qPrintable(QStringLiteral("%1 changes in %2 ms").arg(changes.size()).arg(fed)));
    for (int i = 1; i < changes.size(); ++i)
        QVERIFY2(changes[i] - changes[i - 1] >= interval - 2,
                 qPrintable(QStringLiteral("%1 ms apart").arg(changes[i] - changes[i - 1])));
}

void TrendChartTest::hiddenWindowStaysIdle()
{
    QVERIFY(m_rig.open());
    m_rig.window->hide();
    const int before = m_rig.window->redrawCount();
    m_rig.history.append(Quantity::Temperature, m_rig.history.newestMs() + 1000, 26.0);
    QTest::qWait(600);
    QCOMPARE(m_rig.window->redrawCount(), before);
    m_rig.window->show();
    QTRY_VERIFY(m_rig.window->redrawCount() > before);
}

// Following an hour, the window looks once a second; a change made by the
// operator within 250 ms of a redraw shows when those 250 ms end, not at
// the next look.
void TrendChartTest::aChangeSoonAfterARedrawWaitsOnlyTheRest()
{
    QVERIFY(m_rig.open());
    settle();
    QCOMPARE(m_rig.window->lookIntervalMs(), qint64(TrendWindow::kStatsIntervalMs));
    QSignalSpy redrawn(m_rig.window.get(), &TrendWindow::redrawn);
    // The interval counts from the first redraw's start, not its end (which
    // may be some ms later under the sanitizers).
    QElapsedTimer clock;
    clock.start();
    m_rig.window->zoom(2.0, 0.5);
    QCOMPARE(redrawn.count(), 1); // at once: nothing drawn for a while
    m_rig.window->zoom(2.0, 0.5);
    QCOMPARE(redrawn.count(), 1);
    QVERIFY(redrawn.wait(5000));
    QVERIFY2(clock.elapsed() >= kLook - 10 && clock.elapsed() < TrendWindow::kStatsIntervalMs - 100,
             qPrintable(QStringLiteral("after %1 ms").arg(clock.elapsed())));
    QCOMPARE(axisMax(*m_rig.window) - axisMin(*m_rig.window), TrendWindow::kFirstSpanMs / 4);
}

// Readings about a second apart, each followed by historyFed() as the tool
// does: the look runs with its reading, and the timer adds none between.
void TrendChartTest::looksRideOnTheReadings()
{
    QVERIFY(m_rig.open());
    int looks = 0; // the statistics are read at most once a look
    m_rig.window->setLinkStatsProvider([&looks] {
        ++looks;
        return movra::LinkStats();
    });
    settle();
    QCOMPARE(m_rig.window->lookIntervalMs(), qint64(TrendWindow::kStatsIntervalMs));
    const int feeds = 6;
    int atOnce = 0;
    looks = 0;
    qint64 t = m_rig.history.newestMs();
    for (int i = 0; i < feeds; ++i) {
        QTest::qWait(900);
        const int before = looks;
        m_rig.history.append(Quantity::Temperature, t += 1000, 25.0);
        m_rig.window->historyFed();
        atOnce += looks > before;
    }
    // The first one or two may find the timer's last look too close.
    QVERIFY2(atOnce >= feeds - 2,
             qPrintable(QStringLiteral("%1 of %2 at once").arg(atOnce).arg(feeds)));
    QVERIFY2(looks <= feeds + 2, qPrintable(QStringLiteral("%1 looks").arg(looks)));
}

QTEST_MAIN(TrendChartTest)
#include "tst_trend_window.moc"
