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
    void aMinuteOfReadingsNeedsNoRedraw();
    void newReadingsOutsideTheBandAreMarked();
    void aWideTailIsFolded();
    void hiddenWindowStaysIdle();
    void aChangeSoonAfterARedrawWaitsOnlyTheRest();
    void cachedSeriesPaintAsUncached();
    void looksRideOnTheReadings();

private:
    // Lets the chart settle after opening or moving; the counts from then.
    void settle();
    int m_redraws = 0, m_extends = 0;
};

namespace {
constexpr qint64 kRoom = TrendWindow::roomMs(TrendWindow::kFirstSpanMs);
constexpr int kLook = TrendWindow::kRedrawIntervalMs;
// The longest a new reading may take to show, with time to spare.
constexpr int kShowMs = 2 * TrendWindow::kMaxTailWaitMs;

bool showsPoint(TrendWindow &w, const QString &key, const QPointF &p)
{
    return shownLine(w, key).contains(p);
}
} // namespace

void TrendChartTest::settle()
{
    QTest::qWait(2 * kLook);
    m_redraws = m_rig.window->redrawCount();
    m_extends = m_rig.window->extendCount();
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
}

// Readings, each beyond what the chart shows, arrive every 10 ms for over a
// second: the chart follows them, but never changes twice within 250 ms.
void TrendChartTest::burstsOfReadingsCoalesce()
{
    QVERIFY(m_rig.open());
    // Two minutes shown: a pixel is worth less than a look.
    m_rig.window->zoom(double(TrendWindow::kFirstSpanMs) / (2 * 60 * 1000), 1.0);
    QVERIFY(m_rig.window->follows());
    QCOMPARE(m_rig.window->tailIntervalMs(), qint64(kLook));
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
    connect(m_rig.window.get(), &TrendWindow::extended, this, stamp);
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
    QTest::addColumn<int>("redraws");
    QTest::addColumn<int>("extends");
    QTest::addColumn<bool>("shown");

    // The last temperatures are 25.0 and 25.1: the value axis runs from
    // 24.5 to 26.0.
    QTest::newRow("following, within the room") << "follow" << 1000LL << 25.0 << 0 << 1 << true;
    QTest::newRow("following, on the right edge")
        << "follow" << kShortRoom << 25.5 << 0 << 1 << true;
    QTest::newRow("following, past the right edge")
        << "follow" << kShortRoom + 1000 << 25.0 << 1 << 0 << true;
    QTest::newRow("following, above the value axis")
        << "follow" << 1000LL << 40.0 << 1 << 0 << true;
    QTest::newRow("following, below the value axis") << "follow" << 1000LL << 0.0 << 1 << 0 << true;
    QTest::newRow("earlier readings shown") << "back" << 1000LL << 25.0 << 0 << 0 << false;
    QTest::newRow("a view reaching ahead") << "ahead" << 1000LL << 25.0 << 0 << 1 << true;
    // The line runs on to the first reading past the edge, to the border.
    QTest::newRow("a view reaching ahead, past its edge")
        << "ahead" << kShortSpan / 2 + 60 * 1000 << 25.0 << 0 << 1 << true;
}

// A new reading extends the tail, unless the axes must change for it to show.
void TrendChartTest::aNewReading()
{
    QFETCH(QString, view);
    QFETCH(qint64, after);
    QFETCH(double, value);
    QFETCH(int, redraws);
    QFETCH(int, extends);
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
    m_rig.history.append(Quantity::Temperature, newest + after, value);
    if (shown)
        QTRY_VERIFY(showsPoint(*m_rig.window, QStringLiteral("temperature"), reading));
    QTest::qWait(int(m_rig.window->tailIntervalMs() + m_rig.window->lookIntervalMs()) + 2 * kLook);
    QCOMPARE(m_rig.window->redrawCount() - m_redraws, redraws);
    QCOMPARE(m_rig.window->extendCount() - m_extends, extends);
    QCOMPARE(showsPoint(*m_rig.window, QStringLiteral("temperature"), reading), shown);

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
        QCOMPARE(child<QLineSeries>(m_rig.window->chart(), "temperatureTail")->count(), 0);
    } else {
        QCOMPARE(axisMin(*m_rig.window), from);
        QCOMPARE(axisMax(*m_rig.window), to);
    }
}

// Following the last hour, readings pour in a second apart and within the
// room: the chart changes about once a pixel's worth of time, never by a
// redraw, and the last reading shows within that time.
void TrendChartTest::steadyFollowingChangesByThePixel()
{
    QVERIFY(m_rig.open());
    settle();
    const qint64 interval = m_rig.window->tailIntervalMs();
    QVERIFY2(interval >= 3000, qPrintable(QString::number(interval))); // an hour on ~900 px
    QElapsedTimer clock;
    clock.start();
    QVector<qint64> changes;
    const auto stamp = [&] {
        changes << clock.elapsed();
    };
    connect(m_rig.window.get(), &TrendWindow::redrawn, this, stamp);
    connect(m_rig.window.get(), &TrendWindow::extended, this, stamp);
    qint64 t = m_rig.history.newestMs();
    for (int i = 0; i < 120; ++i) {
        m_rig.history.append(Quantity::Temperature, t += 1000, i % 2 ? 25.0 : 25.5);
        QTest::qWait(50);
    }
    const qint64 fed = clock.elapsed();
    QTRY_COMPARE_WITH_TIMEOUT(shownLine(*m_rig.window, QStringLiteral("temperature")).last().x(),
                              double(t),
                              int(interval + m_rig.window->lookIntervalMs()) + 2 * kLook);
    QCOMPARE(m_rig.window->redrawCount(), m_redraws);
    QVERIFY2(changes.size() >= 2 && changes.size() <= fed / interval + 2,
             qPrintable(QStringLiteral("%1 changes in %2 ms").arg(changes.size()).arg(fed)));
    for (int i = 1; i < changes.size(); ++i)
        QVERIFY2(changes[i] - changes[i - 1] >= interval - 2,
                 qPrintable(QStringLiteral("%1 ms apart").arg(changes[i] - changes[i - 1])));
}

// A minute of readings once a second within the room and the value axis:
// the tail takes them, thinned like the line, and nothing is redrawn.
void TrendChartTest::aMinuteOfReadingsNeedsNoRedraw()
{
    QVERIFY(m_rig.open());
    settle();
    const double msPerPixel =
        double(TrendWindow::kFirstSpanMs) / int(m_rig.window->chart()->plotArea().width());
    QVERIFY(msPerPixel > 2000); // at least two readings a pixel
    const QString detail = labelText(m_rig.window.get(), "temperatureVerdictDetail");
    qint64 t = m_rig.history.newestMs();
    for (int batch = 0; batch < 3; ++batch) {
        for (int i = 0; i < 20; ++i) {
            t += 1000;
            m_rig.history.append(Quantity::Temperature, t, i % 2 ? 25.5 : 24.6);
            m_rig.history.append(Quantity::Humidity, t + 400, 50.1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(
            shownLine(*m_rig.window, QStringLiteral("temperature")).last().x(), double(t), kShowMs);
    }
    QCOMPARE(m_rig.window->redrawCount(), m_redraws);
    QVERIFY(m_rig.window->extendCount() - m_extends >= 3);
    QVERIFY(labelText(m_rig.window.get(), "temperatureVerdictDetail") != detail);

    const QVector<QPointF> tail =
        child<QLineSeries>(m_rig.window->chart(), "temperatureTail")->pointsVector();
    const int pixels = qCeil(60000 / msPerPixel) + 1;
    QVERIFY2(tail.size() >= 4 && tail.size() <= 2 * pixels + 3,
             qPrintable(QStringLiteral("%1 points over %2 pixels").arg(tail.size()).arg(pixels)));
    bool low = false, high = false;
    for (const QPointF &p : tail) {
        low = low || qAbs(p.y() - 24.6) < 1e-4; // kept as float
        high = high || qAbs(p.y() - 25.5) < 1e-4;
    }
    QVERIFY(low && high);
}

// Out-of-band readings after the last redraw get their marks without one:
// the first reading that needs a mark has it, and once the plot's bucket is
// done the mark is on its farthest reading.
void TrendChartTest::newReadingsOutsideTheBandAreMarked()
{
    QVERIFY(m_rig.open());
    m_rig.window->setBand(Quantity::Temperature, Band{true, 25.0, 0.5});
    settle();
    auto *marks = child<QScatterSeries>(m_rig.window->chart(), "temperatureOutside");
    QCOMPARE(marks->count(), 0);
    const double msPerBucket =
        double(TrendWindow::kFirstSpanMs) /
        (int(m_rig.window->chart()->plotArea().width()) / TrendWindow::kMarkerSpacingPx);
    QVERIFY(msPerBucket > 4000);

    // The readings start a bucket of marks, so all of them fall in one.
    const qint64 newest = m_rig.history.newestMs();
    const qint64 from = m_rig.window->visibleFromMs();
    const qint64 bucket = qint64(double(newest - from) / msPerBucket) + 1;
    const qint64 t = from + qint64(std::ceil(bucket * msPerBucket));
    const qint64 next = from + qint64(std::ceil((bucket + 1) * msPerBucket));
    QVERIFY(next < m_rig.window->visibleToMs()); // all within the room
    // Values a float holds exactly, as the history keeps them.
    m_rig.history.append(Quantity::Temperature, t, 25.5);
    QTRY_COMPARE_WITH_TIMEOUT(marks->pointsVector(), QVector<QPointF>{QPointF(double(t), 25.5)},
                              kShowMs);
    m_rig.history.append(Quantity::Temperature, t + 1000, 24.0); // farther, same bucket
    m_rig.history.append(Quantity::Temperature, t + 2000, 25.2); // inside the band
    QTRY_COMPARE_WITH_TIMEOUT(shownLine(*m_rig.window, QStringLiteral("temperature")).last().x(),
                              double(t + 2000), kShowMs);
    QCOMPARE(marks->pointsVector(), QVector<QPointF>{QPointF(double(t), 25.5)});

    // The next bucket's reading closes it.
    m_rig.history.append(Quantity::Temperature, next, 25.75);
    QTRY_COMPARE_WITH_TIMEOUT(marks->pointsVector(),
                              QVector<QPointF>({{double(t + 1000), 24.0}, {double(next), 25.75}}),
                              kShowMs);
    QCOMPARE(m_rig.window->redrawCount(), m_redraws);
}

// A view reaching far ahead of the readings: hours of them come at once.
// The tail never grows past a tenth of the plot: it is folded into the line.
void TrendChartTest::aWideTailIsFolded()
{
    QVERIFY(m_rig.open());
    const qint64 newest = m_rig.history.newestMs();
    m_rig.window->setVisibleRange(newest - kHour, newest + 5 * kHour);
    settle();
    auto *tail = child<QLineSeries>(m_rig.window->chart(), "temperatureTail");
    const int buckets = int(m_rig.window->chart()->plotArea().width());
    const int most = 2 * buckets / TrendWindow::kTailParts + 1;
    int widest = 0;
    connect(m_rig.window.get(), &TrendWindow::extended, this,
            [&] { widest = qMax(widest, tail->count()); });

    qint64 t = newest;
    for (int i = 0; i < 2 * 3600; ++i)
        m_rig.history.append(Quantity::Temperature, t += 1000, 25.0 + (i % 7) / 10.0);
    QTRY_VERIFY_WITH_TIMEOUT(m_rig.window->redrawCount() > m_redraws, kShowMs);
    QTRY_COMPARE_WITH_TIMEOUT(shownLine(*m_rig.window, QStringLiteral("temperature")).last().x(),
                              double(t), kShowMs);
    QCOMPARE(tail->count(), 0);

    // Then a few: a short tail again.
    for (int i = 0; i < 30; ++i)
        m_rig.history.append(Quantity::Temperature, t += 1000, 25.3);
    QTRY_COMPARE_WITH_TIMEOUT(shownLine(*m_rig.window, QStringLiteral("temperature")).last().x(),
                              double(t), kShowMs);
    QVERIFY(tail->count() > 1);
    QVERIFY2(widest <= most, qPrintable(QStringLiteral("%1 > %2").arg(widest).arg(most)));
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
    m_rig.window->zoom(2.0, 0.5);
    QCOMPARE(redrawn.count(), 1); // at once: nothing drawn for a while
    QElapsedTimer clock;
    clock.start();
    m_rig.window->zoom(2.0, 0.5);
    QCOMPARE(redrawn.count(), 1);
    QVERIFY(redrawn.wait(5000));
    QVERIFY2(clock.elapsed() >= kLook - 10 && clock.elapsed() < TrendWindow::kStatsIntervalMs - 100,
             qPrintable(QStringLiteral("after %1 ms").arg(clock.elapsed())));
    QCOMPARE(axisMax(*m_rig.window) - axisMin(*m_rig.window), TrendWindow::kFirstSpanMs / 4);
}

namespace {
// Where a colour is painted; empty when nowhere.
QRect colourBox(const QImage &image, QRgb colour)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xffffff) == (colour & 0xffffff))
                box |= QRect(x, y, 1, 1);
    return box;
}
} // namespace

// The series paint from a cache of their own. Cached pixels may fall a
// pixel apart from painted ones, as lines are rounded to the pixel grid
// from another origin; but the cache must hold what is new and cut
// nothing off: each line covers the same area either way.
void TrendChartTest::cachedSeriesPaintAsUncached()
{
    QVERIFY(m_rig.open());
    m_rig.window->setBand(Quantity::Temperature, Band{true, 25.0, 0.05});
    settle();
    QSignalSpy extended(m_rig.window.get(), &TrendWindow::extended);
    // A spike in the tail alone: from 24 to 26 and back.
    qint64 t = m_rig.history.newestMs();
    for (int i = 0; i < 30; ++i) {
        m_rig.history.append(Quantity::Temperature, t += 1000, 24.0 + i % 3);
        m_rig.history.append(Quantity::Humidity, t + 400, 50.0 + i % 2);
    }
    QVERIFY(extended.wait(kShowMs));
    QVERIFY(
        !child<QLineSeries>(m_rig.window->chart(), "temperatureTail")->pointsVector().isEmpty());

    auto *view = child<QGraphicsView>(m_rig.window.get(), "trendChart");
    QVERIFY(view);
    int cached = 0;
    for (QGraphicsItem *item : view->scene()->items())
        cached += item->cacheMode() == QGraphicsItem::DeviceCoordinateCache;
    QVERIFY(cached >= 4); // both lines and both tails at least
    const QImage withCache = view->grab().toImage();
    for (QGraphicsItem *item : view->scene()->items())
        item->setCacheMode(QGraphicsItem::NoCache);
    const QImage without = view->grab().toImage();
    QCOMPARE(withCache.size(), without.size());
    for (const char *key : {"temperature", "humidity"}) {
        const QRgb colour = child<QLineSeries>(m_rig.window->chart(), key)->pen().color().rgb();
        const QRect a = colourBox(withCache, colour), b = colourBox(without, colour);
        QVERIFY2(!b.isEmpty() && qAbs(a.left() - b.left()) <= 1 &&
                     qAbs(a.right() - b.right()) <= 1 && qAbs(a.top() - b.top()) <= 1 &&
                     qAbs(a.bottom() - b.bottom()) <= 1,
                 qPrintable(QStringLiteral("%1: %2,%3 %4x%5 cached, %6,%7 %8x%9 painted")
                                .arg(QLatin1String(key))
                                .arg(a.x())
                                .arg(a.y())
                                .arg(a.width())
                                .arg(a.height())
                                .arg(b.x())
                                .arg(b.y())
                                .arg(b.width())
                                .arg(b.height())));
    }
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
