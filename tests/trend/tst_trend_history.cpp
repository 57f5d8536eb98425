// The trend's history: the day-long ring, decimation for drawing, the
// stability verdict and the qualification band's judgement.
#include <QtTest>
#include <random>

#include "trend/Band.h"
#include "trend/Decimator.h"
#include "trend/TrendHistory.h"

using namespace movra::trend;

namespace {

constexpr qint64 kT0 = 1700000000000LL; // a Tuesday in November 2023

using Points = QVector<QPointF>; // x: ms from kT0, y: value

TrendSeries seriesOf(const Points &points)
{
    TrendSeries s;
    for (const QPointF &p : points)
        s.append(kT0 + qint64(p.x()), p.y());
    return s;
}

// Readings once a second from `from` to `to` seconds (inclusive).
Points everySecond(int from, int to, const std::function<double(int)> &value)
{
    Points p;
    for (int t = from; t <= to; ++t)
        p.append(QPointF(t * 1000.0, value(t)));
    return p;
}

// An independent, slow verdict: looks at the whole window each time.
Verdict slowVerdict(const TrendSeries &s, int last, const StabilityRule &rule)
{
    const qint64 end = s.timeAt(last);
    const qint64 start = end - rule.windowMs;
    if (s.timeAt(0) > start)
        return Verdict::TooFewReadings;
    double low = qInf(), high = -qInf();
    for (int i = last; i >= 0; --i) {
        const qint64 t = s.timeAt(i);
        if (i > 0 && t > start && t - s.timeAt(i - 1) > rule.windowMs / 2)
            return Verdict::TooFewReadings;
        if (t < start)
            break;
        low = qMin(low, double(s.valueAt(i)));
        high = qMax(high, double(s.valueAt(i)));
    }
    return high - low <= rule.band + 1e-4 ? Verdict::Stable : Verdict::Unsettled;
}

} // namespace

class TrendHistoryTest : public QObject
{
    Q_OBJECT
private slots:
    void decimationKeepsExtremes_data();
    void decimationKeepsExtremes();
    void decimationExact_data();
    void decimationExact();

    void seriesKeepsOneDay();
    void seriesCapsFastFeeds();
    void seriesSearchAcrossTheRing();
    void seriesKeepsTimeOrder();
    void dayOfBothSeriesFitsTheBudget();

    void verdicts_data();
    void verdicts();
    void verdictFollowsPointByPoint_data();
    void verdictFollowsPointByPoint();
    void newSettingsJudgeTheHistoryAgain();

    void bandJudgesInTenths_data();
    void bandJudgesInTenths();
    void markersOnePerBucket_data();
    void markersOnePerBucket();
};

// ------------------------------------------------------------- decimation

void TrendHistoryTest::decimationKeepsExtremes_data()
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
void TrendHistoryTest::decimationKeepsExtremes()
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

void TrendHistoryTest::decimationExact_data()
{
    QTest::addColumn<Points>("points");
    QTest::addColumn<qint64>("fromMs");
    QTest::addColumn<qint64>("toMs");
    QTest::addColumn<int>("buckets");
    QTest::addColumn<Points>("expected");

    // The high comes before the low in time: it must be drawn first.
    QTest::newRow("max before min") << Points{{0, 0},    {1000, 5}, {2000, 1}, {3000, 1},
                                              {4000, 2}, {5000, 9}, {6000, 2}, {7000, 3}}
                                    << qint64(0) << qint64(8000) << 2
                                    << Points{{0, 0}, {1000, 5}, {4000, 2}, {5000, 9}, {7000, 3}};
    QTest::newRow("min before max")
        << Points{{0, 4}, {1000, 1}, {2000, 7}, {3000, 4}} << qint64(0) << qint64(4000) << 1
        << Points{{0, 4}, {1000, 1}, {2000, 7}, {3000, 4}};
    QTest::newRow("flat bucket keeps its first point once")
        << Points{{0, 3}, {1000, 3}, {2000, 3}, {3000, 3}} << qint64(0) << qint64(4000) << 1
        << Points{{0, 3}, {3000, 3}};
    // The window passes one point beyond each edge; they sit in the edge
    // buckets and are kept as the first and last.
    QTest::newRow("neighbours outside the range")
        << Points{{-5000, 8}, {1000, 1}, {2000, 2}, {9000, 0}, {15000, 6}} << qint64(0)
        << qint64(10000) << 2 << Points{{-5000, 8}, {1000, 1}, {9000, 0}, {15000, 6}};
}

void TrendHistoryTest::decimationExact()
{
    QFETCH(Points, points);
    QFETCH(qint64, fromMs);
    QFETCH(qint64, toMs);
    QFETCH(int, buckets);
    QFETCH(Points, expected);
    const TrendSeries s = seriesOf(points);
    Points out = decimate(s, 0, s.size(), kT0 + fromMs, kT0 + toMs, buckets);
    for (QPointF &p : out)
        p.rx() -= double(kT0);
    QCOMPARE(out, expected);
}

// ----------------------------------------------------------------- series

void TrendHistoryTest::seriesKeepsOneDay()
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

void TrendHistoryTest::seriesCapsFastFeeds()
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
void TrendHistoryTest::seriesSearchAcrossTheRing()
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

void TrendHistoryTest::seriesKeepsTimeOrder()
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

void TrendHistoryTest::dayOfBothSeriesFitsTheBudget()
{
    TrendHistory h;
    for (int t = 0; t < 24 * 3600; ++t) {
        h.append(Quantity::Temperature, kT0 + t * 1000LL, 25.0);
        h.append(Quantity::Humidity, kT0 + t * 1000LL + 300, 50.0);
    }
    QCOMPARE(h.series(Quantity::Temperature).size(), 24 * 3600);
    QVERIFY2(h.memoryBytes() <= 20u * 1024 * 1024, qPrintable(QString::number(h.memoryBytes())));
    QCOMPARE(h.oldestMs(), kT0);
    QCOMPARE(h.newestMs(), kT0 + (24 * 3600 - 1) * 1000LL + 300);
}

// --------------------------------------------------------------- verdicts

void TrendHistoryTest::verdicts_data()
{
    QTest::addColumn<Points>("readings");
    QTest::addColumn<int>("windowSeconds");
    QTest::addColumn<double>("band");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<int>("stableSinceSeconds"); // -1: not stable

    const auto level = [](double v) {
        return [v](int) {
            return v;
        };
    };
    const int stable = int(Verdict::Stable), unsettled = int(Verdict::Unsettled),
              tooFew = int(Verdict::TooFewReadings);

    // A step from 20 to 25 at 100 s: the window holds only 25 from 160 s on.
    QTest::newRow("step, settled")
        << everySecond(0, 99, level(20)) + everySecond(100, 300, level(25)) << 60 << 0.2 << stable
        << 160;
    QTest::newRow("step, still in the window")
        << everySecond(0, 99, level(20)) + everySecond(100, 159, level(25)) << 60 << 0.2
        << unsettled << -1;
    // Rounded to tenths, the curve first holds at 205 s, slips once more at
    // 211 s and holds for good from 220 s: the time counts from there.
    QTest::newRow("settling curve") << everySecond(0, 600, [](int t) {
        return std::round((25.0 - 5.0 * std::exp(-t / 60.0)) * 10) / 10;
    }) << 60 << 0.2 << stable << 220;
    QTest::newRow("slow drift, 0.3 a minute")
        << everySecond(0, 600, [](int t) { return std::round(200 + t * 0.05) / 10; }) << 60 << 0.2
        << unsettled << -1;
    QTest::newRow("slow drift, 0.1 a minute")
        << everySecond(0, 600, [](int t) { return std::round(200 + t / 60.0) / 10; }) << 60 << 0.2
        << stable << 60;
    // 25.0 ... 25.2: a span of exactly the band counts as stable.
    QTest::newRow("noise as wide as the band")
        << everySecond(0, 300, [](int t) { return 25.0 + (t * 37 % 3) / 10.0; }) << 60 << 0.2
        << stable << 60;
    QTest::newRow("noise a tenth wider than the band")
        << everySecond(0, 300, [](int t) { return 25.0 + (t * 37 % 4) / 10.0; }) << 60 << 0.2
        << unsettled << -1;
    QTest::newRow("humidity noise inside 1.0")
        << everySecond(0, 300, [](int t) { return 50.0 + (t * 13 % 11) / 10.0; }) << 60 << 1.0
        << stable << 60;
    QTest::newRow("single spike, in the window")
        << everySecond(0, 149, level(25)) + Points{{150e3, 27}} + everySecond(151, 200, level(25))
        << 60 << 0.2 << unsettled << -1;
    // Stable from 60 s, broken by the spike at 150 s, stable again once it
    // has left the window.
    QTest::newRow("single spike, gone again")
        << everySecond(0, 149, level(25)) + Points{{150e3, 27}} + everySecond(151, 300, level(25))
        << 60 << 0.2 << stable << 211;
    QTest::newRow("too few: one reading") << Points{{0, 25}} << 60 << 0.2 << tooFew << -1;
    QTest::newRow("too few: watched for less than the window")
        << everySecond(0, 59, level(25)) << 60 << 0.2 << tooFew << -1;
    QTest::newRow("exactly one window watched")
        << everySecond(0, 60, level(25)) << 60 << 0.2 << stable << 60;
    QTest::newRow("too few: polled every 31 s")
        << Points{{0, 25}, {31e3, 25}, {62e3, 25}, {93e3, 25}, {124e3, 25}} << 60 << 0.2 << tooFew
        << -1;
    QTest::newRow("polled every 30 s")
        << Points{{0, 25}, {30e3, 25}, {60e3, 25}, {90e3, 25}} << 60 << 0.2 << stable << 60;
    QTest::newRow("too few: polling paused, resumed 30 s ago")
        << everySecond(0, 100, level(25)) + everySecond(1000, 1030, level(25)) << 60 << 0.2
        << tooFew << -1;
    QTest::newRow("polling paused, resumed a window ago")
        << everySecond(0, 100, level(25)) + everySecond(1000, 1070, level(25)) << 60 << 0.2
        << stable << 1060;
    QTest::newRow("short window") << everySecond(0, 99, level(20)) +
                                         everySecond(100, 130, level(25))
                                  << 10 << 0.2 << stable << 110;
    QTest::newRow("band of zero, constant")
        << everySecond(0, 90, level(-5.5)) << 60 << 0.0 << stable << 60;
}

void TrendHistoryTest::verdicts()
{
    QFETCH(Points, readings);
    QFETCH(int, windowSeconds);
    QFETCH(double, band);
    QFETCH(int, verdict);
    QFETCH(int, stableSinceSeconds);

    TrendHistory h;
    StabilitySettings settings;
    settings.windowSeconds = windowSeconds;
    settings.temperatureBand = band;
    h.setSettings(settings);
    for (const QPointF &p : readings)
        h.append(Quantity::Temperature, kT0 + qint64(p.x()), p.y());

    const Stability &s = h.stability(Quantity::Temperature);
    QCOMPARE(int(s.verdict), verdict);
    QCOMPARE(s.atMs, kT0 + qint64(readings.last().x()));
    if (stableSinceSeconds >= 0) {
        QCOMPARE(s.stableSinceMs, kT0 + stableSinceSeconds * 1000LL);
        QCOMPARE(s.stableForMs(), qint64(readings.last().x()) - stableSinceSeconds * 1000LL);
    } else {
        QCOMPARE(s.stableForMs(), qint64(0));
    }
    // The other quantity has seen nothing.
    QCOMPARE(int(h.stability(Quantity::Humidity).verdict), int(Verdict::TooFewReadings));
}

void TrendHistoryTest::verdictFollowsPointByPoint_data()
{
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<int>("windowSeconds");
    QTest::addColumn<double>("band");
    QTest::newRow("seed 1, 60 s") << 1u << 60 << 0.2;
    QTest::newRow("seed 2, 60 s") << 2u << 60 << 0.2;
    QTest::newRow("seed 3, 10 s") << 3u << 10 << 0.2;
    QTest::newRow("seed 4, 300 s") << 4u << 300 << 0.5;
}

// Random walks with random pauses, past the day's end so points fall out:
// after every append the verdict and its start agree with the slow one.
void TrendHistoryTest::verdictFollowsPointByPoint()
{
    QFETCH(unsigned, seed);
    QFETCH(int, windowSeconds);
    QFETCH(double, band);
    std::mt19937 random(seed);
    TrendHistory h;
    StabilitySettings settings;
    settings.windowSeconds = windowSeconds;
    settings.temperatureBand = band;
    h.setSettings(settings);
    const StabilityRule rule = settings.rule(Quantity::Temperature);

    qint64 t = kT0;
    int tenths = 250;
    qint64 since = -1;
    int seen[3] = {0, 0, 0};
    for (int i = 0; i < 30000; ++i) {
        const unsigned r = random() % 1000;
        t += r < 3 ? 1000LL * (windowSeconds + int(random() % 600)) : 1000 + 3000LL * (r % 2);
        if (r < 20)
            tenths += int(random() % 9) - 4;
        else if (r < 200)
            tenths += int(random() % 3) - 1;
        if (i == 15000)
            t += 24LL * 3600 * 1000 - 600000; // most of the day falls out
        h.append(Quantity::Temperature, t, tenths / 10.0);

        const TrendSeries &s = h.series(Quantity::Temperature);
        const Verdict slow = slowVerdict(s, s.size() - 1, rule);
        if (slow == Verdict::Stable && since < 0)
            since = t;
        if (slow != Verdict::Stable)
            since = -1;
        const Stability &fast = h.stability(Quantity::Temperature);
        QCOMPARE(int(fast.verdict), int(slow));
        if (slow == Verdict::Stable)
            QCOMPARE(fast.stableSinceMs, since);
        ++seen[int(slow)];
    }
    // The walk must have met every verdict, or it proved little.
    for (int n : seen)
        QVERIFY2(n > 100,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(seen[0]).arg(seen[1]).arg(seen[2])));
}

void TrendHistoryTest::newSettingsJudgeTheHistoryAgain()
{
    TrendHistory h;
    // Settles at 100 s: 50.0 and 50.1 in turn from then on.
    for (int t = 0; t <= 400; ++t)
        h.append(Quantity::Humidity, kT0 + t * 1000LL, t < 100 ? 40.0 : 50.0 + t % 2 / 10.0);
    const quint64 before = h.revision();
    QCOMPARE(h.stability(Quantity::Humidity).stableSinceMs, kT0 + 160 * 1000LL);

    StabilitySettings s = h.settings();
    s.windowSeconds = 120;
    h.setSettings(s);
    QVERIFY(h.revision() != before);
    QCOMPARE(h.stability(Quantity::Humidity).stableSinceMs, kT0 + 220 * 1000LL);

    s.humidityBand = 0.0;
    h.setSettings(s);
    QCOMPARE(int(h.stability(Quantity::Humidity).verdict), int(Verdict::Unsettled));

    s = StabilitySettings{};
    h.setSettings(s);
    QCOMPARE(h.stability(Quantity::Humidity).stableSinceMs, kT0 + 160 * 1000LL);
    QCOMPARE(h.stability(Quantity::Humidity).stableForMs(), 240 * 1000LL);
}

// ------------------------------------------------------------------- band

void TrendHistoryTest::bandJudgesInTenths_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<double>("reference");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<float>("value");
    QTest::addColumn<bool>("marked");

    QTest::newRow("inside") << true << 25.0 << 0.3 << 25.2f << false;
    QTest::newRow("at the edge above fails") << true << 25.0 << 0.3 << 25.3f << true;
    QTest::newRow("at the edge below fails") << true << 25.0 << 0.3 << 24.7f << true;
    QTest::newRow("far outside") << true << 25.0 << 0.3 << 30.0f << true;
    QTest::newRow("below zero, at the edge") << true << 0.0 << 0.5 << -0.5f << true;
    QTest::newRow("below zero, inside") << true << -10.0 << 0.5 << -10.4f << false;
    QTest::newRow("tolerance zero fails all") << true << 50.0 << 0.0 << 50.0f << true;
    QTest::newRow("check off marks nothing") << false << 25.0 << 0.3 << 99.0f << false;
}

void TrendHistoryTest::bandJudgesInTenths()
{
    QFETCH(bool, enabled);
    QFETCH(double, reference);
    QFETCH(double, tolerance);
    QFETCH(float, value);
    QFETCH(bool, marked);
    // Values come out of the series as floats, as the chart reads them.
    TrendSeries s;
    s.append(kT0, double(value));
    const Band band{enabled, reference, tolerance};
    QCOMPARE(band.marks(double(s.valueAt(0))), marked);
}

void TrendHistoryTest::markersOnePerBucket_data()
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

void TrendHistoryTest::markersOnePerBucket()
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

QTEST_APPLESS_MAIN(TrendHistoryTest)
#include "tst_trend_history.moc"
