#include <QApplication>

#include "MovraTestTool.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MovraTestTool window;
    window.show();
    return app.exec();
}
