// The calibration procedure against the simulated transmitter on a real
// serial port, ticked by the test: each way a unit can end, and the
// arithmetic of a new correction.
#include <QtTest>

#include "../engine/SimLine.h"
#include "Settling.h"
#include "calibrate/CalibrationRun.h"

using movra::Quantity;
using movra::calibrate::CalibrationRun;
using movra::calibrate::Outcome;

Q_DECLARE_METATYPE(movra::calibrate::Outcome)

class TestCalibration : public QObject
{
    Q_OBJECT

private slots:
    void proposeCorrection_data();
    void proposeCorrection();
    void procedure_data();
    void procedure();
};

void TestCalibration::proposeCorrection_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("reference");
    QTest::addColumn<QVector<int>>("readings");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("inRange");

    QTest::newRow("a half up, away from zero") << 0 << 250 << QVector<int>{237, 238} << 13 << true;
    QTest::newRow("a half down, away from zero")
        << 0 << 250 << QVector<int>{262, 263} << -13 << true;
    QTest::newRow("under a half") << 0 << 250 << QVector<int>{262, 262, 263} << -12 << true;
    QTest::newRow("onto a current correction")
        << -15 << 450 << QVector<int>{441, 442, 441, 442, 441} << -6 << true;
    QTest::newRow("below zero") << 5 << -100 << QVector<int>{-87, -88} << -8 << true;
    QTest::newRow("exactly at the limit") << 40 << 500 << QVector<int>{440} << 100 << true;
    QTest::newRow("a tenth beyond the limit") << 40 << 500 << QVector<int>{439} << 101 << false;
    QTest::newRow("beyond the negative limit") << -95 << 0 << QVector<int>{6} << -101 << false;
}

void TestCalibration::proposeCorrection()
{
    QFETCH(int, current);
    QFETCH(int, reference);
    QFETCH(QVector<int>, readings);
    QFETCH(int, expected);
    QFETCH(bool, inRange);
    qint64 sum = 0;
    for (int r : readings)
        sum += r;
    qint32 out = 0;
    QCOMPARE(movra::calibrate::proposeCorrection(current, reference, sum, readings.size(), &out),
             inRange);
    QCOMPARE(out, expected);
}

namespace {
// What the device does meanwhile, keyed by the row.
enum class Twist { None, Settles, Ramps, HoldsAnother, DriftsAfterWrite };
} // namespace
Q_DECLARE_METATYPE(Twist)

void TestCalibration::procedure_data()
{
    QTest::addColumn<int>("rawTemp");
    QTest::addColumn<int>("rawHumi");
    QTest::addColumn<Twist>("twist");
    QTest::addColumn<int>("settle");
    QTest::addColumn<bool>("dryRun");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("corrections"); // as held by the device afterwards

    QTest::newRow("steady") << 248 << 440 << Twist::None << 0 << false << Outcome::Passed << "2 10";
    QTest::newRow("dry run") << 248 << 440 << Twist::None << 0 << true << Outcome::DryRun << "0 0";
    // Still creeping up within the band while sampled: 249.4 on average.
    QTest::newRow("settling") << 200 << 440 << Twist::Settles << 10 << false << Outcome::Passed
                              << "1 10";
    QTest::newRow("never stable") << 200 << 440 << Twist::Ramps << 10 << false << Outcome::Unstable
                                  << "0 0";
    QTest::newRow("out of range") << 248 << 300 << Twist::None << 0 << false << Outcome::OutOfRange
                                  << "0 0";
    QTest::newRow("read-back differs")
        << 248 << 440 << Twist::HoldsAnother << 0 << false << Outcome::ReadBackDiffers << "3 10";
    QTest::newRow("verification fails")
        << 248 << 440 << Twist::DriftsAfterWrite << 0 << false << Outcome::VerifyFailed << "2 10";
}

void TestCalibration::procedure()
{
    QFETCH(int, rawTemp);
    QFETCH(int, rawHumi);
    QFETCH(Twist, twist);
    QFETCH(int, settle);
    QFETCH(bool, dryRun);
    QFETCH(Outcome, outcome);
    QFETCH(QString, corrections);

    enginetest::SimLine line(enginetest::SimLine::Serve::TickGrid);
    QVERIFY(line.start(9600));
    movrasim::DeviceModel &device = line.model();
    device.setFixedTemperature(qint16(rawTemp));
    device.setFixedHumidity(quint16(rawHumi));
    QVERIFY(line.connectAt(9600));
    movrasim::Settling change;
    change.from = rawTemp;
    change.to = twist == Twist::Ramps ? 400 : 250;
    change.timeMs = twist == Twist::Ramps ? 600000 : 8000;
    change.shape = twist == Twist::Ramps ? movrasim::Settling::Shape::Ramp
                                         : movrasim::Settling::Shape::FirstOrder;
    if (twist == Twist::Settles || twist == Twist::Ramps)
        device.settleTemperature(change);

    movra::calibrate::Plan plan;
    plan.targets = {{{true, 250, 2}, {true, 450, 10}}};
    plan.settleSeconds = settle;
    plan.maxWaitSeconds = 60;
    plan.dryRun = dryRun;
    CalibrationRun run(line.session, plan);
    QObject::connect(&line.session, &movra::Session::writeConfirmed, &run,
                     [&](qint32 code, qint32 value) {
                         if (code != movra::ReqWriteTempCorrection)
                             return;
                         if (twist == Twist::HoldsAnother)
                             device.setTemperatureCorrection(qint16(value + 1));
                         if (twist == Twist::DriftsAfterWrite)
                             device.setFixedTemperature(qint16(rawTemp + 3));
                     });
    const quint64 start = line.session.ticks();
    run.start();
    const int ticks = line.ticksUntil(
        [&] {
            run.tick();
            return run.phase() == CalibrationRun::Phase::Done;
        },
        9000);
    QVERIFY(ticks > 0);
    QVERIFY2(run.outcome() == outcome, qPrintable(run.failure()));
    QCOMPARE(QStringLiteral("%1 %2")
                 .arg(device.temperatureCorrection())
                 .arg(device.humidityCorrection()),
             corrections);
    const auto &t = run.result(Quantity::Temperature);
    QCOMPARE(t.written, outcome == Outcome::Passed || outcome == Outcome::ReadBackDiffers ||
                            outcome == Outcome::VerifyFailed);
    QCOMPARE(t.pass, outcome == Outcome::Passed);
    QCOMPARE(run.failure().isEmpty(), outcome == Outcome::Passed || outcome == Outcome::DryRun);
    if (outcome == Outcome::VerifyFailed)
        QCOMPARE(t.outside, plan.samples);
    if (twist != Twist::Settles)
        return;
    // Stable at the first reading whose last ten seconds span 0.2 or less,
    // and the wait ends there.
    int firstStable = -1;
    for (int i = settle; firstStable < 0; ++i) {
        int low = 10000, high = -10000;
        for (int k = i - settle; k <= i; ++k) {
            const int v = change.valueAt(qint64(k) * 1000 + qint64(start) * 10 % 1000);
            low = qMin(low, v);
            high = qMax(high, v);
        }
        if (high - low <= 2)
            firstStable = i;
    }
    QVERIFY2(qAbs(t.stableAfterMs - firstStable * 1000) <= 2000,
             qPrintable(QStringLiteral("stable after %1 ms, span met at %2 s")
                            .arg(t.stableAfterMs)
                            .arg(firstStable)));
}

QTEST_GUILESS_MAIN(TestCalibration)
#include "tst_calibration.moc"
