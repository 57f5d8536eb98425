// The log pane's menu beyond its own three items: saving the log, and the
// tool's other windows. Nothing here changes the main window's form.
#include "app/MovraTestTool.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QStandardPaths>

#include "calibrate/CalibrationRecord.h"
#include "records/Recorder.h"
#include "records/StationConfig.h"
#include "trend/StabilitySettings.h"
#include "ui/CalibrationWindow.h"
#include "ui/RecordsWindow.h"
#include "ui/TrendWindow.h"

#ifndef MOVRA_VERSION
#define MOVRA_VERSION "unknown"
#endif

void MovraTestTool::addToolItems()
{
    logMenu->addSeparator();
    // The form has always had a "日志保存" action; this puts it to use.
    logMenu->addAction(tr("保存日志…"), ui.action, &QAction::trigger);
    connect(ui.action, &QAction::triggered, this, [this] { saveLog(); });
    logMenu->addAction(tr("测试记录…"), this, [this] { showRecords(); });
    logMenu->addAction(tr("趋势与统计…"), this, [this] { showTrend(); });
    logMenu->addAction(tr("校准…"), this, [this] { showCalibration(); });
}

movra::records::RecordStore::Options MovraTestTool::recordOptions()
{
    movra::records::RecordStore::Options o;
    // Readings every second share a commit every few seconds: a commit
    // costs more than all the records it carries. The records window and
    // closing the tool write what waits at once.
    o.commitDelayMs = 5000;
    return o;
}

void MovraTestTool::setUpRecording()
{
    using namespace movra::records;
    const QString settingPath = settingIni.path();
    const StationConfig station =
        StationConfig::load(movra::config::stationIniPath(settingPath), options.recordsUrl);
    records.setStation(station.stationName());
    records.setToolVersion(QStringLiteral(MOVRA_VERSION));
    recorder =
        new SessionRecorder(engine, records, movra::config::recordsPath(settingPath), station.url);
    // For a station that must not keep records, and for measuring what
    // recording costs.
    recorder->setEnabled(options.recording);
    // Only trouble is told: recording itself adds nothing to the log.
    connect(&records, &RecordStore::problem, this, &MovraTestTool::appendLog);
    connect(&records, &RecordStore::recovered, this, &MovraTestTool::appendLog);
    // On the writer's thread: the window does not wait for the disk.
    recorder->openStore();
}

void MovraTestTool::showRecords()
{
    recorder->openStore();
    if (!recordsWindow) {
        recordsWindow = new RecordsWindow(&records, this);
        recordsWindow->setWindowFlag(Qt::Window);
    }
    recordsWindow->show();
    recordsWindow->raise();
    recordsWindow->activateWindow();
}

void MovraTestTool::saveLog()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString proposed =
        folder + QDir::separator() +
        tr("日志_%1.txt")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss")));
    const QString path =
        QFileDialog::getSaveFileName(this, tr("保存日志"), proposed, tr("文本文件 (*.txt)"));
    if (path.isEmpty())
        return;
    // Written whole or not at all: a half-written log is worse than none.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text) &&
        file.write(ui.textEdit->toPlainText().toUtf8() + '\n') >= 0 && file.commit())
        return;
    QMessageBox::information(nullptr, tr("保存日志"),
                             tr("日志未能保存：") + QDir::toNativeSeparators(path) +
                                 QStringLiteral("\r\n") + file.errorString());
}

void MovraTestTool::setUpTrend()
{
    using movra::trend::Quantity;
    trendHistory.setSettings(
        movra::trend::StabilitySettings::load(movra::config::stationIniPath(settingIni.path())));
    // Every reading, manual or periodic, from the start of the tool; the
    // window only looks at what is kept.
    connect(&engine, &movra::Session::measured, this, [this](const movra::Measurement &m) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const auto intervalMs = [this](Quantity q) {
            return engine.periodicReading(q) ? qint64(engine.interval(q)) * 1000 : 0;
        };
        if (m.hasTemperature)
            trendHistory.append(Quantity::Temperature, now, m.temperature / 10.0,
                                intervalMs(Quantity::Temperature));
        if (m.hasHumidity)
            trendHistory.append(Quantity::Humidity, now, m.humidity / 10.0,
                                intervalMs(Quantity::Humidity));
        if (trendWindow)
            trendWindow->historyFed();
    });
    connect(&engine, &movra::Session::disconnected, this, [this] { trendHistory.breakLines(); });
}

void MovraTestTool::updateTrendBands()
{
    if (!trendWindow)
        return;
    using movra::Quantity;
    const auto band = [this](Quantity q) {
        const movra::Check &c = engine.check(q);
        return movra::trend::Band{c.on, c.reference / 10.0, double(c.tolerance) / 10.0};
    };
    trendWindow->setBand(movra::trend::Quantity::Temperature, band(Quantity::Temperature));
    trendWindow->setBand(movra::trend::Quantity::Humidity, band(Quantity::Humidity));
}

void MovraTestTool::showTrend()
{
    if (!trendWindow) {
        trendWindow =
            new TrendWindow(trendHistory, movra::config::stationIniPath(settingIni.path()), this);
        trendWindow->setWindowFlag(Qt::Window);
        trendWindow->setLinkStatsProvider([this] { return engine.stats(); });
    }
    updateTrendBands();
    trendWindow->show();
    trendWindow->raise();
    trendWindow->activateWindow();
}

void MovraTestTool::showCalibration()
{
    if (!calibrationWindow) {
        const movra::trend::StabilitySettings bands = trendHistory.settings().bounded();
        calibrationWindow = new CalibrationWindow(
            engine, &trendHistory, {bands.temperatureBand, bands.humidityBand}, this);
        calibrationWindow->setWindowFlag(Qt::Window);
        connect(calibrationWindow, &CalibrationWindow::started, this, [this] {
            pausePeriodicReading(true);
            recorder->setTrace(calibrationWindow->trace());
        });
        connect(calibrationWindow, &CalibrationWindow::finished, this,
                [this](const movra::records::Trace &, const movra::calibrate::CalibrationRun &run) {
                    for (const auto &c : movra::calibrate::recordsOf(run))
                        recorder->calibrated(c);
                });
        connect(calibrationWindow, &CalibrationWindow::ended, this, [this] {
            pausePeriodicReading(false);
            recorder->setTrace({});
        });
    }
    calibrationWindow->show();
    calibrationWindow->raise();
    calibrationWindow->activateWindow();
}

// The calibration has the line to itself; its readings come on its own
// beat, so the scheduler wakes every tick while it runs.
void MovraTestTool::pausePeriodicReading(bool pause)
{
    using movra::Quantity;
    for (const Quantity q : {Quantity::Temperature, Quantity::Humidity}) {
        if (pause) {
            periodicBeforeCalibration[size_t(q)] = engine.periodicReading(q);
            engine.setPeriodicReading(q, false);
        } else {
            engine.setPeriodicReading(q, periodicBeforeCalibration[size_t(q)]);
        }
    }
    const bool running = tickTimer.isActive();
    if (running)
        tickTimer.setMode(pause ? movra::TickScheduler::Mode::EveryTick : options.tickMode);
}
