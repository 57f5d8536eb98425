// Micro benchmarks: the protocol helpers, the tick and the log pane.
// Window benchmarks use the real window on the offscreen platform, shown,
// with its timer stopped so only the benchmark drives it.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTranslator>
#include <memory>
#include <random>
#include <string>

#include "app/Language.h"
#include "app/MovraTestTool.h"
#include "link/Protocol.h"
#include "link/Requests.h"
#include "link/Tenths.h"

namespace {

QByteArray withCrc(QByteArray bytes)
{
    const quint16 crc = movra::crc16(bytes);
    bytes.append(char(crc & 0xFF));
    bytes.append(char(crc >> 8));
    return bytes;
}

// A read reply for station 1 with `dataBytes` bytes of registers:
// humidity 45.2 % and temperature 23.1 degrees in the first two.
QByteArray readReply(int dataBytes)
{
    QByteArray r;
    r.append(char(0x01));
    r.append(char(0x03));
    r.append(char(dataBytes));
    const quint8 regs[] = {0x01, 0xC4, 0x00, 0xE7};
    for (int i = 0; i < dataBytes; ++i)
        r.append(char(i < 4 ? regs[i] : 0));
    return withCrc(r);
}

QByteArray garbage(int size, unsigned seed)
{
    std::mt19937 random(seed);
    QByteArray g;
    for (int i = 0; i < size; ++i)
        g.append(char(random() & 0xFF));
    // Never the baud-rate mark, never a read or write function code.
    g[0] = char(0x11);
    if (size > 9)
        g[9] = char(0x42);
    if (size > 1)
        g[1] = char(0x42);
    return g;
}

// ---------------------------------------------------------------- protocol

void BM_crc16(benchmark::State &state)
{
    const QByteArray bytes = garbage(int(state.range(0)), 7);
    for (auto _ : state) {
        quint16 crc = movra::crc16(bytes.constData(), bytes.size());
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(qint64(state.iterations()) * bytes.size());
}
BENCHMARK(BM_crc16)->Arg(8)->Arg(255);

void recognise(benchmark::State &state, const QByteArray &block, bool writePending,
               movra::ReplyKind expected)
{
    if (movra::recogniseBlock(block, writePending).kind != expected) {
        state.SkipWithError("block not classified as expected");
        return;
    }
    for (auto _ : state) {
        movra::ReplyInfo info = movra::recogniseBlock(block, writePending);
        benchmark::DoNotOptimize(info);
    }
}

void BM_recogniseReadReply(benchmark::State &state)
{
    recognise(state, readReply(4), false, movra::ReplyKind::Read);
}
BENCHMARK(BM_recogniseReadReply);

void BM_recogniseReadReplyAfterEcho(benchmark::State &state)
{
    const QByteArray echo = movra::buildRequestFrame(0x01, 0x03, 0x0000, 2);
    recognise(state, echo + readReply(4), false, movra::ReplyKind::Read);
}
BENCHMARK(BM_recogniseReadReplyAfterEcho);

void BM_recogniseWriteEcho(benchmark::State &state)
{
    recognise(state, movra::buildRequestFrame(0x00, 0x06, 0x0050, 0xFFF1), true,
              movra::ReplyKind::WriteEcho);
}
BENCHMARK(BM_recogniseWriteEcho);

void BM_recogniseBaudFrame(benchmark::State &state)
{
    recognise(state, movra::buildBaudRateFrame(3), false, movra::ReplyKind::BaudRate);
}
BENCHMARK(BM_recogniseBaudFrame);

void BM_recogniseGarbage(benchmark::State &state)
{
    recognise(state, garbage(int(state.range(0)), 11), false, movra::ReplyKind::NotRecognised);
}
BENCHMARK(BM_recogniseGarbage)->Arg(9)->Arg(100);

void BM_tenthsText(benchmark::State &state)
{
    // The whole accepted temperature range, so every digit count occurs.
    qint64 value = -550;
    for (auto _ : state) {
        QString text = movra::tenthsText(value);
        benchmark::DoNotOptimize(text);
        if (++value > 1000)
            value = -550;
    }
}
BENCHMARK(BM_tenthsText);

void BM_textToTenths(benchmark::State &state)
{
    const QString texts[] = {QStringLiteral("25.3"), QStringLiteral("-0.5"), QStringLiteral("4.35"),
                             QStringLiteral("100"),  QStringLiteral("abc"),  QString()};
    size_t i = 0;
    for (auto _ : state) {
        qint64 tenths = movra::textToTenths(texts[i], -32768, 32767);
        benchmark::DoNotOptimize(tenths);
        i = (i + 1) % (sizeof texts / sizeof texts[0]);
    }
}
BENCHMARK(BM_textToTenths);

// ------------------------------------------------------------------ window

// The window's controls are reached by object name, its engine and ticks
// through its public session() and ticker(), as the tool's own parts do.
template <typename T> T *control(MovraTestTool &w, const char *name)
{
    return w.findChild<T *>(QLatin1String(name));
}

std::unique_ptr<MovraTestTool> shownWindow()
{
    auto w = std::make_unique<MovraTestTool>();
    w->ticker().stop();
    w->show();
    QCoreApplication::processEvents();
    return w;
}

// One tick of the window's 10 ms timer: its slot is exactly this call, and
// a call by name through the meta-object would cost more than the tick.
void tick(MovraTestTool &w)
{
    w.session().tick();
}

// Connected without a port: the identification text answers the probe.
bool connectWithoutPort(MovraTestTool &w)
{
    w.session().request(movra::ReqProbe);
    w.session().receive(QByteArray("ARDENO\0KVT582-TH\0", 17));
    for (int i = 0; i < 3; ++i)
        tick(w);
    return w.session().linkState() == movra::LinkState::Connected;
}

// A tick with nothing received; the 100 ms and 1 s steps fall into their
// share of the iterations, as they do in the running tool.
void BM_tickIdle(benchmark::State &state)
{
    auto w = shownWindow();
    const bool connected = state.range(0) == int(movra::LinkState::Connected);
    if (connected && !connectWithoutPort(*w)) {
        state.SkipWithError("not connected");
        return;
    }
    for (auto _ : state)
        tick(*w);
    state.SetLabel(connected ? "connected" : "not connected");
}
BENCHMARK(BM_tickIdle)
    ->Arg(int(movra::LinkState::Idle))
    ->Arg(int(movra::LinkState::Connected))
    ->ArgName("linkState");

// Woken only when due, the window runs the ticks it skipped on waking; with
// nothing due it wakes every kIdleWakeTicks, so this is the most one
// catch-up has to run. The clock is the benchmark's own: each iteration is
// one idle wake-up, its ticks through the window's slot.
void BM_catchUpIdleTicks(benchmark::State &state)
{
    auto w = shownWindow();
    qint64 now = 0;
    movra::TickScheduler &ticker = w->ticker();
    ticker.setClock([&now] { return now; });
    ticker.setMode(movra::TickScheduler::Mode::WhenDue);
    ticker.start();
    for (auto _ : state) {
        now = ticker.wakeAt();
        ticker.wake();
    }
    ticker.stop();
    state.SetLabel(std::to_string(movra::TickScheduler::kIdleWakeTicks) + " ticks");
}
BENCHMARK(BM_catchUpIdleTicks);

// The tick that takes a 100-byte block: the third quiet tick after it came.
// Each iteration hands the block over (a shared copy) and runs the two
// quiet ticks before it, each as cheap as an idle tick (BM_tickIdle), small
// next to the intake.
void tickTakes(benchmark::State &state, const QByteArray &block, qint32 request, bool expectDisplay)
{
    auto w = shownWindow();
    if (!connectWithoutPort(*w)) {
        state.SkipWithError("not connected");
        return;
    }
    movra::Session &session = w->session();
    QLabel *temp = control<QLabel>(*w, "label_Temp");
    temp->setText(QStringLiteral("0"));

    auto takeOnce = [&] {
        if (request != 0)
            session.request(request);
        session.receive(block);
        tick(*w);
        tick(*w);
        tick(*w);
    };
    takeOnce();
    if (session.bufferedBytes() != 0 || (temp->text() == QLatin1String("23.1")) != expectDisplay) {
        state.SkipWithError("the block was not taken as expected");
        return;
    }

    for (auto _ : state)
        takeOnce();
    state.SetBytesProcessed(qint64(state.iterations()) * block.size());
}

void BM_tickTakes100ByteGarbage(benchmark::State &state)
{
    // Not recognised: the request it came for stays pending.
    tickTakes(state, garbage(100, 13), 0, false);
}
BENCHMARK(BM_tickTakes100ByteGarbage);

// Echo of the request, then a read reply of 100 bytes in all: decoded,
// shown in both labels and logged as two lines (the pane stays at its cap).
// The reply settles the request, so each iteration asks again.
void BM_tickTakes100ByteMeasurement(benchmark::State &state)
{
    const QByteArray block = movra::buildRequestFrame(0x01, 0x03, 0x0000, 2) + readReply(87);
    Q_ASSERT(block.size() == 100);
    tickTakes(state, block, movra::ReqReadBoth, true);
}
BENCHMARK(BM_tickTakes100ByteMeasurement);

// appendLog on a pane holding about `blocks` blocks. Below the cap the pane
// is brought back to its size outside the timed region every 10 lines, so
// "10" means 10 to 20 blocks. With `drain` the events the append leaves
// behind (layout, scroll, repaint of the shown pane) are handled inside the
// timed region too, which is the cost the running tool pays.
void appendLogOnPane(benchmark::State &state, bool drain)
{
    const int blocks = int(state.range(0));
    auto w = shownWindow();
    auto *pane = control<QTextEdit>(*w, "textEdit");
    const QString message = QStringLiteral("\t湿度:45.2 %\t误差：0.3 %小于1.0合格\r\n");

    // Filled with lines of the same shape straight through the pane, so a
    // profiler that counts inside appendLog sees only the timed calls.
    const QString line = QStringLiteral("2024-05-06 07:08:09\t") + message;
    auto refill = [&] {
        pane->clear();
        for (int i = 0; i < blocks; ++i)
            pane->append(line);
        QCoreApplication::processEvents();
    };
    refill();
    const int cap = pane->document()->maximumBlockCount();

    for (auto _ : state) {
        if (blocks < cap && pane->document()->blockCount() >= blocks + 10) {
            state.PauseTiming();
            refill();
            state.ResumeTiming();
        }
        // The window's log handler, as the engine reaches it.
        emit w->session().logMessage(message);
        if (drain)
            QCoreApplication::processEvents();
    }
    state.counters["blocks"] = pane->document()->blockCount();
}

void BM_appendLog(benchmark::State &state)
{
    appendLogOnPane(state, false);
}
BENCHMARK(BM_appendLog)->Arg(10)->Arg(1000)->ArgName("blocks");

void BM_appendLogAndEvents(benchmark::State &state)
{
    appendLogOnPane(state, true);
}
BENCHMARK(BM_appendLogAndEvents)->Arg(10)->Arg(1000)->ArgName("blocks");

// Start-up in either language, side by side in one run: the English texts
// loaded from the program, and the window built and shown in Chinese (0) or
// English (1), which looks each text up.
void BM_loadEnglish(benchmark::State &state)
{
    movra::useLanguage(QStringLiteral("en")); // registers the resource
    movra::useLanguage(QStringLiteral("zh"));
    for (auto _ : state) {
        QTranslator english;
        benchmark::DoNotOptimize(english.load(QStringLiteral(":/i18n/movra_en.qm")));
    }
}
BENCHMARK(BM_loadEnglish);

void BM_windowShown(benchmark::State &state)
{
    movra::useLanguage(state.range(0) ? QStringLiteral("en") : QStringLiteral("zh"));
    for (auto _ : state) {
        MovraTestTool w;
        w.show();
        QCoreApplication::processEvents();
    }
    movra::useLanguage(QStringLiteral("zh"));
}
BENCHMARK(BM_windowShown)->Arg(0)->Arg(1)->ArgName("english");

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window reads and writes its settings file; keep the user's out of it.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));

    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
