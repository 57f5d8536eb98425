// The trend window's chart, offscreen: what it draws from a history, how it
// moves, and how often it redraws.
#include <QCheckBox>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>

#include "TrendWindowRig.h"
#include "ui/TrendChartView.h"

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
    void steadyReadingsMoveTheChartByPixels();
    void hiddenWindowStaysIdle();
};

void TrendChartTest::readingsShowInTheirSeries()
{
    QVERIFY(m_rig.open());
    QCOMPARE(m_rig.window->windowTitle(), QStringLiteral("趋势与统计"));
    QVERIFY(!m_rig.window->isModal());
    QVERIFY(m_rig.window->follows());
    m_rig.window->redrawNow();

    // The last hour, ending at the newest reading, which was taken before
    // the window opened.
    const qint64 newest = m_rig.history.newestMs();
    QCOMPARE(axisMin(*m_rig.window), newest - kHour);
    const int width = int(m_rig.window->chart()->plotArea().width());
    QVERIFY(width > 100);
    for (const char *name : {"temperature", "humidity"}) {
        const auto *line = child<QLineSeries>(m_rig.window->chart(), name);
        QVERIFY(line);
        const QVector<QPointF> points = line->pointsVector();
        QVERIFY2(points.size() > 2 * 60 && points.size() <= 2 * width + 4,
                 qPrintable(QString::number(points.size())));
        QVERIFY(points.first().x() <= double(newest - kHour));
        QVERIFY(points.last().x() >= double(newest - 400));
    }
    const auto *temperature = child<QLineSeries>(m_rig.window->chart(), "temperature");
    QCOMPARE(temperature->pointsVector().last().y(),
             double(m_rig.history.series(Quantity::Temperature).last().value));

    // A new reading shows at the next look, and following keeps it at the right.
    m_rig.history.append(Quantity::Temperature, newest + 1000, 31.0);
    QTRY_COMPARE(temperature->pointsVector().last(), QPointF(double(newest + 1000), 31.0));
    QCOMPARE(axisMin(*m_rig.window), newest + 1000 - kHour);

    // Emptied, the history leaves nothing on the chart; what comes next shows.
    m_rig.history.clear();
    QTRY_COMPARE(temperature->count(), 0);
    QCOMPARE(child<QLineSeries>(m_rig.window->chart(), "humidity")->count(), 0);
    m_rig.history.clear();
    m_rig.history.append(Quantity::Humidity, newest + 5000, 40.0);
    QTRY_COMPARE(child<QLineSeries>(m_rig.window->chart(), "humidity")->count(), 1);
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
    const qint64 to = m_rig.history.newestMs();
    const QVector<QPointF> upper = band->upperSeries()->pointsVector();
    const QVector<QPointF> lower = band->lowerSeries()->pointsVector();
    QCOMPARE(upper, QVector<QPointF>({{double(to - kHour), reference + tolerance},
                                      {double(to), reference + tolerance}}));
    QCOMPARE(lower, QVector<QPointF>({{double(to - kHour), reference - tolerance},
                                      {double(to), reference - tolerance}}));

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
    QTest::addColumn<double>("span");  // hours
    QTest::addColumn<double>("shift"); // of the right edge from the newest, in spans
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

    const qint64 spanMs = qint64(span * kHour);
    const qint64 newest = m_rig.history.newestMs();
    QCOMPARE(m_rig.window->follows(), follows);
    QCOMPARE(child<QCheckBox>(m_rig.window.get(), "follow")->isChecked(), follows);
    QVERIFY(qAbs(m_rig.window->visibleToMs() - m_rig.window->visibleFromMs() - spanMs) <= 1);
    // A drag is in whole pixels.
    const qint64 slack = action == QLatin1String("drag") ? qint64(spanMs / plot.width()) + 1 : 1;
    QVERIFY2(qAbs(m_rig.window->visibleToMs() - (newest + qint64(shift * spanMs))) <= slack,
             qPrintable(QString::number(m_rig.window->visibleToMs() - newest)));
    QCOMPARE(axisMin(*m_rig.window), m_rig.window->visibleFromMs());
}

// Readings, each beyond what the chart shows, arrive every 10 ms for over a
// second: the chart follows them, but never redraws twice within 250 ms.
void TrendChartTest::burstsOfReadingsCoalesce()
{
    QVERIFY(m_rig.open());
    QElapsedTimer clock;
    clock.start();
    QVector<qint64> redraws;
    connect(m_rig.window.get(), &TrendWindow::redrawn, this, [&] { redraws << clock.elapsed(); });
    QTest::qWait(300); // past the redraw the window did when shown
    redraws.clear();
    const qint64 start = clock.elapsed();
    qint64 t = m_rig.history.newestMs();
    for (int i = 0; i < 120; ++i) {
        m_rig.history.append(Quantity::Temperature, t += 1000, 26.0 + i / 10.0);
        QTest::qWait(10);
    }
    QTRY_VERIFY(!redraws.isEmpty() &&
                m_rig.window->chart()
                        ->findChild<QLineSeries *>(QStringLiteral("temperature"))
                        ->pointsVector()
                        .last()
                        .x() == double(t));
    const qint64 elapsed = clock.elapsed() - start;
    QVERIFY2(redraws.size() >= 2, "the chart did not follow the readings");
    QVERIFY2(redraws.size() <= elapsed / TrendWindow::kRedrawIntervalMs + 1,
             qPrintable(QStringLiteral("%1 redraws in %2 ms").arg(redraws.size()).arg(elapsed)));
    for (int i = 1; i < redraws.size(); ++i)
        QVERIFY2(redraws[i] - redraws[i - 1] >= TrendWindow::kRedrawIntervalMs - 2,
                 qPrintable(QStringLiteral("%1 ms apart").arg(redraws[i] - redraws[i - 1])));

    // Nothing new: no more redraws.
    const int settled = redraws.size();
    QTest::qWait(600);
    QCOMPARE(redraws.size(), settled);
}

// Readings like those already at the right edge move a followed chart only
// once they have moved it kFollowStepPx pixels; the verdict follows each of
// them.
void TrendChartTest::steadyReadingsMoveTheChartByPixels()
{
    QVERIFY(m_rig.open());
    m_rig.window->redrawNow();
    const int before = m_rig.window->redrawCount();
    const double msPerPixel = double(kHour) / int(m_rig.window->chart()->plotArea().width());
    QVERIFY(msPerPixel > 2000); // at least two readings a pixel
    const QString detail = labelText(m_rig.window.get(), "temperatureVerdictDetail");

    // The last readings were 25.0 and 25.1 in turn, temperature at whole
    // seconds and humidity 400 ms later.
    const qint64 newest = m_rig.history.newestMs();
    qint64 t = newest - 400 + 1000;
    const qint64 step = qCeil(TrendWindow::kFollowStepPx * msPerPixel);
    for (; t + 400 < newest + step; t += 1000) {
        m_rig.history.append(Quantity::Temperature, t, 25.0);
        m_rig.history.append(Quantity::Humidity, t + 400, 50.1);
    }
    QTRY_VERIFY(labelText(m_rig.window.get(), "temperatureVerdictDetail") != detail);
    QTest::qWait(2 * TrendWindow::kRedrawIntervalMs);
    QCOMPARE(m_rig.window->redrawCount(), before);

    m_rig.history.append(Quantity::Temperature, newest + step, 25.1);
    QTRY_COMPARE(m_rig.window->redrawCount(), before + 1);
    QCOMPARE(m_rig.window->visibleToMs(), newest + step);
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

QTEST_MAIN(TrendChartTest)
#include "tst_trend_window.moc"
