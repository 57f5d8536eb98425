// A shift on the test bench, compressed: the window on a real QSerialPort
// against the in-process simulator, reading every second with both
// qualification checks on, and writing then reading the parameters every
// ten minutes. The tick is driven by the test, so an hour takes seconds.
//
// MOVRA_SOAK_HOURS sets the simulated length (default 2).

#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "Dialogs.h"
#include "Pty.h"
#include "Rig.h"
#include "SimulatorHost.h"
#include "TestSupport.h"
#include "link/Tenths.h"

using movratest::residentBytes;
using movratest::writesDone;

namespace {

const int kTicksPerSecond = 100;
const int kBatchEverySeconds = 600;
const qint16 kRawTemperature = 253;
const quint16 kRawHumidity = 455;
const qint32 kBaseTemp = 250;
const quint32 kToleranceTemp = 10;
const quint16 kBaseHumi = 450;
const quint16 kToleranceHumi = 20;

// Runs the event loop until done() holds, waking on the port's and the
// simulator's own events: a round trip costs what it costs, without fixed
// sleeps and without spinning against the kernel's pseudo-terminal work.
bool spinUntil(const std::function<bool()> &done, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    QTimer wake; // bounds each wait when no event comes
    wake.start(20);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// The expected check line after the time stamp.
QString checkLine(const QString &label, qint64 value, const QString &unit, qint64 base,
                  qint64 tolerance)
{
    const qint64 deviation = qAbs(value - base);
    const bool pass = deviation < tolerance;
    return label + movra::tenthsText(value) + QLatin1Char(' ') + unit + QStringLiteral("\t误差：") +
           movra::tenthsText(deviation) + QLatin1Char(' ') + unit +
           (pass ? QStringLiteral("小于") : QStringLiteral("大于")) + movra::tenthsText(tolerance) +
           (pass ? QStringLiteral("合格") : QStringLiteral("不合格"));
}

QString lastLineWith(MovraTestTool &w, const QString &label)
{
    QTextDocument *doc = movratest::form(w).textEdit->document();
    for (QTextBlock b = doc->lastBlock(); b.isValid(); b = b.previous()) {
        const int at = b.text().indexOf(label);
        if (at >= 0)
            return b.text().mid(at);
    }
    return QString();
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void shiftOnTheBench();

private:
    // One tick, then, if it wrote to the port, the round trip to the
    // simulator and back into the window's receive buffer.
    bool step();
    bool runBatches(int round);

    movrasim::SimulatorHost host;
    MovraTestTool *w = nullptr;
    qint64 hostIn = 0;
    qint64 hostOut = 0;
    qint64 windowOut = 0;
    int pendingTicks = 0;
    int longestPending = 0;
};

void TestSoak::initTestCase()
{
    movratest::useOwnSettingsFolder();
    if (!movratest::PtyPair::isSupported())
        QSKIP("no pseudo-terminals on this system");
    movratest::removeSettings();
}

void TestSoak::cleanupTestCase()
{
    movratest::removeSettings();
}

bool TestSoak::step()
{
    movratest::tick(*w);

    // Every request the tool has out is answered within its wait.
    pendingTicks = w->session().pendingRequest() != 0 ? pendingTicks + 1 : 0;
    longestPending = qMax(longestPending, pendingTicks);

    QSerialPort &port = w->session().port();
    if (port.bytesToWrite() == 0)
        return true;
    return spinUntil([&] { return writesDone(port) && hostIn >= windowOut; }) &&
           spinUntil([&] { return qint64(w->session().bytesReceived()) >= hostOut; });
}

bool TestSoak::runBatches(int round)
{
    auto &ui = movratest::form(*w);
    auto &model = host.model();
    // Values that differ from one round to the next, inside the device's limits.
    const int temperatureCorrection = (round % 21 - 10) * 7;
    const int humidityCorrection = (round % 13 - 6) * 9;
    const int order = round % 2; // both keep humidity in the first register
    ui.TempOffset_2->setValue(temperatureCorrection);
    ui.HumiOffset_2->setValue(humidityCorrection);
    ui.BraudRate_4->setCurrentIndex(order);

    ui.writeButton->click();
    for (int i = 0; i < 100 * kTicksPerSecond && w->session().batchWriteActive(); ++i) {
        if (!step())
            return false;
    }
    if (w->session().batchWriteActive())
        return false;
    ui.readButton->click();
    for (int i = 0; i < 100 * kTicksPerSecond && w->session().batchReadActive(); ++i) {
        if (!step())
            return false;
    }
    if (w->session().batchReadActive())
        return false;
    // Let the last reply be taken.
    for (int i = 0; i < 5; ++i) {
        if (!step())
            return false;
    }

    // Every setting reached the device and came back.
    if (model.temperatureCorrection() != temperatureCorrection ||
        model.humidityCorrection() != humidityCorrection || model.orderMode() != order) {
        qWarning("round %d: device holds %d, %d, %d", round, model.temperatureCorrection(),
                 model.humidityCorrection(), model.orderMode());
        return false;
    }
    if (ui.tempOffset_1->value() != temperatureCorrection ||
        ui.humiOffset_1->value() != humidityCorrection) {
        qWarning("round %d: read back %d, %d", round, ui.tempOffset_1->value(),
                 ui.humiOffset_1->value());
        return false;
    }
    const QStringList lines = movratest::logLines(*w);
    const QString recent = lines.mid(qMax(0, lines.size() - 40)).join(QLatin1Char('\n'));
    if (!recent.contains(QStringLiteral("批量参数写入完成")) ||
        !recent.contains(QStringLiteral("已发完批量读取命令")) ||
        recent.contains(QStringLiteral("失败"))) {
        qWarning("round %d: %s", round, qPrintable(recent));
        return false;
    }

    // The batches switch the periodic reading off; the operator ticks it again.
    ui.checkBox_5->click();
    ui.checkBox_6->click();
    return w->session().periodicReading(movra::Quantity::Temperature) &&
           w->session().periodicReading(movra::Quantity::Humidity);
}

void TestSoak::shiftOnTheBench()
{
    bool ok = false;
    double hours = qEnvironmentVariable("MOVRA_SOAK_HOURS").toDouble(&ok);
    if (!ok || hours <= 0)
        hours = 2;
    const int seconds = qMax(kBatchEverySeconds + 120, int(hours * 3600));
    // Memory is compared from the first hour on; a shorter run starts
    // after its first batch round, once the log is full.
    const int baselineAt = seconds >= 3 * 3600 / 2 ? 3600 : kBatchEverySeconds + 60;

    movratest::writeSettings({{"enCheckTempFlag", 1},
                              {"enCheckReadHumiFlag", 1},
                              {"BaseTemp", kBaseTemp},
                              {"BaseHumi", kBaseHumi},
                              {"CheckOffsetTemp", kToleranceTemp},
                              {"CheckOffsetHumi", kToleranceHumi},
                              {"RTempInterval", 1},
                              {"RHumiInterval", 1}});

    host.model().setFixedTemperature(kRawTemperature);
    host.model().setFixedHumidity(kRawHumidity);
    connect(&host, &movrasim::SimulatorHost::bytesReceived, this,
            [this](const QByteArray &b) { hostIn += b.size(); });
    connect(&host, &movrasim::SimulatorHost::bytesSent, this,
            [this](const QByteArray &b) { hostOut += b.size(); });
    const QString path = host.start();
    QVERIFY2(!path.isEmpty(), qPrintable(host.errorString()));

    WindowOptions options;
    options.extraPorts = QStringList{path};
    MovraTestTool window(options);
    w = &window;
    window.ticker().stop();
    movra::Session &session = window.session();
    connect(&session.port(), &QIODevice::bytesWritten, this, [this](qint64 n) { windowOut += n; });
    auto &ui = movratest::form(window);
    QVERIFY(session.check(movra::Quantity::Temperature).on &&
            session.check(movra::Quantity::Humidity).on);
    ui.SerialComNum->setCurrentIndex(ui.SerialComNum->findText(path));
    ui.BraudRate_1->setCurrentIndex(ui.BraudRate_1->findText(QStringLiteral("9600")));
    // Writes: corrections and order, never the address or the baud rate.
    if (ui.checkBox->isChecked())
        ui.checkBox->click();
    if (ui.checkBox_2->isChecked())
        ui.checkBox_2->click();
    ui.checkBox_3->click();
    ui.checkBox_4->click();
    ui.checkBox_7->click();
    using movra::Parameter;
    QVERIFY(!session.writeEnabled(Parameter::Address) &&
            !session.writeEnabled(Parameter::BaudRate));
    QVERIFY(session.writeEnabled(Parameter::TempCorrection) &&
            session.writeEnabled(Parameter::HumiCorrection) &&
            session.writeEnabled(Parameter::Order));
    // Which requests went out, by code: the boxes decide what is written.
    QHash<qint32, int> sent;
    connect(&session, &movra::Session::frameSent, this,
            [&sent](qint32 code, const QByteArray &) { ++sent[code]; });

    movratest::DialogLog dialogs;
    ui.connectButton->click();
    QVERIFY(spinUntil([&] { return writesDone(session.port()); }));
    for (int i = 0; i < 200 && session.linkState() != movra::LinkState::Connected; ++i)
        QVERIFY(step());
    QCOMPARE(session.linkState(), movra::LinkState::Connected);
    ui.checkBox_5->click();
    ui.checkBox_6->click();
    QVERIFY(session.periodicReading(movra::Quantity::Temperature) &&
            session.periodicReading(movra::Quantity::Humidity));

    QElapsedTimer clock;
    clock.start();
    qint64 rssStart = -1;
    qint64 rssBaseline = -1;
    qint64 rssHighest = -1;
    int longestLog = 0;
    int polls = 0;
    int rounds = 0;
    const QByteArray poll = QByteArray::fromHex("010300000002C40B");
    QByteArray carry;
    const QMetaObject::Connection counting =
        connect(&host, &movrasim::SimulatorHost::bytesReceived, this, [&](const QByteArray &b) {
            carry += b;
            polls += carry.count(poll);
            carry = carry.right(poll.size() - 1);
        });
    int expectedPolls = 0;

    for (int second = 1; second <= seconds; ++second) {
        for (int t = 0; t < kTicksPerSecond; ++t) {
            const bool reading = session.periodicReading(movra::Quantity::Temperature) &&
                                 session.periodicReading(movra::Quantity::Humidity);
            QVERIFY2(step(), qPrintable(QStringLiteral("stuck at %1 s").arg(second)));
            if (reading && session.ticks() % movra::timing::kSecondTicks == 0)
                ++expectedPolls;
        }
        if (second % kBatchEverySeconds == 0) {
            QVERIFY2(runBatches(++rounds), qPrintable(QStringLiteral("round %1").arg(rounds)));
        }
        longestLog = qMax(longestLog, ui.textEdit->document()->blockCount());
        if (second % 60 == 30) {
            // The latest reading is judged against the references.
            const qint64 temperature = kRawTemperature + host.model().temperatureCorrection();
            const qint64 humidity = kRawHumidity + host.model().humidityCorrection();
            QCOMPARE(lastLineWith(window, QStringLiteral("\t温度:")),
                     checkLine(QStringLiteral("\t温度:"), temperature, QStringLiteral("℃"),
                               kBaseTemp, kToleranceTemp));
            QCOMPARE(lastLineWith(window, QStringLiteral("\t湿度:")),
                     checkLine(QStringLiteral("\t湿度:"), humidity, QStringLiteral("%"), kBaseHumi,
                               kToleranceHumi));
            QCOMPARE(ui.label_Temp->text(), movra::tenthsText(temperature));
            QCOMPARE(ui.label_Humidy->text(), movra::tenthsText(humidity));
        }
        if (second % 60 == 0) {
            const qint64 rss = residentBytes();
            if (second == 60)
                rssStart = rss;
            if (second == baselineAt)
                rssBaseline = rss;
            if (second >= baselineAt)
                rssHighest = qMax(rssHighest, rss);
        }
    }
    const qint64 rssEnd = residentBytes();
    QVERIFY(QTest::qWaitFor([&] { return polls >= expectedPolls; }, 3000));
    disconnect(counting);
    qInfo("soak: %.2f simulated hours (%d s, %d batch rounds) in %lld ms", seconds / 3600.0,
          seconds, rounds, clock.elapsed());
    qInfo("soak: %d readings, longest wait for a reply %d ticks, log at most %d blocks", polls,
          longestPending, longestLog);

    QCOMPARE(dialogs.titles, QStringList());
    QCOMPARE(session.linkState(), movra::LinkState::Connected);
    // Every second sent one read of both values, batches or not.
    QCOMPARE(expectedPolls, seconds);
    QCOMPARE(polls, expectedPolls);
    QCOMPARE(sent.value(movra::ReqReadBoth), polls);
    // Each round wrote the corrections and the order once, and never the
    // station address or the baud rate.
    QCOMPARE(sent.value(movra::ReqWriteTempCorrection), rounds);
    QCOMPARE(sent.value(movra::ReqWriteHumiCorrection), rounds);
    QCOMPARE(sent.value(movra::ReqWriteOrder), rounds);
    QCOMPARE(sent.value(movra::ReqWriteAddress), 0);
    QCOMPARE(sent.value(movra::ReqWriteBaudRate), 0);
    // The log pane keeps the last thousand lines, no more.
    QCOMPARE(longestLog, 1000);
    QCOMPARE(ui.textEdit->document()->blockCount(), 1000);
    // Every request was settled by its reply within a few ticks: none was
    // left to a timeout or to being overwritten.
    QVERIFY2(longestPending <= 10, qPrintable(QString::number(longestPending)));

    if (rssBaseline > 0) {
        qInfo("soak: resident %lld KiB after 1 min, %lld KiB at %d s, highest after %lld KiB, "
              "%lld KiB at the end",
              rssStart / 1024, rssBaseline / 1024, baselineAt, rssHighest / 1024, rssEnd / 1024);
        QVERIFY2(rssHighest * 100 <= rssBaseline * 105,
                 qPrintable(QStringLiteral("%1 KiB against %2 KiB")
                                .arg(rssHighest / 1024)
                                .arg(rssBaseline / 1024)));
        QVERIFY(rssEnd * 100 <= rssBaseline * 105);
    } else {
        qInfo("soak: memory not measured in this build");
    }
    w = nullptr;
    host.stop();
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
