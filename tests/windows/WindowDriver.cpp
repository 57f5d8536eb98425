// Drives the real window on a COM port as an operator would: choose the port
// and rate, 连接设备, one manual reading, a picture of the window, close.
// Built for Windows and run under Wine by tests/windows/run.
//
//   window-driver PORT RATE SHOT.png
// Prints the log pane; status 0 when a reading reached it.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <cstdio>

#include "app/MovraTestTool.h"

namespace {
template <typename T> T *child(QWidget &window, const char *name)
{
    T *w = window.findChild<T *>(QLatin1String(name));
    if (!w)
        std::fprintf(stderr, "window-driver: no %s on the form\n", name);
    return w;
}

// Waits for the log pane to hold `text`, the events flowing; false at the
// deadline.
bool waitForLog(QTextEdit *log, const QString &text, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!log->toPlainText().contains(text)) {
        if (clock.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
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
    MovraTestTool window;
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
    port->setCurrentIndex(portIndex);
    rate->setCurrentIndex(rateIndex);
    connect->click();
    bool ok = waitForLog(log, MovraTestTool::tr(" 设备连接成功"), 15000);
    if (ok) {
        read->click();
        ok = waitForLog(log, MovraTestTool::tr("\t温度:"), 5000);
    }
    window.grab().save(args[3]);
    std::fputs(log->toPlainText().toUtf8().constData(), stdout);
    std::fputs("\n", stdout);
    window.close();
    QTimer::singleShot(0, &app, &QApplication::quit);
    app.exec();
    return ok ? 0 : 1;
}
