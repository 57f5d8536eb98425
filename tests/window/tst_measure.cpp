// What the window adds to measuring and to the batches: the labels and the
// time-stamped reading lines with their qualification, the periodic boxes
// and intervals, the batch's values and switches taken from the widgets,
// and the boxes that end a failed batch. The engine's own sequencing is
// tested in tests/engine.

#include <QSettings>
#include <QtTest>
#include <limits>
#include <memory>

#include "Bytes.h"
#include "TestSupport.h"
#include "WindowTestCase.h"

namespace {

using movra::Quantity;
using movratest::Dialogs;
using movratest::form;
using movratest::hex;
using movratest::logFor;
using movratest::logOf;
using movratest::makeWindow;
using movratest::withCrc;

QByteArray word(int value)
{
    QByteArray b;
    b.append(char((value >> 8) & 0xFF));
    b.append(char(value & 0xFF));
    return b;
}

// The window takes the reply of station 1 to a request of this code.
void measure(MovraTestTool &w, qint32 code, const QList<int> &registers)
{
    QByteArray body = hex("0103");
    body.append(char(registers.size() * 2));
    for (int r : registers)
        body += word(r);
    w.session().request(code);
    movratest::feed(w, withCrc(body));
    movratest::tick(w, 3);
}

void setChecked(QAbstractButton *box, bool on)
{
    if (box->isChecked() != on)
        box->click();
}

// A connected window whose engine gets what `device` answers to each frame
// it sends, as from a device on the line.
std::unique_ptr<MovraTestTool>
connectedWindow(std::function<QByteArray(const QByteArray &)> device = nullptr)
{
    auto w = makeWindow();
    if (!movratest::connectWithoutPort(*w))
        return nullptr;
    if (device) {
        movra::Session *s = &w->session();
        QObject::connect(s, &movra::Session::frameSent, s,
                         [s, device](qint32, const QByteArray &frame) {
                             const QByteArray answer = device(frame);
                             if (!answer.isEmpty())
                                 s->receive(answer);
                         });
    }
    form(*w).textEdit->clear();
    return w;
}

} // namespace

class TestMeasure : public movratest::WindowTestCase
{
    Q_OBJECT

private slots:
    void readingShown_data();
    void readingShown();
    void oneStampHumidityFirst();
    void qualificationLine_data();
    void qualificationLine();
    void periodicBoxes_data();
    void periodicBoxes();

    void batchReadFailedBox();
    void batchWriteFromWidgets();
    void batchWriteRejectedEcho();
    void batchStartSwitchesOffPeriodicBoxes_data();
    void batchStartSwitchesOffPeriodicBoxes();
};

void TestMeasure::readingShown_data()
{
    QTest::addColumn<int>("station");
    QTest::addColumn<int>("code");
    QTest::addColumn<QList<int>>("registers");
    QTest::addColumn<QString>("labelTemp");
    QTest::addColumn<QString>("labelHumi");
    QTest::addColumn<QStringList>("log");

    // Both labels start at "0", so a value left out is told from a shown one.
    QTest::newRow("humidity 1000") << 1 << 3 << QList<int>{1000} << "0"
                                   << "100.0" << QStringList{"湿度:100.0 %"};
    QTest::newRow("humidity 0") << 1 << 3 << QList<int>{0} << "0"
                                << "0.0" << QStringList{"湿度:0.0 %"};
    QTest::newRow("humidity 1001 left out") << 1 << 3 << QList<int>{1001} << "0"
                                            << "0" << QStringList();
    QTest::newRow("temperature -550") << 1 << 4 << QList<int>{-550} << "-55.0"
                                      << "0" << QStringList{"温度:-55.0 ℃"};
    QTest::newRow("temperature -5") << 1 << 4 << QList<int>{-5} << "-0.5"
                                    << "0" << QStringList{"温度:-0.5 ℃"};
    QTest::newRow("temperature -125") << 1 << 4 << QList<int>{-125} << "-12.5"
                                      << "0" << QStringList{"温度:-12.5 ℃"};
    QTest::newRow("both, humidity out of range") << 1 << 5 << QList<int>{1200, 231} << "23.1"
                                                 << "0" << QStringList{"温度:23.1 ℃"};
    QTest::newRow("another station") << 2 << 5 << QList<int>{600, 250} << "0"
                                     << "0" << QStringList();
    QTest::newRow("both, humidity first") << 1 << 5 << QList<int>{600, 250} << "25.0"
                                          << "60.0" << QStringList{"湿度:60.0 %", "温度:25.0 ℃"};
    QTest::newRow("both, temperature out of range") << 1 << 5 << QList<int>{455, 1200} << "0"
                                                    << "45.5" << QStringList{"湿度:45.5 %"};
}

void TestMeasure::readingShown()
{
    QFETCH(int, station);
    QFETCH(int, code);
    QFETCH(QList<int>, registers);
    QFETCH(QString, labelTemp);
    QFETCH(QString, labelHumi);
    QFETCH(QStringList, log);

    auto w = makeWindow();
    // Measurements go to the station the window's address box holds.
    form(*w).readAddress_1->setValue(station);
    measure(*w, code, registers);

    QCOMPARE(form(*w).label_Temp->text(), labelTemp);
    QCOMPARE(form(*w).label_Humidy->text(), labelHumi);
    QCOMPARE(logOf(*w), logFor(log));
}

void TestMeasure::oneStampHumidityFirst()
{
    auto w = makeWindow();
    w->session().setCheck(Quantity::Temperature, {true, 230, 5});
    w->session().setCheck(Quantity::Humidity, {true, 600, 5});

    measure(*w, movra::ReqReadBoth, {600, 231});

    const QStringList lines = movratest::logLines(*w);
    QCOMPARE(lines.size(), 4); // each passing line leaves an empty one
    const QString stamp = lines.at(0).section(QLatin1Char('\t'), 0, 0);
    QVERIFY(QDateTime::fromString(stamp, QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid());
    QCOMPARE(lines.at(0), stamp + QStringLiteral("\t湿度:60.0 %\t误差：0.0 %小于0.5合格"));
    QCOMPARE(lines.at(1), QString());
    QCOMPARE(lines.at(2), stamp + QStringLiteral("\t温度:23.1 ℃\t误差：0.1 ℃小于0.5合格"));
    QCOMPARE(lines.at(3), QString());
}

void TestMeasure::qualificationLine_data()
{
    QTest::addColumn<bool>("humidity");
    QTest::addColumn<bool>("checkOn");
    QTest::addColumn<qint64>("reference");
    QTest::addColumn<quint64>("tolerance");
    QTest::addColumn<int>("reading");
    QTest::addColumn<QString>("line");

    const qint64 i32min = std::numeric_limits<qint32>::min();
    const qint64 i32max = std::numeric_limits<qint32>::max();
    const quint64 u32max = std::numeric_limits<quint32>::max();

    QTest::newRow("25.3 vs 25.0 tol 0.5") << false << true << qint64(250) << quint64(5) << 253
                                          << "\t温度:25.3 ℃\t误差：0.3 ℃小于0.5合格\r\n";
    QTest::newRow("25.3 vs 25.0 tol 0.3, equal fails")
        << false << true << qint64(250) << quint64(3) << 253
        << "\t温度:25.3 ℃\t误差：0.3 ℃大于0.3不合格";
    QTest::newRow("temperature check off")
        << false << false << qint64(250) << quint64(5) << 253 << "\t温度:25.3 ℃";
    QTest::newRow("-12.3 vs -12.0 tol 0.5") << false << true << qint64(-120) << quint64(5) << -123
                                            << "\t温度:-12.3 ℃\t误差：0.3 ℃小于0.5合格\r\n";
    QTest::newRow("temperature tolerance 0") << false << true << qint64(250) << quint64(0) << 250
                                             << "\t温度:25.0 ℃\t误差：0.0 ℃大于0.0不合格";
    QTest::newRow("reference far below")
        << false << true << i32min << u32max << 1000
        << "\t温度:100.0 ℃\t误差：214748464.8 ℃小于429496729.5合格\r\n";
    QTest::newRow("reference far above") << false << true << i32max << quint64(0) << -550
                                         << "\t温度:-55.0 ℃\t误差：214748419.7 ℃大于0.0不合格";

    QTest::newRow("45.0 vs 50.0 tol 5.0") << true << true << qint64(500) << quint64(50) << 450
                                          << "\t湿度:45.0 %\t误差：5.0 %大于5.0不合格";
    QTest::newRow("50.1 vs 50.0 tol 0.5") << true << true << qint64(500) << quint64(5) << 501
                                          << "\t湿度:50.1 %\t误差：0.1 %小于0.5合格\r\n";
    QTest::newRow("humidity check off")
        << true << false << qint64(500) << quint64(50) << 450 << "\t湿度:45.0 %";
    QTest::newRow("humidity reference at its maximum")
        << true << true << qint64(65535) << quint64(65535) << 0
        << "\t湿度:0.0 %\t误差：6553.5 %大于6553.5不合格";
}

void TestMeasure::qualificationLine()
{
    QFETCH(bool, humidity);
    QFETCH(bool, checkOn);
    QFETCH(qint64, reference);
    QFETCH(quint64, tolerance);
    QFETCH(int, reading);
    QFETCH(QString, line);

    auto w = makeWindow();
    w->session().setCheck(humidity ? Quantity::Humidity : Quantity::Temperature,
                          {checkOn, reference, tolerance});
    measure(*w, humidity ? movra::ReqReadHumidity : movra::ReqReadTemperature, {reading});

    QCOMPARE(logOf(*w),
             QStringLiteral("T") + line.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

void TestMeasure::periodicBoxes_data()
{
    QTest::addColumn<bool>("tempBox");
    QTest::addColumn<bool>("humiBox");
    QTest::addColumn<int>("tempInterval");
    QTest::addColumn<int>("humiInterval");
    QTest::addColumn<QString>("codes");

    // One request code per second, "-" for none.
    QTest::newRow("temperature box") << true << false << 1 << 1 << "4 4";
    QTest::newRow("humidity box") << false << true << 1 << 1 << "3 3";
    QTest::newRow("both boxes") << true << true << 1 << 1 << "5 5";
    QTest::newRow("temperature interval") << true << true << 2 << 1 << "3 5";
    QTest::newRow("humidity interval") << true << true << 1 << 2 << "4 5";
}

void TestMeasure::periodicBoxes()
{
    QFETCH(bool, tempBox);
    QFETCH(bool, humiBox);
    QFETCH(int, tempInterval);
    QFETCH(int, humiInterval);
    QFETCH(QString, codes);

    auto w = connectedWindow();
    QVERIFY(w);
    auto &ui = form(*w);
    ui.readTempInterval->setValue(tempInterval);
    ui.readHumiInterval->setValue(humiInterval);
    setChecked(ui.checkBox_5, tempBox);
    setChecked(ui.checkBox_6, humiBox);
    QStringList sent;
    QObject::connect(&w->session(), &movra::Session::frameSent, &w->session(),
                     [&sent](qint32 code, const QByteArray &) { sent << QString::number(code); });

    movratest::tick(*w, 197); // seconds end at ticks 100 and 200
    QCOMPARE(sent.join(QLatin1Char(' ')), codes);
}

void TestMeasure::batchReadFailedBox()
{
    Dialogs dialogs;
    auto w = connectedWindow();
    QVERIFY(w);
    movratest::ModalRecord &box = dialogs.expect();
    form(*w).readButton->click();
    movratest::tick(*w, 556);
    QCOMPARE(dialogs.shown, 0);
    movratest::tick(*w);

    QVERIFY(box.seen);
    QCOMPARE(dialogs.shown, 1);
    QCOMPARE(box.title, QStringLiteral("批量读取参数失败"));
    QCOMPARE(box.text, QStringLiteral("批量参数读取失败数量为:5"));
    QVERIFY(logOf(*w).endsWith(QStringLiteral("T\t读取设备温湿度调换状态：失败(超时)\n"
                                              "T\t批量参数读取失败数量为:5")));
}

void TestMeasure::batchWriteFromWidgets()
{
    Dialogs dialogs;
    auto w = connectedWindow();
    QVERIFY(w);
    auto &ui = form(*w);
    setChecked(ui.checkBox_3, true); // temperature correction
    setChecked(ui.checkBox_4, true); // humidity correction
    setChecked(ui.checkBox_7, true); // order
    setChecked(ui.checkBox, true);   // station address
    setChecked(ui.checkBox_2, true); // baud rate
    ui.TempOffset_2->setValue(-5);
    ui.HumiOffset_2->setValue(12);
    ui.BraudRate_4->setCurrentIndex(1);
    ui.readAddress_3->setValue(5);
    ui.BraudRate_3->setCurrentIndex(6);
    QStringList frames;
    QObject::connect(&w->session(), &movra::Session::frameSent, &w->session(),
                     [&frames](qint32, const QByteArray &f) { frames << f.toHex(); });

    movratest::ModalRecord &box = dialogs.expect();
    ui.writeButton->click();
    movratest::tick(*w, 567);

    QCOMPARE(frames, (QStringList{
                         withCrc(hex("00060050FFFB")).toHex(), withCrc(hex("00060051000C")).toHex(),
                         withCrc(hex("000600520001")).toHex(), withCrc(hex("000601000005")).toHex(),
                         withCrc(hex("FDFDFD0700")).toHex()}));
    QVERIFY(logOf(*w).startsWith(logFor({QStringLiteral("批量写入参数开始"),
                                         QStringLiteral("正在写入设备的温度修正为：-0.5℃\r\n")})));
    QVERIFY(logOf(*w).contains(QStringLiteral("T\t正在写入设备的湿度修正为：1.2%\n")));
    QVERIFY(logOf(*w).contains(QStringLiteral("T\t正在写入温湿度对调为：湿度在前\n")));
    QVERIFY(logOf(*w).contains(QStringLiteral("T\t正在写入设备的波特率为：115200\n")));
    QVERIFY(box.seen);
    QCOMPARE(box.title, QStringLiteral("批量写入参数失败"));
    QCOMPARE(box.text, QStringLiteral("批量参数写入失败数量为:5"));

    // Cleared boxes are left out of the next batch.
    frames.clear();
    setChecked(ui.checkBox_3, false);
    setChecked(ui.checkBox_4, false);
    setChecked(ui.checkBox_7, false);
    setChecked(ui.checkBox_2, false);
    dialogs.expect();
    ui.writeButton->click();
    movratest::tick(*w, 200);
    QCOMPARE(frames, QStringList{withCrc(hex("000601000005")).toHex()});
}

void TestMeasure::batchWriteRejectedEcho()
{
    Dialogs dialogs;
    const QByteArray altered = withCrc(hex("000601000006"));
    auto w = connectedWindow([&](const QByteArray &) { return altered; });
    QVERIFY(w);
    auto &ui = form(*w);
    setChecked(ui.checkBox, true);
    ui.readAddress_3->setValue(5);

    movratest::ModalRecord &rejected = dialogs.expect();
    ui.writeButton->click();
    movratest::tick(*w, 40);
    QVERIFY(rejected.seen);
    QCOMPARE(rejected.title, QStringLiteral("命令写入失败"));
    QCOMPARE(rejected.text, QStringLiteral("1.检查设备与USB工具连接是否正确\r\n"));

    movratest::ModalRecord &summary = dialogs.expect();
    movratest::tick(*w, 100);
    QVERIFY(summary.seen);
    QCOMPARE(summary.title, QStringLiteral("批量写入参数失败"));
    QCOMPARE(summary.text, QStringLiteral("批量参数写入失败数量为:1"));
    QCOMPARE(dialogs.shown, 2);
    QCOMPARE(
        logOf(*w),
        logFor({QStringLiteral("批量写入参数开始"), QStringLiteral("正在写入设备的地址为：5\r\n"),
                "00060100000549e4\t" + QString::fromLatin1(altered.toHex()),
                QStringLiteral("写入失败"), QStringLiteral("写入设备地址：失败(超时)"),
                QStringLiteral("批量参数写入失败数量为:1")}));
}

void TestMeasure::batchStartSwitchesOffPeriodicBoxes_data()
{
    QTest::addColumn<bool>("write");

    QTest::newRow("read") << false;
    QTest::newRow("write") << true;
}

void TestMeasure::batchStartSwitchesOffPeriodicBoxes()
{
    QFETCH(bool, write);

    auto w = connectedWindow();
    QVERIFY(w);
    auto &ui = form(*w);
    ui.checkBox_5->click();
    ui.checkBox_6->click();
    QVERIFY(w->session().periodicReading(Quantity::Temperature));
    QVERIFY(w->session().periodicReading(Quantity::Humidity));

    (write ? ui.writeButton : ui.readButton)->click();

    QVERIFY(!ui.checkBox_5->isChecked());
    QVERIFY(!ui.checkBox_6->isChecked());
    QVERIFY(!w->session().periodicReading(Quantity::Temperature));
    QVERIFY(!w->session().periodicReading(Quantity::Humidity));
    // From code, not the operator: the stored choice stays.
    QSettings stored(movratest::settingsFile(), QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("enAutoReadTempFlag")).toInt(), 1);
    QCOMPARE(stored.value(QStringLiteral("enAutoReadHumiFlag")).toInt(), 1);
}

QTEST_MAIN(TestMeasure)
#include "tst_measure.moc"
