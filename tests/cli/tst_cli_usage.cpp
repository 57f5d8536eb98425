// What movra says before it touches a device: the contract it prints (the
// README's, word for word), bad input (status 2, one line naming the option
// and what it takes, nothing sent), the defaults it reads from the window's
// Setting.ini without changing it, and the port list.

#include <QtTest>

#include "CliRig.h"
#include "Pty.h"

using clitest::Rig;
using clitest::Run;

class TestCliUsage : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void helpIsTheReadmesContract();
    void badInput_data();
    void badInput();
    void badTestPasswordFromTheEnvironment();
    void noPortAnywhere();
    void defaultsFromSettingIni_data();
    void defaultsFromSettingIni();
    void portsListsTheExtraPorts_data();
    void portsListsTheExtraPorts();
};

namespace {
QString readmeBlockAfter(const QString &heading, const QString &fence)
{
    QFile f(QStringLiteral(MOVRA_SOURCE_DIR "/README.md"));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    const QString text = QString::fromUtf8(f.readAll());
    const int section = text.indexOf(heading);
    const int start = text.indexOf(fence, section);
    if (section < 0 || start < 0)
        return QString();
    const int body = start + fence.size();
    return text.mid(body, text.indexOf(QStringLiteral("\n```"), body) - body + 1);
}

void writeSettings(const Rig &rig, const QByteArray &ini)
{
    QDir().mkpath(rig.configDir() + QStringLiteral("/MovraTestTool"));
    QFile f(rig.configDir() + QStringLiteral("/MovraTestTool/Setting.ini"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(ini);
}
} // namespace

void TestCliUsage::init()
{
    if (!movratest::PtyPair::isSupported())
        QSKIP("needs pseudo-terminals");
}

void TestCliUsage::helpIsTheReadmesContract()
{
    Rig rig;
    const Run r = rig.run({QStringLiteral("--help")});
    QCOMPARE(r.status, 0);
    QVERIFY(r.err.isEmpty());
    const QString contract =
        readmeBlockAfter(QStringLiteral("## Scripting"), QStringLiteral("```\n"));
    QVERIFY(contract.startsWith(QStringLiteral("movra [options] COMMAND [arguments]\n")));
    QCOMPARE(r.out, contract);
    // Anywhere on the line, and before a bad option is looked at.
    QCOMPARE(rig.run({QStringLiteral("read"), QStringLiteral("--station"), QStringLiteral("0"),
                      QStringLiteral("-h")})
                 .out,
             contract);
}

void TestCliUsage::badInput_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("named"); // the option (or command) the line names
    QTest::addColumn<QString>("accepts");

    const auto row = [](const char *name, QStringList args, const char *named,
                        const char *accepts) {
        QTest::newRow(name) << args << QString::fromUtf8(named) << QString::fromUtf8(accepts);
    };
    row("no command", {}, "no command", "identify, read");
    row("unknown command", {"calibrat"}, "\"calibrat\"", "calibrate or records export");
    row("calibrate without a reference", {"calibrate", "--samples", "3"}, "calibrate",
        "--temp REF, --humi REF");
    row("calibrate: a check's REF:TOL", {"calibrate", "--temp", "25:0.5"}, "--temp",
        "-55.0 to 100.0");
    row("calibrate: settle under two intervals", {"calibrate", "--humi", "50", "--settle", "1"},
        "--settle", "twice the interval");
    row("an expired reference", {"check", "--temp", "25:1", "--reference-due", "2020-01-31"},
        "2020-01-31", "--allow-expired-reference");
    row("a due date that is no date", {"identify", "--reference-due", "31.01.2030"},
        "--reference-due", "YYYY-MM-DD");
    row("unknown option", {"identify", "--speed", "9600"}, "--speed", "movra --help");
    row("second command", {"identify", "read"}, "\"read\"", "movra --help");
    row("records without export", {"records"}, "records", "export");
    row("missing value, last", {"identify", "--station"}, "--station", "1-254");
    row("missing value, inline", {"--station=", "read"}, "--station", "1-254");
    row("switch with a value", {"--json=yes", "identify"}, "--json", "no value");
    row("station 0", {"--station", "0", "read"}, "--station", "1-254");
    row("station 255", {"read", "--station", "255"}, "--station", "1-254");
    row("station not a number", {"--station", "five", "read"}, "--station", "1-254");
    row("new station 0", {"write", "--new-station", "0"}, "--new-station", "1-254");
    row("new station 255", {"write", "--new-station=255"}, "--new-station", "1-254");
    row("unknown rate", {"--baud", "14400", "identify"}, "--baud", "19200");
    row("rate not a number", {"--baud", "fast", "identify"}, "--baud", "or auto");
    row("new rate auto", {"write", "--new-baud", "auto"}, "--new-baud", "115200");
    row("temperature offset beyond +10", {"write", "--temp-offset", "10.1"}, "--temp-offset",
        "-10.0 to 10.0");
    row("temperature offset beyond -10", {"write", "--temp-offset", "-10.5"}, "--temp-offset",
        "-10.0 to 10.0");
    row("humidity offset beyond", {"write", "--humi-offset", "11"}, "--humi-offset",
        "-10.0 to 10.0");
    row("offset not a number", {"write", "--humi-offset", "1,5"}, "--humi-offset", "-10.0 to 10.0");
    row("unknown order", {"write", "--order", "swapped"}, "--order", "temperature-first");
    row("nothing to write", {"write"}, "write", "--new-station");
    row("REF without TOL", {"check", "--temp", "25"}, "--temp", "REF:TOL");
    row("negative tolerance", {"check", "--temp", "25:-0.5"}, "--temp", "TOL 0 or more");
    row("REF not a number", {"check", "--temp", "warm:0.5"}, "--temp", "REF:TOL");
    row("REF not a number (nan)", {"check", "--temp", "nan:0.5"}, "--temp", "REF:TOL");
    row("three parts", {"check", "--temp", "25:0.5:1"}, "--temp", "REF:TOL");
    row("humidity negative tolerance", {"check", "--temp", "25:1", "--humi", "45:-1"}, "--humi",
        "TOL 0 or more");
    row("check without --temp", {"check", "--humi", "45:1"}, "--temp", "REF:TOL");
    row("count negative", {"read", "--count", "-1"}, "--count", "until interrupted");
    row("interval negative", {"read", "--interval", "-1"}, "--interval", "seconds");
    row("time-out 0", {"--timeout", "0", "identify"}, "--timeout", "milliseconds");
    row("option of another command", {"--count", "3", "write", "--order", "hardware"}, "--count",
        "read and check");
    row("date not a date", {"records", "export", "--since", "yesterday"}, "--since", "2024-05-01");
    row("unknown format", {"records", "export", "--format", "xml"}, "--format", "csv or json");
    row("one port twice", {"--port", "/dev/a", "--port", "/dev/a", "identify"}, "--port",
        "one port a unit");
    QStringList many{"identify"};
    for (int i = 0; i <= 32; ++i)
        many << "--port" << QStringLiteral("/dev/u%1").arg(i);
    row("33 ports", many, "--port", "at most 32");
}

void TestCliUsage::badInput()
{
    QFETCH(QStringList, args);
    QFETCH(QString, named);
    QFETCH(QString, accepts);

    Rig rig;
    QVERIFY(rig.startDevice());
    for (const bool json : {false, true}) {
        QStringList line{QStringLiteral("--port"), rig.port()};
        if (json)
            line << QStringLiteral("--json");
        const Run r = rig.run(line + args);
        QCOMPARE(r.status, 2);
        QCOMPARE(r.errLines().size(), 1);
        const QString error = r.errLines().first();
        QVERIFY2(error.startsWith(QStringLiteral("movra: ")), qPrintable(error));
        QVERIFY2(error.contains(named), qPrintable(error));
        QVERIFY2(error.contains(accepts), qPrintable(error));
        if (json) {
            const auto events = r.events();
            QCOMPARE(events.size(), 1);
            QCOMPARE(events[0].value("event").toString(), QStringLiteral("error"));
            QCOMPARE(events[0].value("code").toInt(), 2);
            QCOMPARE(QStringLiteral("movra: ") + events[0].value("message").toString(), error);
        } else {
            QVERIFY(r.out.isEmpty());
        }
    }
    QVERIFY2(rig.heard().isEmpty(), rig.heard().toHex().constData());
}

void TestCliUsage::badTestPasswordFromTheEnvironment()
{
    Rig rig;
    QVERIFY(rig.startDevice());
    rig.env.insert(QStringLiteral("MOVRA_TEST_PASSWORD"), QStringLiteral("letmein"));
    const Run r = rig.runOnDevice({QStringLiteral("identify")});
    QCOMPARE(r.status, 2);
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY(r.err.contains(QStringLiteral("MOVRA_TEST_PASSWORD")));
    // A secret is not repeated, right or wrong.
    QVERIFY(!r.err.contains(QStringLiteral("letmein")));
    const Run option = rig.runOnDevice(
        {QStringLiteral("--test-mode"), QStringLiteral("hunter2"), QStringLiteral("identify")});
    QCOMPARE(option.status, 2);
    QVERIFY(option.err.contains(QStringLiteral("--test-mode")));
    QVERIFY(!option.err.contains(QStringLiteral("hunter2")));
    QVERIFY(rig.heard().isEmpty());
}

void TestCliUsage::noPortAnywhere()
{
    Rig rig;
    const Run r = rig.run({QStringLiteral("identify")});
    QCOMPARE(r.status, 2);
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY2(r.err.contains(QStringLiteral("--port")), qPrintable(r.err));
    // Looking for the defaults made no folder.
    QVERIFY(!QFileInfo::exists(rig.configDir() + QStringLiteral("/MovraTestTool")));

    // A file the window cannot decode names no port either, and stays as it is.
    const QByteArray undecodable = "[General]\nlastComName=/dev/ttyMOVRA-none"
                                   "\nX=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n";
    writeSettings(rig, undecodable);
    QCOMPARE(rig.run({QStringLiteral("identify")}).status, 2);
    QFile f(rig.configDir() + QStringLiteral("/MovraTestTool/Setting.ini"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), undecodable);
}

void TestCliUsage::defaultsFromSettingIni_data()
{
    QTest::addColumn<QByteArray>("rateLine");
    QTest::addColumn<qint32>("rate");

    QTest::newRow("index 4: 38400") << QByteArray("lastBraudRateIndex=4\n") << 38400;
    QTest::newRow("index 0: 2400") << QByteArray("lastBraudRateIndex=0\n") << 2400;
    QTest::newRow("index 6: 115200") << QByteArray("lastBraudRateIndex=6\n") << 115200;
    QTest::newRow("none: 9600") << QByteArray() << 9600;
    QTest::newRow("out of the list: 9600") << QByteArray("lastBraudRateIndex=7\n") << 9600;
    QTest::newRow("not a number: 9600") << QByteArray("lastBraudRateIndex=fast\n") << 9600;
}

void TestCliUsage::defaultsFromSettingIni()
{
    QFETCH(QByteArray, rateLine);
    QFETCH(qint32, rate);

    Rig rig;
    QVERIFY(rig.startDevice(rate));
    const QByteArray ini =
        "[General]\nlastComName=" + rig.port().toUtf8() + "\n" + rateLine + "BaseTemp=250\n";
    writeSettings(rig, ini);
    const QString path = rig.configDir() + QStringLiteral("/MovraTestTool/Setting.ini");
    const QDateTime modified = QFileInfo(path).lastModified();

    const Run r = rig.run(
        {QStringLiteral("--json"), QStringLiteral("--no-records"), QStringLiteral("identify")});
    QCOMPARE(r.status, 0);
    const auto identified = r.events(QStringLiteral("identified"));
    QCOMPARE(identified.size(), 1);
    QCOMPARE(identified[0].value("port").toString(), rig.port());
    QCOMPARE(identified[0].value("baud").toInt(), rate);

    // Read, never written: same bytes, same time, nothing beside it.
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), ini);
    QCOMPARE(QFileInfo(path).lastModified(), modified);
    QCOMPARE(QDir(rig.configDir() + QStringLiteral("/MovraTestTool")).entryList(QDir::Files),
             QStringList{QStringLiteral("Setting.ini")});

    // An option wins over the file: the device does not answer at 9600
    // unless it is there.
    if (rate != 9600) {
        const Run other = rig.run({QStringLiteral("--baud"), QStringLiteral("9600"),
                                   QStringLiteral("--no-records"), QStringLiteral("--timeout"),
                                   QStringLiteral("50"), QStringLiteral("identify")});
        QCOMPARE(other.status, 3);
    }
}

void TestCliUsage::portsListsTheExtraPorts_data()
{
    QTest::addColumn<QString>("extra");
    QTest::newRow("colon") << QStringLiteral("/tmp/sim-a:/tmp/sim-b");
    // The Windows form, which an operator also writes on Linux.
    QTest::newRow("semicolon") << QStringLiteral("/tmp/sim-a;/tmp/sim-b;");
}

void TestCliUsage::portsListsTheExtraPorts()
{
    QFETCH(QString, extra);
    Rig rig;
    rig.env.insert(QStringLiteral("MOVRA_EXTRA_PORTS"), extra);
    const Run r = rig.run({QStringLiteral("ports"), QStringLiteral("--json")});
    QCOMPARE(r.status, 0);
    QVERIFY(r.err.isEmpty());
    const auto ports = r.events(QStringLiteral("port"));
    QCOMPARE(ports.size(), r.events().size());
    QVERIFY(ports.size() >= 2);
    const QStringList keys{"description", "event", "extra", "location", "manufacturer", "name"};
    for (const QJsonObject &p : ports)
        QCOMPARE(p.keys(), keys);
    // The system's own first, then the extra ones in their order.
    QCOMPARE(ports[ports.size() - 2].value("name").toString(), QStringLiteral("/tmp/sim-a"));
    QCOMPARE(ports.last().value("location").toString(), QStringLiteral("/tmp/sim-b"));
    QVERIFY(ports.last().value("extra").toBool());
    for (int i = 0; i < ports.size() - 2; ++i)
        QVERIFY(!ports[i].value("extra").toBool());

    const Run text = rig.run({QStringLiteral("ports")});
    QCOMPARE(text.status, 0);
    QCOMPARE(text.outLines().size(), ports.size());
    QVERIFY(text.outLines().last().startsWith(QStringLiteral("/tmp/sim-b\t/tmp/sim-b")));
}

QTEST_GUILESS_MAIN(TestCliUsage)
#include "tst_cli_usage.moc"
