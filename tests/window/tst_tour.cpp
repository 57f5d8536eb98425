// The guided tour as a whole: the real window against the simulator, run as
// its own process, judged by what it leaves behind.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

namespace {

// Grabs of the main window.
const char *const kSteps[] = {
    "01-connect",   "02-manual-read", "03-periodic-reading", "04-batch-read", "05-batch-write",
    "06-read-back", "07-check-pass",  "08-check-fail",       "09-disconnect", "11-reconnect",
};
// Grabs of the tool's own windows: the records, and the trend as the
// temperature settles.
const char *const kWindowSteps[] = {
    "10-records-window",
    "12-trend-window",
    "13-settling",
    "14-settled",
};

QString tourBinary()
{
#ifdef MOVRA_TOUR_BINARY
    return QStringLiteral(MOVRA_TOUR_BINARY);
#else
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../movra-tour");
#endif
}

struct Run
{
    int exitCode = -1;
    QString output;
};

Run runTour(const QStringList &args, const QString &userConfig)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Where the operator's own settings would be; the tour must stay out.
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), userConfig);
    env.remove(QStringLiteral("MOVRA_EXTRA_PORTS"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(tourBinary(), args);
    Run run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        run.output = QStringLiteral("timed out\n") + QString::fromUtf8(process.readAll());
        return run;
    }
    run.output = QString::fromUtf8(process.readAll());
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

QString readLog(const QString &dir)
{
    QFile file(dir + QStringLiteral("/log.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

// A grab of an unpainted or hidden window comes out in one flat colour.
int distinctColours(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    }
    return colours.size();
}

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

class TestTour : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyStepAtTheFactoryRate();
    void theSettlingRunEndsStable();
    void scanFindsAnotherRateAndStation();
    void aSilentDeviceStopsTheTourAtConnect();

private:
    // The run at the factory rate, made once for the tests that judge it.
    const Run &factoryRun();
    QString factoryOut() const { return m_tmp.filePath(QStringLiteral("factory")); }
    QString userConfig() const { return m_tmp.filePath(QStringLiteral("user-config")); }

    QTemporaryDir m_tmp;
    std::optional<Run> m_factory;
};

const Run &TestTour::factoryRun()
{
    if (!m_factory)
        m_factory = runTour({QStringLiteral("--out"), factoryOut()}, userConfig());
    return *m_factory;
}

void TestTour::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY2(QFile::exists(tourBinary()), qPrintable(tourBinary()));
    QVERIFY(m_tmp.isValid());
}

void TestTour::everyStepAtTheFactoryRate()
{
    const QString out = factoryOut();
    const Run &run = factoryRun();
    QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    QCOMPARE(run.output.count(QStringLiteral("reached in")), 14);

    QImage connected;
    QImage disconnected;
    for (const char *step : kSteps) {
        const QString path = out + QLatin1Char('/') + QLatin1String(step) + QStringLiteral(".png");
        QImage image;
        QVERIFY2(image.load(path, "PNG"), qPrintable(path));
        // The window's smallest allowed size.
        QVERIFY2(image.width() >= 600 && image.height() >= 350, qPrintable(path));
        QVERIFY2(distinctColours(image) > 16, qPrintable(path));
        if (qstrcmp(step, "01-connect") == 0)
            connected = image;
        if (qstrcmp(step, "09-disconnect") == 0)
            disconnected = image;
    }
    QVERIFY(connected != disconnected);
    QImage previous;
    for (const char *step : kWindowSteps) {
        const QString path = out + QLatin1Char('/') + QLatin1String(step) + QStringLiteral(".png");
        QImage image;
        QVERIFY2(image.load(path, "PNG"), qPrintable(path));
        // Each window opens at 960 x 640 or more; a grab of the main window
        // would be smaller, one of a closed window empty.
        QVERIFY2(image.width() >= 900 && image.height() >= 580, qPrintable(path));
        QVERIFY2(image.width() <= 1600 && image.height() <= 1000, qPrintable(path));
        QVERIFY2(distinctColours(image) > 16, qPrintable(path));
        QVERIFY2(image != previous, qPrintable(path)); // the chart moved on
        previous = image;
    }

    const QString log = readLog(out);
    const QStringList expected = {
        u("设备连接成功,波特率为：9600"),
        u("正在手动读取温湿度值"),
        u("\t湿度:45.2 %\n"),
        u("\t温度:23.6 ℃\n"),
        u("批量读取参数开始"),
        u("设备地址为：1\n"),
        u("设备波特率为：9600\n"),
        u("设备温度修正为：0\n"),
        u("已发完批量读取命令"),
        u("正在写入设备的温度修正为：1.5℃"),
        u("00060050000fc80e\t00060050000fc80e"),
        u("正在写入设备的地址为：2"),
        u("批量参数写入完成"),
        u("设备地址为：2\n"),
        u("设备温度修正为：15\n"),
        u("\t温度:25.1 ℃\t误差：0.1 ℃小于0.5合格"),
        u("\t湿度:45.2 %\t误差：0.2 %小于1.0合格"),
        u("\t温度:25.1 ℃\t误差：1.1 ℃大于0.5不合格"),
        u("设备已经断开"),
    };
    int from = 0;
    for (const QString &line : expected) {
        // In this order: each step's lines follow the previous step's.
        const int at = log.indexOf(line, from);
        QVERIFY2(
            at >= 0,
            qPrintable(QStringLiteral("missing after offset %1: %2\n%3").arg(from).arg(line, log)));
        from = at + line.size();
    }
    QVERIFY2(log.count(u("\t温度:23.6 ℃\n")) >= 5, qPrintable(log)); // once by hand, 4 periodic

    QVERIFY2(!QFileInfo::exists(userConfig() + QStringLiteral("/MovraTestTool")),
             "the tour wrote into the operator's settings location");
}

// After the first session the tour reconnects and steps the simulated
// temperature from 20.0 to 25.0 ℃: the window reads it settle, judged
// against 25.0 ± 0.5, until the trend window calls it stable.
void TestTour::theSettlingRunEndsStable()
{
    const Run &run = factoryRun();
    QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    const QString &output = run.output;
    QVERIFY2(output.contains(u("tour:   verdict 温度: 稳定 (已稳定")), qPrintable(output));
    QVERIFY2(output.contains(u("tour:   unit: ")) && output.contains(u("合格 3 / 不合格 1")),
             qPrintable(output));

    const QString log = readLog(factoryOut());
    const int rerun = log.indexOf(u("设备连接成功,波特率为：9600"), log.indexOf(u("设备已经断开")));
    QVERIFY2(rerun > 0, qPrintable(log));
    // Every temperature the second session read, in order.
    QVector<double> read;
    const QRegularExpression line(u("\t温度:(-?\\d+\\.\\d) ℃\t误差："));
    auto it = line.globalMatch(log.mid(rerun));
    while (it.hasNext())
        read << it.next().captured(1).toDouble();
    QVERIFY2(read.size() >= 10, qPrintable(log.mid(rerun)));
    QCOMPARE(read.mid(0, 3), QVector<double>(3, 20.0)); // before the step
    QCOMPARE(read.constLast(), 25.0);
    bool onTheWay = false;
    for (int i = 1; i < read.size(); ++i) {
        QVERIFY2(read.at(i) >= read.at(i - 1), qPrintable(log.mid(rerun)));
        onTheWay = onTheWay || (read.at(i) > 20.0 && read.at(i) < 24.5);
    }
    QVERIFY2(onTheWay, "the temperature jumped instead of settling");
    QVERIFY2(log.contains(u("\t温度:20.0 ℃\t误差：5.0 ℃大于0.5不合格")), qPrintable(log));
    QVERIFY2(log.contains(u("\t温度:25.0 ℃\t误差：0.0 ℃小于0.5合格")), qPrintable(log));
}

void TestTour::scanFindsAnotherRateAndStation()
{
    const QString out = m_tmp.filePath(QStringLiteral("scan"));
    const Run run =
        runTour({QStringLiteral("--out"), out, QStringLiteral("--baud"), QStringLiteral("38400"),
                 QStringLiteral("--address"), QStringLiteral("7")},
                m_tmp.filePath(QStringLiteral("user-config")));
    QVERIFY2(run.exitCode == 0, qPrintable(run.output));

    const QString log = readLog(out);
    QVERIFY2(!log.contains(u("设备连接成功,波特率为：9600")), qPrintable(log));
    for (const QString &line :
         {u("设备连接成功,波特率为：38400"), u("设备地址为：7\n"), u("设备波特率为：38400\n"),
          u("正在写入设备的地址为：8"), u("设备地址为：8\n")})
        QVERIFY2(log.contains(line), qPrintable(line + QLatin1Char('\n') + log));
}

void TestTour::aSilentDeviceStopsTheTourAtConnect()
{
    const QString out = m_tmp.filePath(QStringLiteral("silent"));
    const Run run =
        runTour({QStringLiteral("--out"), out, QStringLiteral("--fault"), QStringLiteral("silent")},
                m_tmp.filePath(QStringLiteral("user-config")));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.output.contains(u("answered a message box: 手动连接超时")),
             qPrintable(run.output));
    QVERIFY2(run.output.contains(QStringLiteral("NOT reached")), qPrintable(run.output));

    QImage image;
    QVERIFY(image.load(out + QStringLiteral("/01-connect.png"), "PNG"));
    QVERIFY(!QFileInfo::exists(out + QStringLiteral("/02-manual-read.png")));
    const QString log = readLog(out);
    QVERIFY2(log.contains(u("手动连接超时")), qPrintable(log));
    QVERIFY2(!log.contains(u("设备连接成功")), qPrintable(log));
}

QTEST_GUILESS_MAIN(TestTour)
#include "tst_tour.moc"
