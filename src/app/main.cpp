#include <QApplication>

#include "app/MovraTestTool.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Named here, not after the executable: a renamed program must still
    // find its Setting.ini where it always was.
    QCoreApplication::setApplicationName(QStringLiteral("MovraTestTool"));
    MovraTestTool window;
    window.show();
    return app.exec();
}
