// The trend's series: the day-long ring, decimation for drawing, where
// lines break, the markers of readings outside the band and the time
// axis' ticks.
#include <QtTest>

#include "TrendTestData.h"
#include "trend/Decimator.h"
#include "trend/TimeTicks.h"
#include "trend/TrendHistory.h"

using namespace movra::trend;
using namespace trendtest;

class TrendSeriesTest : public QObject
{
    Q_OBJECT
private slots:
    void decimationKeepsExtremes_data();
    void decimationKeepsExtremes();
    void decimationExact_data();
    void decimationExact();
    void markersOnePerBucket_data();
    void markersOnePerBucket();
    void ticksOnRoundSteps_data();
    void ticksOnRoundSteps();

    void seriesKeepsOneDay();
    void seriesCapsFastFeeds();
    void seriesSearchAcrossTheRing();
    void seriesKeepsTimeOrder();
    void dayOfBothSeriesFitsTheBudget();
};

// ------------------------------------------------------------- decimation

void TrendSeriesTest::decimationKeepsExtremes_data()
{
    QTest::addColumn<Points>("points");
    QTest::addColumn<int>("buckets");

    const auto flat = [](int) {
        return 25.0;
    };
    QTest::newRow("one spike up in 10000 flat points")
        << everySecond(0, 4999, flat) + Points{{5000e3, 31.0}} + everySecond(5001, 9999, flat)
        << 400;
    QTest::newRow("one spike down")
        << everySecond(0, 4999, flat) + Points{{5000e3, 10.0}} + everySecond(5001, 9999, flat)
        << 400;
    QTest::newRow("spike on the first point")
        << Points{{0, 40.0}} + everySecond(1, 9999, flat) << 300;
    QTest::newRow("spike on the last point")
        << everySecond(0, 9998, flat) + Points{{9999e3, 0.0}} << 300;
    QTest::newRow("ramp") << everySecond(0, 9999, [](int t) { return t / 100.0; }) << 250;
    QTest::newRow("noise") << everySecond(0, 20000, [](int t) { return (t * 7919 % 31) / 10.0; })
                           << 500;
    QTest::newRow("gap in the middle")
        << everySecond(0, 999, [](int t) { return t % 5; }) +
               everySecond(5000, 5999, [](int t) { return 10 - t % 3; })
        << 200;
    QTest::newRow("fewer points than buckets")
        << everySecond(0, 49, [](int t) { return t % 2 ? 1.0 : -1.0; }) << 400;
    QTest::newRow("one bucket") << everySecond(0, 99, [](int t) { return t == 40 ? 9.0 : 0.0; })
                                << 1;
    QTest::newRow("one point") << Points{{0, 1.5}} << 100;
}

// Every bucket's lowest and highest value is drawn, the first and last
// points are, nothing is invented and time order holds.
void TrendSeriesTest::decimationKeepsExtremes()
{
    QFETCH(Points, points);
    QFETCH(int, buckets);
    const TrendSeries s = seriesOf(points);
    const qint64 from = s.timeAt(0);
    const qint64 to = s.last().ms;
    const Points out = decimate(s, 0, s.size(), from, to, buckets);

    QVERIFY(out.size() <= 2 * buckets + 2);
    if (points.size() <= buckets)
        QCOMPARE(out.size(), points.size());
    QCOMPARE(out.first(), QPointF(double(from), double(float(points.first().y()))));
    QCOMPARE(out.last(), QPointF(double(to), double(float(points.last().y()))));

    int j = 0; // out is a subsequence of the input
    for (const QPointF &o : out) {
        while (j < s.size() && QPointF(double(s.timeAt(j)), s.valueAt(j)) != o)
            ++j;
        QVERIFY2(j < s.size(), "a drawn point that is not a reading, or out of order");
        ++j;
    }

    const qint64 span = qMax<qint64>(1, to - from);
    using Range = QPair<double, double>;
    const auto bucketOf = [&](double ms) {
        return int(qMin<qint64>(buckets - 1, (qint64(ms) - from) * buckets / span));
    };
    const auto take = [](QMap<int, Range> &ranges, int b, double v) {
        auto it = ranges.find(b);
        if (it == ranges.end())
            ranges.insert(b, {v, v});
        else
            *it = {qMin(it->first, v), qMax(it->second, v)};
    };
    QMap<int, Range> expected, drawn;
    for (const QPointF &p : points)
        take(expected, bucketOf(double(kT0) + p.x()), double(float(p.y())));
    for (const QPointF &o : out)
        take(drawn, bucketOf(o.x()), o.y());
    QCOMPARE(drawn, expected);
}

void TrendSeriesTest::decimationExact_data()
{
    QTest::addColumn<Points>("points");
    QTest::addColumn<qint64>("fromMs");
    QTest::addColumn<qint64>("toMs");
    QTest::addColumn<int>("buckets");
    QTest::addColumn<Points>("expected");
    // The history's lines: the reading interval, the reading before which
    // the link went down (-1: none), and how many points each line keeps.
    QTest::addColumn<qint64>("intervalMs");
    QTest::addColumn<int>("disconnectAt");
    QTest::addColumn<QVector<int>>("lines");

    // The high comes before the low in time: it must be drawn first.
    QTest::newRow("max before min") << Points{{0, 0},    {1000, 5}, {2000, 1}, {3000, 1},
                                              {4000, 2}, {5000, 9}, {6000, 2}, {7000, 3}}
                                    << qint64(0) << qint64(8000) << 2
                                    << Points{{0, 0}, {1000, 5}, {4000, 2}, {5000, 9}, {7000, 3}}
                                    << qint64(0) << -1 << QVector<int>{5};
    QTest::newRow("min before max")
        << Points{{0, 4}, {1000, 1}, {2000, 7}, {3000, 4}} << qint64(0) << qint64(4000) << 1
        << Points{{0, 4}, {1000, 1}, {2000, 7}, {3000, 4}} << qint64(1000) << -1 << QVector<int>{4};
    QTest::newRow("flat bucket keeps its first point once")
        << Points{{0, 3}, {1000, 3}, {2000, 3}, {3000, 3}} << qint64(0) << qint64(4000) << 1
        << Points{{0, 3}, {3000, 3}} << qint64(0) << -1 << QVector<int>{2};
    // The window passes one point beyond each edge; they sit in the edge
    // buckets and are kept as the first and last.
    QTest::newRow("neighbours outside the range")
        << Points{{-5000, 8}, {1000, 1}, {2000, 2}, {9000, 0}, {15000, 6}} << qint64(0)
        << qint64(10000) << 2 << Points{{-5000, 8}, {1000, 1}, {9000, 0}, {15000, 6}} << qint64(0)
        << -1 << QVector<int>{4};
    QTest::newRow("a gap of three intervals joins")
        << Points{{0, 1}, {1000, 2}, {4000, 3}} << qint64(0) << qint64(5000) << 10
        << Points{{0, 1}, {1000, 2}, {4000, 3}} << qint64(1000) << -1 << QVector<int>{3};
    QTest::newRow("a longer gap breaks the line")
        << Points{{0, 1}, {1000, 2}, {4001, 3}, {5000, 4}} << qint64(0) << qint64(6000) << 10
        << Points{{0, 1}, {1000, 2}, {4001, 3}, {5000, 4}} << qint64(1000) << -1
        << QVector<int>{2, 2};
    QTest::newRow("a disconnect breaks the line, a lone reading stands alone")
        << Points{{0, 1}, {1000, 2}, {2000, 3}, {10000, 4}, {11000, 5}} << qint64(0)
        << qint64(12000) << 12 << Points{{0, 1}, {1000, 2}, {2000, 3}, {10000, 4}, {11000, 5}}
        << qint64(1000) << 2 << QVector<int>{2, 1, 2};
}

void TrendSeriesTest::decimationExact()
{
    QFETCH(Points, points);
    QFETCH(qint64, fromMs);
    QFETCH(qint64, toMs);
    QFETCH(int, buckets);
    QFETCH(Points, expected);
    QFETCH(qint64, intervalMs);
    QFETCH(int, disconnectAt);
    QFETCH(QVector<int>, lines);
    TrendHistory h;
    for (int i = 0; i < points.size(); ++i) {
        if (i == disconnectAt)
            h.breakLines();
        h.append(Quantity::Temperature, kT0 + qint64(points[i].x()), points[i].y(), intervalMs);
    }
    const TrendSeries &s = h.series(Quantity::Temperature);
    Points out;
    QVector<int> sizes;
    for (const Points &line : decimateRuns(s, 0, s.size(), kT0 + fromMs, kT0 + toMs, buckets)) {
        sizes << line.size();
        for (const QPointF &p : line)
            out << QPointF(p.x() - double(kT0), p.y());
    }
    QCOMPARE(out, expected);
    QCOMPARE(sizes, lines);
}

void TrendSeriesTest::markersOnePerBucket_data()
{
    QTest::addColumn<Points>("points");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<Points>("expected");

    // Band 25.0 ± 0.5 over [0, 10 s) in two buckets.
    QTest::newRow("the farthest of each bucket")
        << Points{{0, 25.6}, {1000, 26.0}, {2000, 25.0}, {3000, 24.0}, {6000, 25.5}, {7000, 25.9}}
        << true << Points{{1000, 26.0}, {7000, 25.9}};
    QTest::newRow("a single excursion") << Points{{0, 25.0}, {4000, 25.1}, {5000, 25.5}, {9000, 25}}
                                        << true << Points{{5000, 25.5}};
    QTest::newRow("the first of equals")
        << Points{{6000, 24.0}, {7000, 26.0}} << true << Points{{6000, 24.0}};
    QTest::newRow("all inside") << Points{{0, 25.4}, {6000, 24.6}} << true << Points{};
    QTest::newRow("check off") << Points{{0, 40.0}, {6000, 10.0}} << false << Points{};
}

void TrendSeriesTest::markersOnePerBucket()
{
    QFETCH(Points, points);
    QFETCH(bool, enabled);
    QFETCH(Points, expected);
    const TrendSeries s = seriesOf(points);
    Points out = outsideBand(s, 0, s.size(), Band{enabled, 25.0, 0.5}, kT0, kT0 + 10000, 2);
    for (QPointF &p : out)
        p.rx() -= double(kT0);
    for (QPointF &p : expected)
        p.ry() = double(float(p.y()));
    QCOMPARE(out, expected);
}

void TrendSeriesTest::ticksOnRoundSteps_data()
{
    QTest::addColumn<qint64>("fromMs"); // after a midnight of UTC
    QTest::addColumn<qint64>("spanMs");
    QTest::addColumn<int>("maxTicks");
    QTest::addColumn<qint64>("offsetMs"); // of the local clock
    QTest::addColumn<qint64>("stepMs");
    QTest::addColumn<qint64>("firstMs");

    constexpr qint64 s = 1000, min = 60 * s, h = 60 * min;
    QTest::newRow("ten seconds") << 500LL << 10 * s << 20 << 0LL << s << s;
    QTest::newRow("a minute") << 7 * s << min << 8 << 0LL << 10 * s << 10 * s;
    QTest::newRow("two minutes") << 0LL << 2 * min << 5 << 0LL << 30 * s << 0LL;
    QTest::newRow("ten minutes") << 61 * s << 10 * min << 12 << 0LL << min << 2 * min;
    QTest::newRow("half an hour") << 0LL << 30 * min << 3 << 0LL << 15 * min << 0LL;
    QTest::newRow("an hour and its room, local time an hour ahead")
        << 10 * h + 7 * min + 13 * s << 63 * min << 12 << h << 10 * min << 10 * h + 10 * min;
    QTest::newRow("a day, six hours from local midnight")
        << 30 * min << 26 * h << 6 << 8 * h << 6 * h << 4 * h;
    QTest::newRow("a day, three hours") << 0LL << 26 * h << 12 << 0LL << 3 * h << 0LL;
    QTest::newRow("room for too few ticks: the longest step")
        << 0LL << 26 * h << 2 << 0LL << 12 * h << 0LL;
}

void TrendSeriesTest::ticksOnRoundSteps()
{
    QFETCH(qint64, fromMs);
    QFETCH(qint64, spanMs);
    QFETCH(int, maxTicks);
    QFETCH(qint64, offsetMs);
    QFETCH(qint64, stepMs);
    QFETCH(qint64, firstMs);
    constexpr qint64 midnight = 1699920000000LL; // 2023-11-14 00:00 UTC
    QCOMPARE(tickStepMs(spanMs, maxTicks), stepMs);
    const QVector<qint64> ticks =
        timeTicks(midnight + fromMs, midnight + fromMs + spanMs, stepMs, offsetMs);
    QVERIFY(!ticks.isEmpty());
    QCOMPARE(ticks.first() - midnight, firstMs);
    QVERIFY(ticks.last() <= midnight + fromMs + spanMs);
    QVERIFY(ticks.last() + stepMs > midnight + fromMs + spanMs);
    for (int i = 1; i < ticks.size(); ++i)
        QCOMPARE(ticks[i] - ticks[i - 1], stepMs);
}

// ----------------------------------------------------------------- series

void TrendSeriesTest::seriesKeepsOneDay()
{
    TrendSeries s;
    const int seconds = 25 * 3600;
    for (int t = 0; t <= seconds; ++t)
        s.append(kT0 + t * 1000LL, 20.0 + t % 10 / 10.0);
    QCOMPARE(s.size(), 24 * 3600 + 1);
    QCOMPARE(s.timeAt(0), kT0 + (seconds - 24 * 3600) * 1000LL);
    QCOMPARE(s.last().ms, kT0 + seconds * 1000LL);
    QCOMPARE(s.appended(), quint64(seconds + 1));

    // A reading after a long pause leaves only itself.
    s.append(kT0 + (seconds + 25 * 3600) * 1000LL, 1.0);
    QCOMPARE(s.size(), 1);
    QCOMPARE(s.at(0).value, 1.0f);
}

void TrendSeriesTest::seriesCapsFastFeeds()
{
    TrendSeries s;
    const int n = TrendSeries::kMaxPoints + 5000;
    for (int i = 0; i < n; ++i)
        s.append(kT0 + i * 10LL, i % 1000);
    QCOMPARE(s.size(), TrendSeries::kMaxPoints);
    QCOMPARE(s.timeAt(0), kT0 + 5000 * 10LL);
    QCOMPARE(s.last().ms, kT0 + (n - 1) * 10LL);
    QCOMPARE(s.valueAt(s.size() - 1), float((n - 1) % 1000));
}

// After the ring has wrapped, search and indexing still see one ordered
// sequence.
void TrendSeriesTest::seriesSearchAcrossTheRing()
{
    TrendSeries s;
    const int n = 24 * 3600 + 20000;
    for (int i = 0; i < n; ++i)
        s.append(kT0 + i * 1000LL, i);
    const qint64 first = s.timeAt(0);
    for (int i = 1; i < s.size(); ++i)
        QVERIFY(s.timeAt(i) == s.timeAt(i - 1) + 1000);
    for (qint64 probe : {first - 1, first, first + 1, first + 500000, s.last().ms - 1, s.last().ms,
                         s.last().ms + 1}) {
        const int lower = s.lowerBound(probe);
        const int upper = s.upperBound(probe);
        int linearLower = 0;
        while (linearLower < s.size() && s.timeAt(linearLower) < probe)
            ++linearLower;
        int linearUpper = linearLower;
        while (linearUpper < s.size() && s.timeAt(linearUpper) <= probe)
            ++linearUpper;
        QCOMPARE(lower, linearLower);
        QCOMPARE(upper, linearUpper);
    }
    QCOMPARE(double(s.valueAt(s.lowerBound(first + 1000))), double(s.valueAt(0)) + 1.0);
}

void TrendSeriesTest::seriesKeepsTimeOrder()
{
    TrendSeries s;
    s.append(kT0 + 5000, 1.0);
    s.append(kT0 + 2000, 2.0); // the clock was set back
    s.append(kT0 + 6000, 3.0);
    QVERIFY(!s.append(kT0 + 7000, qQNaN()));
    QCOMPARE(s.size(), 3);
    QCOMPARE(s.timeAt(1), kT0 + 5000);
    QCOMPARE(s.valueAt(1), 2.0f);
    QCOMPARE(s.last().ms, kT0 + 6000);
}

void TrendSeriesTest::dayOfBothSeriesFitsTheBudget()
{
    TrendHistory h;
    for (int t = 0; t < 24 * 3600; ++t) {
        h.append(Quantity::Temperature, kT0 + t * 1000LL, 25.0);
        h.append(Quantity::Humidity, kT0 + t * 1000LL + 300, 50.0);
    }
    QCOMPARE(h.series(Quantity::Temperature).size(), 24 * 3600);
    QVERIFY2(h.memoryBytes() <= 20u * 1024 * 1024, qPrintable(QString::number(h.memoryBytes())));
    QCOMPARE(h.series(Quantity::Temperature).timeAt(0), kT0);
    QCOMPARE(h.newestMs(), kT0 + (24 * 3600 - 1) * 1000LL + 300);
}

QTEST_APPLESS_MAIN(TrendSeriesTest)
#include "tst_trend_series.moc"
