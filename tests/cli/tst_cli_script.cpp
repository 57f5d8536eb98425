// The README's end-of-line example, scripts/eol-example, run with sh
// against the simulator: it finds the unit, sets it up and checks it.

#include <QtTest>

#include "CliRig.h"
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
    QCOMPARE(shown.count(QLatin1Char('\n')), 5);
    const QString script = sourceFile("scripts/eol-example");
    QVERIFY(script.startsWith(QStringLiteral("#!/bin/sh\n")));
    QVERIFY2(script.endsWith(shown), qPrintable(shown));
}

void TestCliScript::testsAUnit_data()
{
    QTest::addColumn<int>("rawHumidity");
    QTest::addColumn<int>("status");

    // 24.8 + 0.2 = 25.0 against 25.0 ± 0.5; 44.0 + 1.0 = 45.0 against 45 ± 2.
    QTest::newRow("passes once corrected") << 440 << 0;
    // 41.0 against 45 ± 2: the check fails and the script stops there.
    QTest::newRow("humidity out of tolerance") << 400 << 1;
}

void TestCliScript::testsAUnit()
{
    QFETCH(int, rawHumidity);
    QFETCH(int, status);

    Rig rig;
    rig.device().setFixedTemperature(248);
    rig.device().setFixedHumidity(quint16(rawHumidity));
    QVERIFY(rig.startDevice(38400));
    const QString bin = QFileInfo(QStringLiteral(MOVRA_CLI)).absolutePath();
    rig.env.insert(QStringLiteral("PATH"),
                   bin + QLatin1Char(':') + rig.env.value(QStringLiteral("PATH")));
    const Run r = rig.runProgram(QStringLiteral("sh"),
                                 {QStringLiteral(MOVRA_SOURCE_DIR "/scripts/eol-example"),
                                  rig.port(), "12", "0.2", "1.0", "25.0", "45.0"});
    QCOMPARE(r.status, status);
    // Set up either way; the verdict is the check's.
    QCOMPARE(rig.device().address(), quint8(12));
    QCOMPARE(rig.device().temperatureCorrection(), qint16(2));
    QCOMPARE(rig.device().humidityCorrection(), qint16(10));
    QCOMPARE(r.outLines().filter(QStringLiteral("temperature 25.0 °C")).size(), 3);
    if (status == 0)
        QCOMPARE(r.outLines().last(),
                 QStringLiteral("passed: %1, 38400 Bd, station 12").arg(rig.port()));
    else
        QCOMPARE(r.errLines(), QStringList{"movra: check failed at 3 of 3 readings"});
}

QTEST_GUILESS_MAIN(TestCliScript)
#include "tst_cli_script.moc"
