// The window talking to the simulated transmitter over a real QSerialPort on
// a pseudo-terminal: readings, periodic polling, batch read and write, the
// baud-rate change with its restart, the qualification lines, test mode and
// a device that misbehaves on the line.

#include <QDir>
#include <QStandardPaths>
#include <QtTest>

#include "Bytes.h"
#include "Pty.h"
#include "Rig.h"
#include "SimulatorHost.h"
#include "TestSupport.h"

using movrasim::Faults;

Q_DECLARE_METATYPE(movrasim::Faults)

namespace {

using movratest::hex;
using movratest::logLinesOf;
using movratest::Rig;
using movratest::withCrc;

QString line(const char *text)
{
    return QStringLiteral("T\t") + QString::fromUtf8(text);
}

// A measurement line: its stamp, then the text (which starts with a tab).
QString reading(const char *text)
{
    return QStringLiteral("T") + QString::fromUtf8(text);
}

} // namespace

class TestE2eDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void manualRead_data();
    void manualRead();
    void periodicReading_data();
    void periodicReading();
    void batchRead_data();
    void batchRead();
    void readParametersOnConnect();
    void batchReadResumesAfterReconnect();
    void batchWrite_data();
    void batchWrite();
    void baudRateWrite_data();
    void baudRateWrite();
    void qualification_data();
    void qualification();
    void testModeConnect_data();
    void testModeConnect();
    void batchReadAgainstFaults_data();
    void batchReadAgainstFaults();
    void splitReply_data();
    void splitReply();
    void halfDuplexEcho_data();
    void halfDuplexEcho();

private:
    // Outlives every test function: a box that comes after a failed check
    // must not be recorded into a dead stack frame.
    movratest::ModalRecord box;
};

void TestE2eDevice::initTestCase()
{
    movratest::useOwnSettingsFolder();
    if (!movratest::PtyPair::isSupported())
        QSKIP("no pseudo-terminals here");
}

void TestE2eDevice::init()
{
    box = movratest::ModalRecord();
    movratest::removeSettings();
}

void TestE2eDevice::cleanup()
{
    movratest::removeSettings();
}

void TestE2eDevice::manualRead_data()
{
    QTest::addColumn<int>("temperature");
    QTest::addColumn<int>("humidity");
    QTest::addColumn<int>("deviceStation");
    QTest::addColumn<int>("toolStation");
    QTest::addColumn<int>("stationWhileReplying"); // 0: left alone
    QTest::addColumn<QString>("labelTemp");
    QTest::addColumn<QString>("labelHumi");
    QTest::addColumn<QStringList>("readings");
    QTest::addColumn<int>("pendingAfter");

    QTest::newRow("room air") << 253 << 452 << 1 << 1 << 0 << "25.3"
                              << "45.2"
                              << QStringList{reading("\t湿度:45.2 %"), reading("\t温度:25.3 ℃")}
                              << 0;
    QTest::newRow("below zero, dry")
        << -123 << 0 << 1 << 1 << 0 << "-12.3"
        << "0.0" << QStringList{reading("\t湿度:0.0 %"), reading("\t温度:-12.3 ℃")} << 0;
    QTest::newRow("range limits") << -550 << 1000 << 1 << 1 << 0 << "-55.0"
                                  << "100.0"
                                  << QStringList{reading("\t湿度:100.0 %"),
                                                 reading("\t温度:-55.0 ℃")}
                                  << 0;
    QTest::newRow("temperature out of range")
        << 1001 << 300 << 1 << 1 << 0 << "0"
        << "30.0" << QStringList{reading("\t湿度:30.0 %")} << 0;
    QTest::newRow("station 9") << 231 << 555 << 9 << 9 << 0 << "23.1"
                               << "55.5"
                               << QStringList{reading("\t湿度:55.5 %"), reading("\t温度:23.1 ℃")}
                               << 0;
    // Nobody answers: the request stays pending, nothing is shown.
    QTest::newRow("device at another station") << 231 << 555 << 2 << 1 << 0 << "0"
                                               << "0" << QStringList() << 5;
    // The reply names station 1, the tool now reads station 2: dropped, but
    // the request is settled.
    QTest::newRow("station changed while the reply is under way")
        << 231 << 555 << 1 << 1 << 2 << "0"
        << "0" << QStringList() << 0;
}

void TestE2eDevice::manualRead()
{
    QFETCH(int, temperature);
    QFETCH(int, humidity);
    QFETCH(int, deviceStation);
    QFETCH(int, toolStation);
    QFETCH(int, stationWhileReplying);
    QFETCH(QString, labelTemp);
    QFETCH(QString, labelHumi);
    QFETCH(QStringList, readings);
    QFETCH(int, pendingAfter);

    Rig rig;
    QVERIFY(rig.start());
    rig.model().setFixedTemperature(qint16(temperature));
    rig.model().setFixedHumidity(quint16(humidity));
    rig.model().setAddress(quint8(deviceStation));
    QVERIFY(rig.connectAt(9600));
    auto &ui = rig.ui();
    ui.readAddress_1->setValue(toolStation);
    ui.textEdit->clear();

    const int heard = rig.hostIn.size();
    ui.manualReadButton->click();
    QVERIFY(rig.settle());
    if (stationWhileReplying != 0)
        ui.readAddress_1->setValue(stationWhileReplying);
    QVERIFY(rig.tick(3));

    QByteArray request(1, char(toolStation));
    request.append("\x03\x00\x00\x00\x02", 5);
    QCOMPARE(rig.hostIn.mid(heard).toHex(), withCrc(request).toHex());
    QCOMPARE(ui.label_Temp->text(), labelTemp);
    QCOMPARE(ui.label_Humidy->text(), labelHumi);
    QCOMPARE(logLinesOf(*rig.w), QStringList{line("正在手动读取温湿度值")} + readings);
    QCOMPARE(rig.session().pendingRequest(), pendingAfter);
    QVERIFY(rig.dialogs.titles.isEmpty());
}

void TestE2eDevice::periodicReading_data()
{
    QTest::addColumn<bool>("temperatureOn");
    QTest::addColumn<bool>("humidityOn");
    QTest::addColumn<int>("temperatureEvery");
    QTest::addColumn<int>("humidityEvery");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("requests"); // one letter per second, '-' for none
    QTest::addColumn<QString>("labelTemp");
    QTest::addColumn<QString>("labelHumi");

    // B both (code 5), T temperature (4), H humidity (3).
    QTest::newRow("both every second") << true << true << 1 << 1 << 4 << "BBBB"
                                       << "24.6"
                                       << "51.2";
    QTest::newRow("temperature every second") << true << false << 1 << 1 << 3 << "TTT"
                                              << "24.6"
                                              << "0";
    QTest::newRow("humidity every second") << false << true << 1 << 1 << 3 << "HHH"
                                           << "0"
                                           << "51.2";
    QTest::newRow("temperature every 3 s, humidity every 2 s")
        << true << true << 3 << 2 << 6 << "-HTH-B"
        << "24.6"
        << "51.2";
    QTest::newRow("neither") << false << false << 1 << 1 << 3 << "---"
                             << "0"
                             << "0";
}

void TestE2eDevice::periodicReading()
{
    QFETCH(bool, temperatureOn);
    QFETCH(bool, humidityOn);
    QFETCH(int, temperatureEvery);
    QFETCH(int, humidityEvery);
    QFETCH(int, seconds);
    QFETCH(QString, requests);
    QFETCH(QString, labelTemp);
    QFETCH(QString, labelHumi);

    Rig rig;
    QVERIFY(rig.start());
    rig.model().setFixedTemperature(246);
    rig.model().setFixedHumidity(512);
    QVERIFY(rig.connectAt(9600));
    auto &ui = rig.ui();
    ui.readTempInterval->setValue(temperatureEvery);
    ui.readHumiInterval->setValue(humidityEvery);
    if (temperatureOn)
        ui.checkBox_5->click();
    if (humidityOn)
        ui.checkBox_6->click();
    QCOMPARE(ui.checkBox_5->isChecked(), temperatureOn);
    QCOMPARE(ui.checkBox_6->isChecked(), humidityOn);

    // Which request the simulator heard in each second of ticks.
    const QHash<QString, QChar> kinds = {
        {QStringLiteral("010300000002C40B"), QLatin1Char('B')},
        {QStringLiteral("010300010001D5CA"), QLatin1Char('T')},
        {QStringLiteral("010300000001840A"), QLatin1Char('H')},
    };
    QString heard;
    for (int s = 0; s < seconds; ++s) {
        const int from = rig.hostIn.size();
        QVERIFY(rig.tick(100));
        const QStringList frames = rig.framesHeard(from);
        QVERIFY2(frames.size() <= 1, qPrintable(frames.join(QLatin1Char(' '))));
        heard +=
            frames.isEmpty() ? QLatin1Char('-') : kinds.value(frames.first(), QLatin1Char('?'));
    }
    QCOMPARE(heard, requests);
    QCOMPARE(ui.label_Temp->text(), labelTemp);
    QCOMPARE(ui.label_Humidy->text(), labelHumi);
    QVERIFY(rig.dialogs.titles.isEmpty());
}

void TestE2eDevice::batchRead_data()
{
    QTest::addColumn<int>("station");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("tempCorrection");
    QTest::addColumn<int>("humiCorrection");
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("orderText");

    QTest::newRow("station 3 at 38400") << 3 << 38400 << 12 << -7 << 1 << "湿度在前";
    QTest::newRow("station 254 at 2400") << 254 << 2400 << -100 << 100 << 2 << "温度在前";
    QTest::newRow("station 17 at 115200") << 17 << 115200 << 0 << 5 << 0 << "硬件决定";
}

void TestE2eDevice::batchRead()
{
    QFETCH(int, station);
    QFETCH(int, rate);
    QFETCH(int, tempCorrection);
    QFETCH(int, humiCorrection);
    QFETCH(int, order);
    QFETCH(QString, orderText);

    Rig rig;
    QVERIFY(rig.start(rate));
    rig.model().setAddress(quint8(station));
    rig.model().setTemperatureCorrection(qint16(tempCorrection));
    rig.model().setHumidityCorrection(qint16(humiCorrection));
    rig.model().setOrderMode(quint16(order));
    QVERIFY(rig.connectAt(rate));
    auto &ui = rig.ui();
    // The write side shows something else: the read-back must be the device's.
    ui.BraudRate_4->setCurrentIndex((order + 1) % 3);
    ui.textEdit->clear();

    const int from = rig.hostIn.size();
    ui.readButton->click();
    QVERIFY(rig.ticksUntil([&] { return !rig.session().batchReadActive(); }, 200) > 0);

    // Station address, baud rate (a 7-byte frame), corrections, order mode.
    const QByteArray expected = hex("0003010000018427") + hex("FDFDFD0000E988") +
                                hex("00030050000185CA") + hex("000300510001D40A") +
                                hex("000300520001240A");
    QCOMPARE(rig.hostIn.mid(from).toHex(), expected.toHex());

    QCOMPARE(ui.readAddress_2->value(), station);
    QCOMPARE(ui.readAddress_1->value(), station);
    QCOMPARE(int(rig.session().station()), station);
    QCOMPARE(ui.braudRate_2->itemText(0), QString::number(rate));
    QCOMPARE(ui.tempOffset_1->value(), tempCorrection);
    QCOMPARE(ui.humiOffset_1->value(), humiCorrection);
    QCOMPARE(ui.BraudRate_5->itemText(0), orderText);
    QCOMPARE(
        logLinesOf(*rig.w),
        QStringList({line("批量读取参数开始"), QStringLiteral("T\t设备地址为：%1").arg(station),
                     QString(), QStringLiteral("T\t设备波特率为：%1").arg(rate), QString(),
                     QStringLiteral("T\t设备温度修正为：%1").arg(tempCorrection), QString(),
                     QStringLiteral("T\t设备湿度修正为：%1").arg(humiCorrection), QString(),
                     QStringLiteral("T\t温湿度对调：") + orderText, QString(),
                     line("已发完批量读取命令"), QString()}));
    QVERIFY(rig.dialogs.titles.isEmpty());

    // Decoded by the order just read, the combined reading and a single one.
    rig.model().setFixedTemperature(231);
    rig.model().setFixedHumidity(455);
    ui.readAddress_1->setValue(station);
    const auto shown = [](int tenths) {
        return QString::number(tenths / 10.0, 'f', 1);
    };
    QVERIFY(rig.manualRead());
    QCOMPARE(ui.label_Temp->text(), shown(231 + tempCorrection));
    QCOMPARE(ui.label_Humidy->text(), shown(455 + humiCorrection));
    rig.model().setFixedTemperature(-42);
    ui.checkBox_5->click();
    QVERIFY(rig.tick(200));
    QCOMPARE(ui.label_Temp->text(), shown(-42 + tempCorrection));
    QCOMPARE(ui.label_Humidy->text(), shown(455 + humiCorrection));
}

void TestE2eDevice::readParametersOnConnect()
{
    Rig rig;
    QVERIFY(rig.start(4800));
    rig.model().setAddress(42);
    rig.model().setTemperatureCorrection(-3);
    rig.model().setHumidityCorrection(8);
    rig.model().setOrderMode(quint16(movra::OrderMode::TemperatureFirst));
    auto &ui = rig.ui();
    ui.checkBox_8->click();
    QVERIFY(rig.session().readParametersOnConnect());

    QVERIFY(rig.connectAt(4800));
    QVERIFY(rig.session().batchReadActive());
    QVERIFY(rig.ticksUntil([&] { return !rig.session().batchReadActive(); }, 200) > 0);

    QCOMPARE(ui.readAddress_2->value(), 42);
    QCOMPARE(int(rig.session().station()), 42);
    QCOMPARE(ui.braudRate_2->itemText(0), QStringLiteral("4800"));
    QCOMPARE(ui.tempOffset_1->value(), -3);
    QCOMPARE(ui.humiOffset_1->value(), 8);
    QCOMPARE(ui.BraudRate_5->itemText(0), QStringLiteral("温度在前"));
    const QStringList log = logLinesOf(*rig.w);
    QCOMPARE(log.mid(log.size() - 2), QStringList({line("已发完批量读取命令"), QString()}));
    QVERIFY(rig.dialogs.titles.isEmpty());
}

void TestE2eDevice::batchReadResumesAfterReconnect()
{
    Rig rig;
    QVERIFY(rig.start());
    rig.model().setAddress(6);
    rig.model().setTemperatureCorrection(21);
    rig.model().setHumidityCorrection(-4);
    QVERIFY(rig.connectAt(9600));
    auto &ui = rig.ui();

    QList<qint32> sent;
    QObject::connect(&rig.session(), &movra::Session::frameSent,
                     [&sent](qint32 code, const QByteArray &) { sent << code; });
    const int from = rig.hostIn.size();
    ui.readButton->click();
    // Station address and baud rate are in; the operator pulls the link.
    QVERIFY(rig.ticksUntil([&] { return sent.contains(movra::ReqReadBaudRate); }, 100) > 0);
    QVERIFY(rig.ticksUntil([&] { return rig.session().pendingRequest() == 0; }, 100) > 0);
    QCOMPARE(sent, QList<qint32>({movra::ReqReadAddress, movra::ReqReadBaudRate}));
    ui.disConnectButton->click();
    QVERIFY(rig.settle());
    QVERIFY(rig.tick(200));
    // The batch waits at the temperature correction, asking nothing.
    QCOMPARE(sent, QList<qint32>({movra::ReqReadAddress, movra::ReqReadBaudRate}));
    QVERIFY(rig.session().batchReadActive());
    QCOMPARE(ui.tempOffset_1->value(), 0);

    ui.textEdit->clear();
    QVERIFY(rig.connectAt(9600));
    QVERIFY(rig.ticksUntil([&] { return !rig.session().batchReadActive(); }, 200) > 0);

    QCOMPARE(ui.readAddress_2->value(), 6);
    QCOMPARE(ui.tempOffset_1->value(), 21);
    QCOMPARE(ui.humiOffset_1->value(), -4);
    QCOMPARE(ui.BraudRate_5->itemText(0), QStringLiteral("硬件决定"));
    // Each item went out once: the resumed batch starts where it stopped.
    QCOMPARE(rig.hostIn.mid(from).count(hex("0003010000018427")), 1);
    QCOMPARE(rig.hostIn.mid(from).count(hex("FDFDFD0000E988")), 1);
    QCOMPARE(rig.hostIn.mid(from).count(hex("00030050000185CA")), 1);
    const QStringList log = logLinesOf(*rig.w);
    QCOMPARE(log.filter(QStringLiteral("失败")), QStringList());
    QCOMPARE(log.mid(log.size() - 2), QStringList({line("已发完批量读取命令"), QString()}));
    QVERIFY(rig.dialogs.titles.isEmpty());
}

void TestE2eDevice::batchWrite_data()
{
    QTest::addColumn<int>("tempCorrection");
    QTest::addColumn<int>("humiCorrection");
    QTest::addColumn<int>("order");
    QTest::addColumn<int>("station");
    QTest::addColumn<QString>("tempText");
    QTest::addColumn<QString>("humiText");
    QTest::addColumn<QString>("orderText");

    QTest::newRow("-1.5, 3.7, temperature first, station 5") << -15 << 37 << 2 << 5 << "-1.5"
                                                             << "3.7"
                                                             << "温度在前";
    QTest::newRow("limits, hardware order, station 254") << 100 << -100 << 0 << 254 << "10.0"
                                                         << "-10.0"
                                                         << "硬件决定";
}

void TestE2eDevice::batchWrite()
{
    QFETCH(int, tempCorrection);
    QFETCH(int, humiCorrection);
    QFETCH(int, order);
    QFETCH(int, station);
    QFETCH(QString, tempText);
    QFETCH(QString, humiText);
    QFETCH(QString, orderText);

    Rig rig;
    QVERIFY(rig.start());
    rig.model().setOrderMode(quint16(movra::OrderMode::HumidityFirst));
    rig.model().setFixedTemperature(250);
    rig.model().setFixedHumidity(600);
    QVERIFY(rig.connectAt(9600));
    auto &ui = rig.ui();
    ui.TempOffset_2->setValue(tempCorrection);
    ui.HumiOffset_2->setValue(humiCorrection);
    ui.BraudRate_4->setCurrentIndex(order);
    ui.readAddress_3->setValue(station);
    ui.checkBox_3->click();
    ui.checkBox_4->click();
    ui.checkBox_7->click();
    QVERIFY(ui.checkBox->isChecked()); // station address: ticked by default
    QVERIFY(!ui.checkBox_2->isChecked());
    ui.textEdit->clear();

    ui.writeButton->click();
    QVERIFY(rig.ticksUntil([&] { return !rig.session().batchWriteActive(); }, 300) > 0);

    QCOMPARE(int(rig.model().temperatureCorrection()), tempCorrection);
    QCOMPARE(int(rig.model().humidityCorrection()), humiCorrection);
    QCOMPARE(int(rig.model().orderMode()), order);
    QCOMPARE(int(rig.model().address()), station);

    const QStringList log = logLinesOf(*rig.w);
    QVERIFY(log.contains(QStringLiteral("T\t正在写入设备的温度修正为：%1℃").arg(tempText)));
    QVERIFY(log.contains(QStringLiteral("T\t正在写入设备的湿度修正为：%1%").arg(humiText)));
    QVERIFY(log.contains(QStringLiteral("T\t正在写入温湿度对调为：") + orderText));
    QVERIFY(log.contains(QStringLiteral("T\t正在写入设备的地址为：%1").arg(station)));
    QCOMPARE(log.count(line("写入成功")), 4);
    QCOMPARE(log.filter(QStringLiteral("失败")), QStringList());
    QCOMPARE(log.mid(log.size() - 2), QStringList({line("批量参数写入完成"), QString()}));
    // The tool still talks to its old station until told otherwise.
    QCOMPARE(int(rig.session().station()), 1);

    // Read back: the device reports what it now holds ...
    ui.readButton->click();
    QVERIFY(rig.ticksUntil([&] { return !rig.session().batchReadActive(); }, 200) > 0);
    QCOMPARE(ui.readAddress_2->value(), station);
    QCOMPARE(ui.tempOffset_1->value(), tempCorrection);
    QCOMPARE(ui.humiOffset_1->value(), humiCorrection);
    QCOMPARE(ui.BraudRate_5->itemText(0), orderText);
    QCOMPARE(ui.braudRate_2->itemText(0), QStringLiteral("9600"));

    // ... and measurements reach the new station with its corrections.
    // The order written is known: each value lands in its own field.
    QVERIFY(rig.manualRead());
    const int humi = qBound(0, 600 + humiCorrection, 1000);
    const int temp = 250 + tempCorrection;
    QCOMPARE(ui.label_Humidy->text(), QString::number(humi / 10.0, 'f', 1));
    QCOMPARE(ui.label_Temp->text(), QString::number(temp / 10.0, 'f', 1));
}

void TestE2eDevice::baudRateWrite_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("code");

    QTest::newRow("19200") << 19200 << 4;
    QTest::newRow("2400") << 2400 << 1;
    QTest::newRow("115200") << 115200 << 7;
}

void TestE2eDevice::baudRateWrite()
{
    QFETCH(int, rate);
    QFETCH(int, code);

    Rig rig;
    QVERIFY(rig.start(9600));
    rig.model().setFixedTemperature(199);
    rig.model().setFixedHumidity(333);
    QVERIFY(rig.connectAt(9600));
    auto &ui = rig.ui();
    ui.checkBox->click(); // station address off
    ui.checkBox_2->click();
    ui.BraudRate_3->setCurrentIndex(ui.BraudRate_3->findText(QString::number(rate)));
    QCOMPARE(rig.session().writeValue(movra::Parameter::BaudRate), rate);
    ui.textEdit->clear();

    const int from = rig.hostIn.size();
    ui.writeButton->click();
    QVERIFY(rig.ticksUntil([&] { return !rig.session().batchWriteActive(); }, 300) > 0);

    QByteArray baudFrame("\xFD\xFD\xFD", 3);
    baudFrame.append(char(code));
    baudFrame.append(char(0));
    const QByteArray expected = withCrc(baudFrame) + hex("000601040000C826");
    QCOMPARE(rig.hostIn.mid(from).toHex(), expected.toHex());
    QCOMPARE(rig.model().baudRate(), rate);
    QCOMPARE(rig.model().pendingBaudRate(), 0);

    const QStringList log = logLinesOf(*rig.w);
    const QString sent = QString::fromLatin1(withCrc(baudFrame).toHex());
    QCOMPARE(log,
             QStringList({line("批量写入参数开始"),
                          QStringLiteral("T\t正在写入设备的波特率为：%1").arg(rate), QString(),
                          QStringLiteral("T\t%1\t%1").arg(sent), line("写入成功"),
                          line("正在重启设备："), QString(), line("批量参数写入完成"), QString()}));
    // The tool stays as it was; the device no longer hears it at 9600.
    QVERIFY(rig.connected());
    QCOMPARE(rig.session().port().baudRate(), 9600);
    const qint64 answered = rig.hostOut;
    QVERIFY(rig.manualRead());
    QCOMPARE(rig.hostOut, answered);
    QCOMPARE(rig.ui().label_Temp->text(), QStringLiteral("0"));

    ui.disConnectButton->click();
    QVERIFY(rig.settle());
    ui.textEdit->clear();
    QVERIFY(rig.connectAt(rate));
    QVERIFY(logLinesOf(*rig.w).contains(QStringLiteral("T\t设备连接成功,波特率为：%1").arg(rate)));
    QVERIFY(rig.manualRead());
    QCOMPARE(rig.ui().label_Temp->text(), QStringLiteral("19.9"));
    QCOMPARE(rig.ui().label_Humidy->text(), QStringLiteral("33.3"));
    QVERIFY(rig.dialogs.titles.isEmpty());
}

void TestE2eDevice::qualification_data()
{
    QTest::addColumn<bool>("temperatureCheck");
    QTest::addColumn<int>("reading");
    QTest::addColumn<QString>("reference");
    QTest::addColumn<QString>("tolerance");
    QTest::addColumn<QString>("expected");

    QTest::newRow("temperature within tolerance")
        << true << 253 << "25.0"
        << "0.5" << QStringLiteral("T\t温度:25.3 ℃\t误差：0.3 ℃小于0.5合格");
    QTest::newRow("temperature at the tolerance")
        << true << 253 << "25.0"
        << "0.3" << QStringLiteral("T\t温度:25.3 ℃\t误差：0.3 ℃大于0.3不合格");
    QTest::newRow("temperature below the reference")
        << true << 253 << "26"
        << "1" << QStringLiteral("T\t温度:25.3 ℃\t误差：0.7 ℃小于1.0合格");
    QTest::newRow("temperature below zero")
        << true << -123 << "-12.0"
        << "0.5" << QStringLiteral("T\t温度:-12.3 ℃\t误差：0.3 ℃小于0.5合格");
    QTest::newRow("temperature, tolerance 0")
        << true << 250 << "25.0"
        << "0" << QStringLiteral("T\t温度:25.0 ℃\t误差：0.0 ℃大于0.0不合格");
    QTest::newRow("humidity out of tolerance")
        << false << 450 << "50.0"
        << "5.0" << QStringLiteral("T\t湿度:45.0 %\t误差：5.0 %大于5.0不合格");
    QTest::newRow("humidity within tolerance")
        << false << 452 << "45"
        << "1" << QStringLiteral("T\t湿度:45.2 %\t误差：0.2 %小于1.0合格");
}

void TestE2eDevice::qualification()
{
    QFETCH(bool, temperatureCheck);
    QFETCH(int, reading);
    QFETCH(QString, reference);
    QFETCH(QString, tolerance);
    QFETCH(QString, expected);

    Rig rig;
    QVERIFY(rig.start());
    rig.model().setFixedTemperature(qint16(temperatureCheck ? reading : 211));
    rig.model().setFixedHumidity(quint16(temperatureCheck ? 432 : reading));
    QVERIFY(rig.connectAt(9600));
    auto &ui = rig.ui();
    QLineEdit *base = temperatureCheck ? ui.BaseTemp : ui.BaseHumi;
    QLineEdit *offset = temperatureCheck ? ui.OffsetTemp : ui.OffsetHumi;
    (temperatureCheck ? ui.checkBox_10 : ui.checkBox_9)->click();
    base->clear();
    QTest::keyClicks(base, reference);
    offset->clear();
    QTest::keyClicks(offset, tolerance);
    ui.textEdit->clear();

    QVERIFY(rig.manualRead());
    const QStringList log = logLinesOf(*rig.w);
    const bool pass =
        expected.endsWith(QStringLiteral("合格")) && !expected.endsWith(QStringLiteral("不合格"));
    // Humidity first, then temperature; a pass ends its paragraph.
    const QString other =
        temperatureCheck ? QStringLiteral("T\t湿度:43.2 %") : QStringLiteral("T\t温度:21.1 ℃");
    QStringList want{line("正在手动读取温湿度值")};
    if (temperatureCheck)
        want << other << expected;
    else
        want << expected;
    if (pass)
        want << QString();
    if (!temperatureCheck)
        want << other;
    QCOMPARE(log, want);
    QVERIFY(rig.dialogs.titles.isEmpty());
}

void TestE2eDevice::testModeConnect_data()
{
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<QString>("probes"); // F: read at 0xFD, Z: read at address 0
    QTest::addColumn<bool>("learnsStation");

    // The scan sends one probe per period, at 0xFD first in every baud-rate
    // window; 2400, 2400 and 4800 go unheard, 9600 answers. The manual
    // attempt sends the read at address 0 alone in its first period and
    // takes that answer; the station comes only from a 0xFD reply.
    QTest::newRow("automatic connection") << true << "ZFZFZFZF" << true;
    QTest::newRow("manual connection") << false << "Z" << false;
}

void TestE2eDevice::testModeConnect()
{
    QFETCH(bool, automatic);
    QFETCH(QString, probes);
    QFETCH(bool, learnsStation);

    Rig rig;
    QVERIFY(rig.start(9600));
    rig.model().setAddress(7);
    // 0x0258: a humidity whose low byte would read as station 88.
    rig.model().setFixedHumidity(600);
    rig.model().setFixedTemperature(250);
    auto &ui = rig.ui();

    movratest::answerNextModal(&box, true, QStringLiteral("Wxdo582039"));
    ui.pushButton->click();
    QVERIFY(box.seen);
    QCOMPARE(box.label, QStringLiteral("请输入程序维护密码"));
    QVERIFY(rig.session().testMode());
    ui.textEdit->clear();

    if (automatic) {
        ui.autoConnectButton->click();
        QVERIFY(rig.settle());
        QVERIFY(rig.ticksUntil([&] { return rig.connected(); }, 300) > 0);
        QCOMPARE(ui.BraudRate_1->currentText(), QStringLiteral("9600"));
    } else {
        QVERIFY(rig.connectAt(9600));
    }
    // Register reads only; the identification request is never sent.
    QString heard;
    for (const QString &frame : rig.framesHeard(0)) {
        heard += frame == QLatin1String("FD0301000002D1CB")   ? QLatin1Char('F')
                 : frame == QLatin1String("000300000002C5DA") ? QLatin1Char('Z')
                                                              : QLatin1Char('?');
    }
    QCOMPARE(heard, probes);

    const QStringList log = logLinesOf(*rig.w);
    const int expectedStation = learnsStation ? 7 : 1;
    QCOMPARE(int(rig.session().station()), expectedStation);
    QCOMPARE(ui.readAddress_1->value(), expectedStation);
    QCOMPARE(ui.readAddress_2->value(), expectedStation);
    QCOMPARE(log.contains(line("设备地址为：7")), learnsStation);
    QCOMPARE(log.filter(QStringLiteral("设备地址为")).size(), learnsStation ? 1 : 0);

    // With the learned station the readings come through.
    QVERIFY(rig.manualRead());
    QCOMPARE(ui.label_Temp->text(), learnsStation ? QStringLiteral("25.0") : QStringLiteral("0"));
    QCOMPARE(ui.label_Humidy->text(), learnsStation ? QStringLiteral("60.0") : QStringLiteral("0"));
    QCOMPARE(rig.dialogs.titles, QStringList{QStringLiteral("密码输入")});
}

void TestE2eDevice::batchReadAgainstFaults_data()
{
    QTest::addColumn<Faults>("faults");
    QTest::addColumn<QStringList>("failures");
    QTest::addColumn<QList<int>>("gaps"); // ticks between failure lines

    const QStringList all{line("读取设备地址：失败(超时)"), line("读取波特率：失败(超时)"),
                          line("读取温度修正：失败(超时)"), line("读取湿度修正：失败(超时)"),
                          line("读取设备温湿度调换状态：失败(超时)")};
    Faults badCrc;
    badCrc.badCrc = true;
    QTest::newRow("bad CRC") << badCrc << all << QList<int>{110, 110, 110, 110};
    Faults silent;
    silent.silent = true;
    QTest::newRow("silent after connecting") << silent << all << QList<int>{110, 110, 110, 110};
    // Exceptions answer register requests only; the baud-rate frame still
    // gets its reply, and the next item goes out one period later.
    Faults exception;
    exception.exception = true;
    QStringList refused = all;
    refused.removeAt(1);
    QTest::newRow("exception replies") << exception << refused << QList<int>{120, 110, 110};
}

void TestE2eDevice::batchReadAgainstFaults()
{
    QFETCH(Faults, faults);
    QFETCH(QStringList, failures);
    QFETCH(QList<int>, gaps);

    Rig rig;
    QVERIFY(rig.start());
    QVERIFY(rig.connectAt(9600));
    rig.model().setFaults(faults);
    auto &ui = rig.ui();
    ui.textEdit->clear();

    movratest::answerNextModal(&box);
    ui.readButton->click();
    QList<int> at;
    int seen = 0;
    QVERIFY(rig.ticksUntil(
                [&] {
                    const int now = logLinesOf(*rig.w).filter(QStringLiteral("失败(超时)")).size();
                    if (now > seen)
                        at << rig.ticked;
                    seen = now;
                    return !rig.session().batchReadActive();
                },
                800) > 0);
    QStringList log = logLinesOf(*rig.w);
    QCOMPARE(log.filter(QStringLiteral("失败(超时)")), failures);
    QList<int> measured;
    for (int i = 1; i < at.size(); ++i)
        measured << at.at(i) - at.at(i - 1);
    QCOMPARE(measured, gaps);

    const QString summary = QStringLiteral("批量参数读取失败数量为:%1").arg(failures.size());
    QCOMPARE(log.constLast(), QStringLiteral("T\t") + summary);
    QVERIFY(QTest::qWaitFor([&] { return box.seen; }, 3000));
    QCOMPARE(box.title, QStringLiteral("批量读取参数失败"));
    QCOMPARE(box.text, summary);
    QCOMPARE(rig.dialogs.titles, QStringList{QStringLiteral("批量读取参数失败")});
    QVERIFY(rig.connected());
}

void TestE2eDevice::splitReply_data()
{
    QTest::addColumn<int>("ticksInGap");
    QTest::addColumn<bool>("oneBlock");

    QTest::newRow("no tick") << 0 << true;
    QTest::newRow("one tick") << 1 << true;
    QTest::newRow("two ticks") << 2 << true;
    QTest::newRow("three ticks") << 3 << false;
    QTest::newRow("five ticks") << 5 << false;
}

void TestE2eDevice::splitReply()
{
    QFETCH(int, ticksInGap);
    QFETCH(bool, oneBlock);

    Rig rig;
    QVERIFY(rig.start());
    rig.model().setFixedTemperature(287);
    rig.model().setFixedHumidity(641);
    QVERIFY(rig.connectAt(9600));
    Faults faults;
    faults.splitGapMs = 200;
    rig.model().setFaults(faults);
    auto &ui = rig.ui();
    const qint64 before = rig.received();

    // The window takes the first half while the simulator is still inside
    // its send: the thread is held, so the second half cannot follow until
    // the test has run its ticks.
    QSerialPort &port = rig.session().port();
    bool firstHalf = false;
    const auto hold = QObject::connect(&rig.host, &movrasim::SimulatorHost::bytesSent, [&] {
        if (!firstHalf)
            firstHalf = port.waitForReadyRead(3000);
    });
    ui.manualReadButton->click();
    QDeadlineTimer deadline(3000);
    while (!firstHalf && !deadline.hasExpired())
        QCoreApplication::processEvents();
    QObject::disconnect(hold);
    QVERIFY(firstHalf);
    QCOMPARE(rig.received() - before, qint64(4));

    QVERIFY(rig.tick(ticksInGap, false));
    QVERIFY(QTest::qWaitFor([&] { return rig.received() - before == 9; }, 3000));
    QVERIFY(rig.tick(5));

    QCOMPARE(ui.label_Temp->text(), oneBlock ? QStringLiteral("28.7") : QStringLiteral("0"));
    QCOMPARE(ui.label_Humidy->text(), oneBlock ? QStringLiteral("64.1") : QStringLiteral("0"));
    // A reply that fell apart leaves the reading pending.
    QCOMPARE(rig.session().pendingRequest(), oneBlock ? 0 : 5);
    QVERIFY(rig.dialogs.titles.isEmpty());
}

void TestE2eDevice::halfDuplexEcho_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<int>("blockSize");

    QTest::newRow("plain line") << false << 9;
    QTest::newRow("adapter echoes the request") << true << 17;
}

void TestE2eDevice::halfDuplexEcho()
{
    QFETCH(bool, echo);
    QFETCH(int, blockSize);

    Rig rig;
    QVERIFY(rig.start());
    rig.model().setFixedTemperature(-45);
    rig.model().setFixedHumidity(876);
    Faults faults;
    faults.echo = echo;
    rig.model().setFaults(faults);
    // The identification comes back behind the echoed request as well.
    QVERIFY(rig.connectAt(9600));
    auto &ui = rig.ui();

    const qint64 before = rig.taken();
    QVERIFY(rig.manualRead());
    QCOMPARE(rig.taken() - before, qint64(blockSize));
    QCOMPARE(ui.label_Temp->text(), QStringLiteral("-4.5"));
    QCOMPARE(ui.label_Humidy->text(), QStringLiteral("87.6"));
    QCOMPARE(rig.session().pendingRequest(), 0);
    QVERIFY(rig.dialogs.titles.isEmpty());
}

QTEST_MAIN(TestE2eDevice)
#include "tst_e2e_device.moc"
