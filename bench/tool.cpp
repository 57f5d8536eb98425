// The whole tool as the bench driver runs it: main.cpp's window on the
// offscreen platform, driven through its own controls only (found by object
// name), with the moments the driver needs written to stdout.
//
//   movra_bench_tool                      start, show, idle
//   --port PATH --baud N                  connect to PATH at N baud
//   --poll                                then read both values every second
//   --batches                             or run batch reads, one after the other
//   --check                               with the qualification check of both values on
//   --trend                               with the trend window open
//   --prefill N                           put N lines in the log pane first
//   --focus NAME                          put the keyboard focus on control NAME
//   --manual-reads N --gap-ms MIN:MAX     press "read manually" N times
//   --quit-when-shown                     end once shown (to profile start-up)
//   --trace-ticks                         also record when each tick runs
//
// MOVRA_TICK=every or =due chooses how the window runs its ticks, MOVRA_LANG
// its language.
//
// Output: MAIN, SHOWN, FOCUS (the focused control's class and name),
// CONNECTED, POLLING, BATCHING, DONE lines as they happen. Lines on stdin:
// "trend on|off" opens or closes the trend window, "records on|off" turns
// recording on or off (each answered by its own line with a time stamp,
// TREND or RECORDS); on "quit" (or the end of stdin) the label paints:
// LABEL <ns> temp|humi <text>, and with
// --trace-ticks the ticks: TICK <ns>, and the ticks the scheduler lost to
// lateness: LOST <n>.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QTextEdit>
#include <QVector>
#include <cstdio>
#include <memory>
#include <random>

#include "Probe.h"
#include "app/Language.h"
#include "app/MovraTestTool.h"
#include "records/Recorder.h"

using movrabench::nowNs;
using movrabench::report;

namespace {

struct Options
{
    QString port;
    int baud = 9600;
    bool poll = false;
    bool batches = false;
    bool check = false;
    bool trend = false;
    int prefill = 0;
    QString focus;
    int manualReads = 0;
    int gapMin = 100;
    int gapMax = 200;
    bool quitWhenShown = false;
    bool traceTicks = false;
};

bool parse(const QStringList &args, Options *o)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--port") && hasValue)
            o->port = args.at(++i);
        else if (a == QLatin1String("--baud") && hasValue)
            o->baud = args.at(++i).toInt();
        else if (a == QLatin1String("--trace-ticks"))
            o->traceTicks = true;
        else if (a == QLatin1String("--quit-when-shown"))
            o->quitWhenShown = true;
        else if (a == QLatin1String("--poll"))
            o->poll = true;
        else if (a == QLatin1String("--batches"))
            o->batches = true;
        else if (a == QLatin1String("--check"))
            o->check = true;
        else if (a == QLatin1String("--trend"))
            o->trend = true;
        else if (a == QLatin1String("--prefill") && hasValue)
            o->prefill = args.at(++i).toInt();
        else if (a == QLatin1String("--focus") && hasValue)
            o->focus = args.at(++i);
        else if (a == QLatin1String("--manual-reads") && hasValue)
            o->manualReads = args.at(++i).toInt();
        else if (a == QLatin1String("--gap-ms") && hasValue) {
            const QStringList gap = args.at(++i).split(QLatin1Char(':'));
            o->gapMin = gap.value(0).toInt();
            o->gapMax = gap.value(1, gap.value(0)).toInt();
        } else {
            std::fprintf(stderr, "movra_bench_tool: unknown argument %s\n", qPrintable(a));
            return false;
        }
    }
    return true;
}

template <typename T> T *control(QWidget &window, const char *name)
{
    T *w = window.findChild<T *>(QLatin1String(name));
    if (!w) {
        std::fprintf(stderr, "movra_bench_tool: no control %s\n", name);
        std::exit(3);
    }
    return w;
}

// Records the text of a label each time it is painted with a new one: the
// moment a reading is on screen.
class LabelWatch : public QObject
{
public:
    struct Paint
    {
        qint64 ns;
        char which;
        QString text;
    };

    LabelWatch(QLabel *temp, QLabel *humi) : m_temp(temp), m_humi(humi)
    {
        m_paints.reserve(100000);
        temp->installEventFilter(this);
        humi->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            const qint64 ns = nowNs();
            QLabel *label = static_cast<QLabel *>(watched);
            QString &last = label == m_temp ? m_lastTemp : m_lastHumi;
            if (label->text() != last) {
                last = label->text();
                m_paints.append({ns, label == m_temp ? 't' : 'h', last});
            }
        }
        return false;
    }

    void dump() const
    {
        for (const Paint &p : m_paints)
            std::printf("LABEL %lld %s %s\n", static_cast<long long>(p.ns),
                        p.which == 't' ? "temp" : "humi", qPrintable(p.text));
        std::fflush(stdout);
    }

private:
    QLabel *m_temp;
    QLabel *m_humi;
    QString m_lastTemp;
    QString m_lastHumi;
    QVector<Paint> m_paints;
};

// Only for runs that look into timing: the moment each tick runs. Woken
// only when due, the window runs the skipped ticks together on waking.
class TickTrace
{
public:
    explicit TickTrace(MovraTestTool &window) : m_ticker(window.ticker())
    {
        m_ticks.reserve(200000);
        QObject::connect(&m_ticker, &movra::TickScheduler::tick,
                         [this] { m_ticks.append(nowNs()); });
    }

    void dump() const
    {
        for (qint64 ns : m_ticks)
            std::printf("TICK %lld\n", static_cast<long long>(ns));
        if (m_ticker.mode() == movra::TickScheduler::Mode::WhenDue)
            std::printf("LOST %llu\n", static_cast<unsigned long long>(m_ticker.ticksLost()));
        std::fflush(stdout);
    }

private:
    movra::TickScheduler &m_ticker;
    QVector<qint64> m_ticks;
};

} // namespace

int main(int argc, char *argv[])
{
    const qint64 entered = nowNs();
    Options o;
    {
        QStringList args;
        for (int i = 0; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        if (!parse(args, &o))
            return 2;
    }
    QApplication app(argc, argv);
    report("MAIN", entered);

    // As the tool's main reads them (MOVRA_TICK, MOVRA_RECORDS); the window
    // lists pseudo-terminals only when told about them.
    WindowOptions options = WindowOptions::from(
        movra::config::Environment::fromProcess(),
        movra::config::stationIniPath(movra::config::SettingIni::defaultPath()));
    if (!o.port.isEmpty())
        options.extraPorts = QStringList{o.port};
    movra::useLanguage(options.language);
    MovraTestTool window(options);
    auto *temp = control<QLabel>(window, "label_Temp");
    auto *humi = control<QLabel>(window, "label_Humidy");
    LabelWatch watch(temp, humi);
    std::unique_ptr<TickTrace> ticks;
    if (o.traceTicks)
        ticks = std::make_unique<TickTrace>(window);

    auto quit = [&] {
        watch.dump();
        if (ticks)
            ticks->dump();
        app.quit();
    };
    QSocketNotifier input(0, QSocketNotifier::Read);
    std::function<void(const QByteArray &)> command;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[64];
        if (!std::fgets(line, sizeof line, stdin) || qstrncmp(line, "quit", 4) == 0) {
            input.setEnabled(false);
            quit();
            return;
        }
        command(QByteArray(line).trimmed());
    });

    // Steps after the window is shown, each reported with its moment.
    std::mt19937 random(20240506u);
    int readsLeft = o.manualReads;
    std::function<void()> nextRead = [&] {
        if (readsLeft-- <= 0) {
            report("DONE", nowNs());
            return;
        }
        control<QPushButton>(window, "manualReadButton")->click();
        std::uniform_int_distribution<int> gap(o.gapMin, o.gapMax);
        QTimer::singleShot(gap(random), Qt::PreciseTimer, &window, nextRead);
    };
    // As an operator types them: textEdited runs the window's slot.
    auto type = [&](const char *name, const QString &text) {
        auto *edit = control<QLineEdit>(window, name);
        edit->setText(text);
        emit edit->textEdited(text);
    };
    auto switchOnCheck = [&] {
        control<QCheckBox>(window, "checkBox_10")->click();
        control<QCheckBox>(window, "checkBox_9")->click();
        type("BaseTemp", QStringLiteral("25.0"));
        type("OffsetTemp", QStringLiteral("0.5"));
        type("BaseHumi", QStringLiteral("45.0"));
        type("OffsetHumi", QStringLiteral("1.0"));
    };
    auto openTrend = [&] {
        const auto actions =
            control<QTextEdit>(window, "textEdit")->findChild<QMenu *>()->actions();
        for (QAction *a : actions) {
            if (a->text() == QStringLiteral("趋势与统计…"))
                a->trigger();
        }
    };
    command = [&](const QByteArray &line) {
        const bool on = line.endsWith(" on");
        if (line.startsWith("trend ")) {
            if (on)
                openTrend();
            for (QWidget *w : QApplication::topLevelWidgets())
                if (!on && w->windowTitle() == QStringLiteral("趋势与统计"))
                    w->close();
            report("TREND", nowNs());
        } else if (line.startsWith("records ")) {
            window.sessionRecorder()->setEnabled(on);
            report("RECORDS", nowNs());
        }
    };
    auto startPolling = [&] {
        // Interval first: the boxes start the reading at once.
        control<QSpinBox>(window, "readTempInterval")->setValue(1);
        control<QSpinBox>(window, "readHumiInterval")->setValue(1);
        control<QCheckBox>(window, "checkBox_5")->click();
        control<QCheckBox>(window, "checkBox_6")->click();
        report("POLLING", nowNs());
    };
    // One batch read after the other, for as long as the run lasts.
    auto startBatches = [&] {
        auto *read = control<QPushButton>(window, "readButton");
        QObject::connect(&window.session(), &movra::Session::batchFinished, read,
                         [read] { QTimer::singleShot(0, read, &QPushButton::click); });
        read->click();
        report("BATCHING", nowNs());
    };
    QTimer waitConnected;
    int waitedMs = 0;
    QObject::connect(&waitConnected, &QTimer::timeout, [&] {
        waitedMs += 20;
        if (control<QPushButton>(window, "disConnectButton")->isEnabled() &&
            !control<QPushButton>(window, "connectButton")->isEnabled()) {
            waitConnected.stop();
            report("CONNECTED", nowNs());
            if (o.check)
                switchOnCheck();
            if (o.trend)
                openTrend();
            if (o.poll)
                startPolling();
            if (o.batches)
                startBatches();
            if (o.manualReads > 0)
                QTimer::singleShot(200, &window, nextRead);
        } else if (waitedMs > 15000) {
            std::fprintf(stderr, "movra_bench_tool: not connected after 15 s\n");
            std::exit(4);
        }
    });
    auto connectToPort = [&] {
        auto *ports = control<QComboBox>(window, "SerialComNum");
        auto *rates = control<QComboBox>(window, "BraudRate_1");
        const int port = ports->findText(o.port);
        const int rate = rates->findText(QString::number(o.baud));
        if (port < 0 || rate < 0) {
            std::fprintf(stderr, "movra_bench_tool: port or rate not offered\n");
            std::exit(4);
        }
        ports->setCurrentIndex(port);
        rates->setCurrentIndex(rate);
        control<QPushButton>(window, "connectButton")->click();
        waitConnected.start(20);
    };

    movrabench::ShownProbe probe([&] {
        if (o.quitWhenShown) {
            app.quit();
            return;
        }
        if (o.prefill > 0) {
            // The all-day state: the pane full, each new line pushing one out.
            QTextEdit *pane = control<QTextEdit>(window, "textEdit");
            const QString line = QStringLiteral("2024-05-06 07:08:09\t\t湿度:45.2 %");
            for (int i = 0; i < o.prefill; ++i)
                pane->append(line);
        }
        if (!o.focus.isEmpty()) {
            window.activateWindow();
            control<QWidget>(window, qPrintable(o.focus))->setFocus();
        }
        // Where a text cursor would blink.
        const QWidget *focused = QApplication::focusWidget();
        report("FOCUS", nowNs(),
               focused ? QByteArray(focused->metaObject()->className()) + ' ' +
                             focused->objectName().toLatin1()
                       : QByteArray("none"));
        if (!o.port.isEmpty())
            connectToPort();
    });
    window.show();
    return app.exec();
}
