// The stability verdict and the qualification band's judgement.
#include <QtTest>
#include <random>

#include "TrendTestData.h"
#include "trend/Band.h"
#include "trend/TrendHistory.h"

using namespace movra::trend;
using namespace trendtest;

namespace {

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

class TrendStabilityTest : public QObject
{
    Q_OBJECT
private slots:
    void verdicts_data();
    void verdicts();
    void verdictFollowsPointByPoint_data();
    void verdictFollowsPointByPoint();
    void newSettingsJudgeTheHistoryAgain();

    void bandJudgesInTenths_data();
    void bandJudgesInTenths();
};

// --------------------------------------------------------------- verdicts

void TrendStabilityTest::verdicts_data()
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

void TrendStabilityTest::verdicts()
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

void TrendStabilityTest::verdictFollowsPointByPoint_data()
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
void TrendStabilityTest::verdictFollowsPointByPoint()
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

void TrendStabilityTest::newSettingsJudgeTheHistoryAgain()
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

void TrendStabilityTest::bandJudgesInTenths_data()
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

void TrendStabilityTest::bandJudgesInTenths()
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

QTEST_APPLESS_MAIN(TrendStabilityTest)
#include "tst_trend_stability.moc"
