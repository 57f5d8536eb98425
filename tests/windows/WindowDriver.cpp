// Drives the real window on a COM port as an operator would: choose the port
// and rate, 连接设备, one manual reading, a picture of the window, close.
// Built for Windows and run under Wine by tests/windows/run.
//
//   window-driver PORT RATE SHOT.png
// Prints the log pane and any box the window shows (each is answered);
// status 0 when a reading reached the log pane, 3 when connecting failed.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/MovraTestTool.h"

namespace {
template <typename T> T *child(QWidget &window, const char *name)
{
    T *w = window.findChild<T *>(QLatin1String(name));
    if (!w)
        std::fprintf(stderr, "window-driver: no %s on the form\n", name);
    return w;
}

// Waits for the log pane to hold one of `texts`, the events flowing; its
// index, or -1 at the deadline.
int waitForLog(QTextEdit *log, const QStringList &texts, int ms)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const QString shown = log->toPlainText();
        for (int i = 0; i < texts.size(); ++i) {
            if (shown.contains(texts[i]))
                return i;
        }
        if (clock.elapsed() > ms)
            return -1;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

// A box would hold the driver in its own event loop: print and answer it.
void answerBoxes(QTimer &timer)
{
    QObject::connect(&timer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            std::printf("box: %s: %s\n", box->windowTitle().toUtf8().constData(),
                        box->text().toUtf8().constData());
            box->accept();
        }
    });
    timer.start(200);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("MovraTestTool"));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: window-driver PORT RATE SHOT.png\n");
        return 2;
    }
    // Whatever holds the window up, the check ends with what it saw.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(60));
        std::fputs("window-driver: still running after 60 s\n", stderr);
        std::_Exit(4);
    }).detach();
    MovraTestTool window(WindowOptions::from(
        movra::config::Environment::fromProcess(),
        movra::config::stationIniPath(movra::config::SettingIni::defaultPath())));
    window.show();
    auto *port = child<QComboBox>(window, "SerialComNum");
    auto *rate = child<QComboBox>(window, "BraudRate_1");
    auto *connect = child<QPushButton>(window, "connectButton");
    auto *read = child<QPushButton>(window, "manualReadButton");
    auto *log = child<QTextEdit>(window, "textEdit");
    if (!port || !rate || !connect || !read || !log)
        return 1;
    QApplication::processEvents();

    const int portIndex = port->findText(args[1]);
    const int rateIndex = rate->findText(args[2]);
    if (portIndex < 0 || rateIndex < 0) {
        std::fprintf(stderr, "window-driver: %s or %s is not offered\n", qPrintable(args[1]),
                     qPrintable(args[2]));
        return 1;
    }
    // A remembered choice typed as an operator types it: Setting.ini is written.
    if (auto *reference = child<QLineEdit>(window, "BaseTemp")) {
        reference->selectAll();
        QTest::keyClicks(reference, QStringLiteral("25.0"));
    }
    port->setCurrentIndex(portIndex);
    rate->setCurrentIndex(rateIndex);
    QTimer boxes;
    answerBoxes(boxes);
    connect->click();
    const int connected =
        waitForLog(log,
                   {MovraTestTool::tr(" 设备连接成功"), MovraTestTool::tr(" 连接失败"),
                    MovraTestTool::tr("手动连接超时")},
                   15000);
    bool ok = connected == 0;
    if (ok) {
        read->click();
        ok = waitForLog(log, {MovraTestTool::tr("\t温度:")}, 5000) == 0;
    }
    window.grab().save(args[3]);
    std::fputs(log->toPlainText().toUtf8().constData(), stdout);
    std::fputs("\n", stdout);
    window.close();
    QTimer::singleShot(0, &app, &QApplication::quit);
    app.exec();
    return ok ? 0 : connected > 0 ? 3 : 1;
}
