#include <QApplication>

#include "app/Language.h"
#include "app/MovraTestTool.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Named here, not after the executable: a renamed program must still
    // find its Setting.ini where it always was.
    QCoreApplication::setApplicationName(QStringLiteral("MovraTestTool"));
    const WindowOptions options = WindowOptions::from(
        movra::config::Environment::fromProcess(),
        movra::config::stationIniPath(movra::config::SettingIni::defaultPath()));
    // Before the window: its form takes its texts when it is built.
    movra::useLanguage(options.language);
    MovraTestTool window(options);
    window.show();
    return app.exec();
}
