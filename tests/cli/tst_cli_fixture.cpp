// Several ports at once against a fixture of simulated units, each on its
// own pseudo-terminal: every unit ends with its own status, the others are
// not held up, and one summary closes the run.

#include <QJsonArray>
#include <QtTest>
#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

#include "CliRig.h"
#include "Pty.h"

using clitest::Rig;
using clitest::Run;

class TestCliFixture : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void eachUnitEndsOnItsOwn_data();
    void eachUnitEndsOnItsOwn();
    void serialsMustMatchThePorts();
    void oneRecordedUnitEachPort();
};

namespace {
constexpr int kUnits = 4;

// The units of a fixture, pinned at 25.0 °C and 45.0 %RH.
struct Fixture
{
    std::vector<std::unique_ptr<movrasim::SimulatorHost>> units;
    QStringList ports;
    QStringList serials;
    int heard = 0; // bytes any unit heard

    bool start()
    {
        for (int k = 1; k <= kUnits; ++k) {
            units.push_back(std::make_unique<movrasim::SimulatorHost>());
            units.back()->model().setFixedTemperature(250);
            units.back()->model().setFixedHumidity(450);
            QObject::connect(units.back().get(), &movrasim::SimulatorHost::bytesReceived,
                             [this](const QByteArray &bytes) { heard += bytes.size(); });
            serials << QStringLiteral("SN-%1").arg(k);
        }
        for (auto &unit : units)
            ports << unit->start();
        return !ports.contains(QString());
    }
    QStringList args(int serialCount = kUnits) const
    {
        QStringList a;
        for (int i = 0; i < ports.size(); ++i)
            a << "--port" << ports.at(i);
        for (int i = 0; i < serialCount; ++i)
            a << "--serial" << serials.value(i, QStringLiteral("SN-x"));
        return a;
    }
};

// The events of one kind from one port.
int countOf(const Run &r, const QString &port, const QString &event)
{
    const auto events = r.events(event);
    return int(std::count_if(events.begin(), events.end(), [&](const QJsonObject &e) {
        return e.value("port").toString() == port;
    }));
}

// Whether every port has printed a line with `what` and `port` (in which %1
// stands for the port's name).
bool allSaid(const QString &out, const QStringList &ports, const QString &what, const QString &port)
{
    const QStringList lines = out.split(QLatin1Char('\n')).filter(what);
    return std::all_of(ports.begin(), ports.end(), [&](const QString &name) {
        return !lines.filter(port.arg(name)).isEmpty();
    });
}

} // namespace

void TestCliFixture::init()
{
    if (!movratest::PtyPair::isSupported())
        QSKIP("needs pseudo-terminals");
}

void TestCliFixture::eachUnitEndsOnItsOwn_data()
{
    QTest::addColumn<int>("unit");        // the unit set apart, from 0
    QTest::addColumn<QString>("trouble"); // what it does
    QTest::addColumn<QList<int>>("statuses");
    QTest::addColumn<int>("checks"); // of each of the others; -1: one or more

    QTest::newRow("all pass") << 0 << "" << QList<int>{0, 0, 0, 0} << 6;
    QTest::newRow("one failing its check") << 1 << "warm" << QList<int>{0, 1, 0, 0} << 6;
    QTest::newRow("one silent") << 2 << "silent" << QList<int>{0, 0, 3, 0} << 6;
    QTest::newRow("one port lost mid-run") << 3 << "lost" << QList<int>{0, 0, 0, 4} << 6;
    QTest::newRow("Ctrl+C mid-run") << 0 << "interrupt" << QList<int>{130, 130, 130, 130} << -1;
}

void TestCliFixture::eachUnitEndsOnItsOwn()
{
    QFETCH(int, unit);
    QFETCH(QString, trouble);
    QFETCH(QList<int>, statuses);
    QFETCH(int, checks);
    Fixture fx;
    QVERIFY(fx.start());
    movrasim::Faults silent;
    silent.silent = true;
    if (trouble == QLatin1String("warm"))
        fx.units[size_t(unit)]->model().setFixedTemperature(300);
    if (trouble == QLatin1String("silent"))
        fx.units[size_t(unit)]->model().setFaults(silent);
    const QString troubled = fx.ports.at(unit);
    const bool interrupt = trouble == QLatin1String("interrupt");
    Rig rig;
    const QStringList check{
        "--json",  "--no-records",        "check",      "--temp", "25:0.5", "--humi", "45:1",
        "--count", interrupt ? "0" : "3", "--interval", "0.2"};
    const Run r = rig.run(fx.args() + check, [&](QProcess &p, const QString &out) {
        // After the first reading of the unit set apart (of every unit for
        // Ctrl+C), while the others go on.
        const QStringList lines = out.split(QLatin1Char('\n')).filter("\"reading\"");
        if (trouble == QLatin1String("lost") &&
            lines.filter(QStringLiteral("\"port\":\"%1\"").arg(troubled)).size() == 1)
            fx.units[size_t(unit)]->stop();
        if (interrupt && allSaid(out, fx.ports, R"({"event":"check")", R"("port":"%1")"))
            clitest::sendSignal(p, SIGINT);
    });

    QCOMPARE(r.status, *std::max_element(statuses.begin(), statuses.end()));
    const QVector<QJsonObject> events = r.events();
    for (const QJsonObject &e : events.mid(0, events.size() - 1)) {
        const int k = fx.ports.indexOf(e.value("port").toString());
        QVERIFY2(k >= 0, "every event names its port");
        QCOMPARE(e.value("serial").toString(), fx.serials.at(k));
    }
    for (int k = 0; k < kUnits; ++k) {
        const int n = countOf(r, fx.ports.at(k), "check");
        if (checks < 0)
            QVERIFY(n >= 2);
        else if (statuses.at(k) == 0)
            QCOMPARE(n, checks);
    }
    // The summary comes last, once.
    QCOMPARE(r.events("summary").size(), 1);
    const QJsonObject summary = events.last();
    QCOMPARE(summary.value("event").toString(), QStringLiteral("summary"));
    QCOMPARE(summary.keys(), (QStringList{"event", "failed", "passed", "results", "units"}));
    const int passed = int(statuses.count(0));
    QCOMPARE(summary.value("units").toInt(), kUnits);
    QCOMPARE(summary.value("passed").toInt(), passed);
    QCOMPARE(summary.value("failed").toInt(), kUnits - passed);
    const QJsonArray results = summary.value("results").toArray();
    QCOMPARE(results.size(), kUnits);
    for (int k = 0; k < kUnits; ++k) {
        const QJsonObject result = results.at(k).toObject();
        QCOMPARE(result.keys(), (QStringList{"port", "reason", "serial", "status"}));
        QCOMPARE(result.value("port").toString(), fx.ports.at(k));
        QCOMPARE(result.value("serial").toString(), fx.serials.at(k));
        QCOMPARE(result.value("status").toInt(), statuses.at(k));
        QCOMPARE(result.value("reason").toString().isEmpty(), statuses.at(k) == 0);
    }
}

void TestCliFixture::serialsMustMatchThePorts()
{
    Fixture fx;
    QVERIFY(fx.start());
    Rig rig;
    const Run r = rig.run(fx.args(kUnits - 1) + QStringList{"--no-records", "identify"});
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.startsWith(QStringLiteral("movra: --serial: 3 given for 4 ports")),
             qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    QCOMPARE(fx.heard, 0);
}

void TestCliFixture::oneRecordedUnitEachPort()
{
    Fixture fx;
    QVERIFY(fx.start());
    Rig rig;
    // Stopped by SIGTERM once every unit has a judged reading.
    const Run run = rig.run(
        fx.args() + QStringList{"check", "--temp", "25:0.5", "--count", "0", "--interval", "0.2"},
        [&](QProcess &p, const QString &out) {
            if (allSaid(out, fx.ports, QStringLiteral("temperature"), QStringLiteral("%1: ")))
                clitest::sendSignal(p, SIGTERM);
        });
    QCOMPARE(run.status, 143);
    QVERIFY2(run.out.endsWith(QStringLiteral("4 units: 0 passed, 4 failed\n")),
             qPrintable(run.out));
    const Run r = rig.run({"records", "export", "--format", "json"});
    QCOMPARE(r.status, 0);
    // Each port one unit: its attempt with the serial, its readings and its
    // end, under the one id.
    QMap<QString, QString> unitOfPort;
    QMap<QString, QStringList> kindsOfUnit;
    for (const QJsonObject &rec : r.events("record")) {
        const QString unit = rec.value("unit").toString();
        kindsOfUnit[unit] << rec.value("kind").toString();
        if (rec.value("kind").toString() == QLatin1String("disconnect"))
            QCOMPARE(rec.value("reason").toString(), QStringLiteral("interrupted"));
        if (rec.value("kind").toString() != QLatin1String("attempt"))
            continue;
        const int k = fx.ports.indexOf(rec.value("port").toString());
        QVERIFY(k >= 0 && !unitOfPort.contains(fx.ports.at(k)));
        unitOfPort[fx.ports.at(k)] = unit;
        QCOMPARE(rec.value("serial").toString(), fx.serials.at(k));
    }
    QCOMPARE(unitOfPort.size(), kUnits);
    for (const QString &unit : unitOfPort) {
        const QStringList kinds = kindsOfUnit.value(unit);
        QCOMPARE(kinds.first(), QStringLiteral("attempt"));
        QCOMPARE(kinds.last(), QStringLiteral("disconnect"));
        QVERIFY(kinds.count(QStringLiteral("reading")) == kinds.size() - 2 && kinds.size() > 2);
    }
}

QTEST_GUILESS_MAIN(TestCliFixture)
#include "tst_cli_fixture.moc"
