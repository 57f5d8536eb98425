// The README's end-of-line example, scripts/eol-example, run with sh
// against the simulator: it finds the unit, sets it up, calibrates and
// checks it, or says that no unit answers.

#include <QtTest>

#include "CliRig.h"
#include "Faults.h"
#include "Pty.h"

using clitest::Rig;
using clitest::Run;

class TestCliScript : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void readmeShowsTheScript();
    void testsAUnit_data();
    void testsAUnit();
};

namespace {
QString sourceFile(const char *path)
{
    QFile f(QStringLiteral(MOVRA_SOURCE_DIR "/") + QLatin1String(path));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
} // namespace

void TestCliScript::init()
{
    if (!movratest::PtyPair::isSupported())
        QSKIP("needs pseudo-terminals");
    if (QStandardPaths::findExecutable(QStringLiteral("sh")).isEmpty())
        QSKIP("needs sh");
}

void TestCliScript::readmeShowsTheScript()
{
    const QString readme = sourceFile("README.md");
    const int at = readme.indexOf(QStringLiteral("```sh\nset -e\n"));
    QVERIFY(at > readme.indexOf(QStringLiteral("## Scripting")));
    const int body = at + 6;
    const QString shown = readme.mid(body, readme.indexOf(QStringLiteral("```"), body) - body);
    QCOMPARE(shown.count(QLatin1Char('\n')), 10);
    const QString script = sourceFile("scripts/eol-example");
    QVERIFY(script.startsWith(QStringLiteral("#!/bin/sh\n")));
    QVERIFY2(script.endsWith(shown), qPrintable(shown));
}

void TestCliScript::testsAUnit_data()
{
    QTest::addColumn<int>("rawHumidity");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("last"); // the last line on stdout, or on stderr when failed

    // 24.8 reads 25.0 with a correction of 0.2, 44.0 reads 45.0 with 1.0.
    QTest::newRow("calibrated, then passes")
        << 440 << "" << 0 << "passed: SN-1 on PORT, 38400 Bd, station 12";
    // 30.0 would need 15.0: beyond the device's range, the script stops.
    QTest::newRow("humidity beyond the range of corrections")
        << 300 << "" << 1 << "movra: humidity correction 15.0 is outside -10.0..10.0";
    QTest::newRow("no unit on the line")
        << 440 << "silent" << 3 << "eol-example: no unit answers on PORT";
}

void TestCliScript::testsAUnit()
{
    QFETCH(int, rawHumidity);
    QFETCH(QString, fault);
    QFETCH(int, status);
    QFETCH(QString, last);

    Rig rig;
    rig.device().setFixedTemperature(248);
    rig.device().setFixedHumidity(quint16(rawHumidity));
    movrasim::Faults faults;
    faults.silent = fault == QLatin1String("silent");
    rig.device().setFaults(faults);
    QVERIFY(rig.startDevice(38400));
    const QString bin = QFileInfo(QStringLiteral(MOVRA_CLI)).absolutePath();
    rig.env.insert(QStringLiteral("PATH"),
                   bin + QLatin1Char(':') + rig.env.value(QStringLiteral("PATH")));
    const Run r = rig.runProgram(QStringLiteral("sh"),
                                 {QStringLiteral(MOVRA_SOURCE_DIR "/scripts/eol-example"),
                                  rig.port(), "12", "SN-1", "25.0", "45.0", "0"});
    QCOMPARE(r.status, status);
    last.replace(QStringLiteral("PORT"), rig.port());
    QCOMPARE(status == 0 ? r.outLines().value(r.outLines().size() - 1)
                         : r.errLines().value(r.errLines().size() - 1),
             last);
    if (faults.silent)
        return;
    QCOMPARE(rig.device().address(), quint8(12));
    QCOMPARE(rig.device().temperatureCorrection(), qint16(status == 0 ? 2 : 0));
    QCOMPARE(rig.device().humidityCorrection(), qint16(status == 0 ? 10 : 0));
    if (status == 0)
        QCOMPARE(r.outLines().filter(QStringLiteral("temperature 25.0 °C")).size(), 3);
}

QTEST_GUILESS_MAIN(TestCliScript)
#include "tst_cli_script.moc"
