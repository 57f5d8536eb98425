// movra-tour: plays an operator's first session on the real window against
// the simulated transmitter and leaves a screenshot of every step and the
// log pane's text in a directory.

#include "Faults.h"
#include "SimulatorHost.h"
#include "Tour.h"
#include "app/Language.h"
#include "app/MovraTestTool.h"
#include "config/Environment.h"
#include "config/SettingIni.h"
#include "link/Protocol.h"
#include "trend/StabilitySettings.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "movra-tour: %s\n", qPrintable(message));
    return 2;
}

// Reads the arguments (--help ends the program here); an empty text when
// fine, else why not.
QString readOptions(const QApplication &app, movratour::Options *options, movrasim::Faults *faults)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Guided tour of the Movra test tool on the simulated transmitter.\n"
                       "Connects, reads once and periodically, reads and writes the\n"
                       "parameters, checks readings against references and disconnects;\n"
                       "shows the records of that session, then reconnects and watches\n"
                       "the temperature settle after a step in the trend window until\n"
                       "it is stable. Saves NN-step.png after each step (the records and\n"
                       "trend steps show those windows) and log.txt at the end.\n"
                       "Exit status 0 when every step reached its expected state.\n"
                       "With MOVRA_LANG=en the window speaks English and the steps are\n"
                       "shown, not judged."));
    parser.addHelpOption();
    const QCommandLineOption outOption(QStringLiteral("out"),
                                       QStringLiteral("Directory for the screenshots and log."),
                                       QStringLiteral("DIR"), QStringLiteral("tour"));
    const QCommandLineOption baudOption(
        QStringLiteral("baud"),
        QStringLiteral("Simulator baud rate; other than 9600 the tour connects by scanning."),
        QStringLiteral("RATE"), QStringLiteral("9600"));
    const QCommandLineOption addressOption(QStringLiteral("address"),
                                           QStringLiteral("Simulator station address 1..254."),
                                           QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption faultOption(
        QStringLiteral("fault"),
        QStringLiteral("Simulator faults (see transmitter-sim --help); the tour then shows "
                       "where the session breaks."),
        QStringLiteral("LIST"));
    parser.addOptions({outOption, baudOption, addressOption, faultOption});
    parser.process(app);

    options->outDir = QDir(parser.value(outOption)).absolutePath();
    bool ok = false;
    options->baudRate = parser.value(baudOption).toInt(&ok);
    if (!ok || movra::baudCodeForRate(options->baudRate) == 0)
        return QStringLiteral("unsupported baud rate: %1").arg(parser.value(baudOption));
    options->address = parser.value(addressOption).toInt(&ok, 0);
    if (!ok || options->address < 1 || options->address > 254)
        return QStringLiteral("station address must be 1..254");
    options->newAddress = options->address % 254 + 1;
    QString error;
    if (!movrasim::parseFaults(parser.values(faultOption), faults, &error))
        return error;
    return {};
}

// A short stability window keeps the settling run short.
bool writeStabilityWindow(const movratour::Options &options)
{
    const QString settingIni = movra::config::SettingIni::defaultPath();
    QDir().mkpath(QFileInfo(settingIni).absolutePath());
    movra::trend::StabilitySettings stability;
    stability.windowSeconds = options.stabilityWindowSeconds;
    return stability.save(movra::config::stationIniPath(settingIni));
}

// Serves a pseudo-terminal; returns its path, empty on failure.
QString startSimulator(movrasim::SimulatorHost &simulator, const movratour::Options &options,
                       const movrasim::Faults &faults)
{
    simulator.model().setBaudRate(options.baudRate);
    simulator.model().setAddress(quint8(options.address));
    simulator.model().setFaults(faults);
    // Pinned readings make the expected log lines exact.
    simulator.model().setFixedTemperature(qint16(options.temperature));
    simulator.model().setFixedHumidity(quint16(options.humidity));
    return simulator.start();
}

// Off screen without a display; the window's settings and Qt's runtime
// folder in throw-away places, so the operator's own are left alone.
bool prepareEnvironment(const QTemporaryDir &config, const QTemporaryDir &runtime)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!config.isValid())
        return false;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    const QTemporaryDir config;
    const QTemporaryDir runtime;
    if (!prepareEnvironment(config, runtime))
        return fail(QStringLiteral("no temporary directory"));

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("MovraTestTool"));

    // The tour's Station.ini is its own: only the environment chooses.
    const movra::config::Environment environment = movra::config::Environment::fromProcess();
    const QString language = movra::chosenLanguage(environment.language, QString());
    movra::useLanguage(language);

    movratour::Options options;
    options.judged = language == QLatin1String("zh");
    movrasim::Faults faults;
    const QString error = readOptions(app, &options, &faults);
    if (!error.isEmpty())
        return fail(error);
    if (!writeStabilityWindow(options))
        return fail(QStringLiteral("cannot write the tour's Station.ini"));
    movrasim::SimulatorHost simulator;
    const QString port = startSimulator(simulator, options, faults);
    if (port.isEmpty())
        return fail(simulator.errorString());

    QTextStream out(stdout);
    out.setCodec("UTF-8");
    out << "tour: simulator on " << port << ", station " << options.address << ", "
        << options.baudRate << " Bd, faults " << movrasim::faultsText(faults) << "\n";

    int failed = 0;
    {
        // The environment as the tool's main reads it; the simulator's
        // pseudo-terminal is the port offered.
        WindowOptions windowOptions = WindowOptions::from(environment, QString());
        windowOptions.extraPorts = QStringList{port};
        MovraTestTool window(windowOptions);
        window.show();
        movratour::Tour tour(window, simulator, options, out);
        failed = tour.run();
    }
    simulator.stop();
    out << "tour: screenshots and log.txt in " << options.outDir << "\n";
    out.flush();
    return failed == 0 ? 0 : 1;
}
