#include <QApplication>
#include <QStandardPaths>

#include "app/Language.h"
#include "app/MovraTestTool.h"
#include "records/StationConfig.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Named here, not after the executable: a renamed program must still
    // find its Setting.ini where it always was.
    QCoreApplication::setApplicationName(QStringLiteral("MovraTestTool"));
    // Before the window: its form takes its texts when it is built.
    const QString settingIni = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
                               QStringLiteral("/Setting.ini");
    movra::useLanguage(movra::chosenLanguage(qEnvironmentVariable("MOVRA_LANG"),
                                             movra::records::stationIniPath(settingIni)));
    MovraTestTool window;
    window.show();
    return app.exec();
}
