// The yardstick for the whole tool: a bare Qt Widgets program that shows a
// window of the tool's size with a 10 ms timer and nothing else. Built with
// the same compiler flags and Qt as the tool.

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "Probe.h"

int main(int argc, char *argv[])
{
    const qint64 entered = movrabench::nowNs();
    QApplication app(argc, argv);
    movrabench::report("MAIN", entered);

    QWidget window;
    window.resize(610, 780);
    QTimer timer;
    timer.setInterval(10);
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start();

    movrabench::ShownProbe probe;
    window.show();
    return app.exec();
}
