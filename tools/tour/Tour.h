// An operator's first session, played on the real window against the
// simulated transmitter: each step is driven through the widgets, waited for
// until the window shows its expected state, and photographed.
#pragma once

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>
#include <functional>

class QWidget;
class QTextStream;

class RecordsWindow;
class TrendWindow;

namespace movrasim {
class SimulatorHost;
struct Settling;
} // namespace movrasim

namespace movratour {

struct Options
{
    QString outDir;
    qint32 baudRate = 9600;
    int address = 1;
    // Raw readings the simulator is pinned to, in tenths; the expected log
    // lines are worked out from them.
    int temperature = 236;
    int humidity = 452;
    // Written as the new correction and station address in the batch write.
    int temperatureCorrection = 15;
    int newAddress = 2;
    int stepTimeoutMs = 15000;
    // The settling run: the temperature, as read, steps from settleFrom to
    // settleTo with a first-order time constant, judged against settleTo ±
    // settleTolerance (tenths), while the trend window watches it settle.
    int settleFrom = 200;
    int settleTo = 250;
    int settleTolerance = 5;
    int settleTimeConstantMs = 3000;
    // Readings at settleFrom before the step.
    int leadInReadings = 3;
    // The trend's stability window, written to the tour's own Station.ini.
    int stabilityWindowSeconds = 10;
    // The checks read the Chinese texts: in another language each step is
    // shown for its full time and not judged.
    bool judged = true;
};

class Tour
{
public:
    Tour(QWidget &window, movrasim::SimulatorHost &simulator, const Options &options,
         QTextStream &out);
    ~Tour();

    // Walks every step; stops at the first whose state is not reached.
    // Returns the number of steps that failed (0 or 1).
    int run();

    QStringList answeredBoxes() const { return m_boxes; }

private:
    struct Check
    {
        QString what;
        std::function<bool()> holds;
    };
    struct StepOptions
    {
        // The window to photograph, once the step got there; the main one if none.
        std::function<QWidget *()> shot;
        int timeoutMs = 0; // 0: Options::stepTimeoutMs
    };
    bool step(const QString &name, const std::function<void()> &act, const QVector<Check> &checks,
              const StepOptions &options);
    bool step(const QString &name, const std::function<void()> &act, const QVector<Check> &checks);
    bool waitUntil(const std::function<bool()> &done, int timeoutMs);
    void screenshot(const QString &name, QWidget *target);
    void saveLog();
    void answerModalBox();

    template <typename T> T *widget(const char *name) const;
    void click(const char *name);
    void setChecked(const char *name, bool on);
    void type(const char *name, const QString &text);
    void selectItem(const char *name, const QString &text);

    QString labelText(const char *name) const;
    int spinValue(const char *name) const;
    bool isEnabled(const char *name) const;
    bool isChecked(const char *name) const;

    QString logText() const;
    // The log pane's text written since the step began.
    QString newLog() const;
    int newLogCount(const QString &piece) const;
    // The step's log holds piece.
    Check logHas(const QString &piece) const;
    QString statusText() const;

    bool hasEveryControl();
    void removeStalePictures();

    // TourSession.cpp: the first session on the main window.
    bool firstSession();
    bool connectStep();
    bool manualReadStep();
    bool periodicReadingStep();
    bool batchReadStep();
    bool batchWriteStep();
    bool readBackStep();
    bool checkPassStep();
    bool checkFailStep();
    bool disconnectStep();

    // TourWindows.cpp: the tool's own windows, reached from the log pane's menu.
    bool toolWindows();
    // `source`: the item's Chinese text.
    void triggerMenuItem(const QString &source);
    QString listedPortName() const;
    RecordsWindow *recordsWindow() const;
    bool recordsShowOneUnit(const QString &port, const QString &verdicts);
    QWidget *recordsShot();
    bool recordsStep();
    bool reconnectStep();

    // TourSettling.cpp: the settling run in the trend window.
    bool settlingRun();
    void prepareTheSettlingRun(qint64 spanMs);
    bool trendWindowStep();
    bool settlingStep();
    bool settledStep();
    TrendWindow *trendWindow() const;
    QWidget *trendShot();
    QString temperatureVerdict() const;
    movrasim::Settling settlingChange() const;
    void zoomTrendWithKeys(qint64 spanMs);
    void frameTheSettlingRun();
    void reportVerdicts();

    QWidget &m_window;
    movrasim::SimulatorHost &m_sim;
    Options m_opt;
    QTextStream &m_out;
    QDir m_dir;
    int m_stepNumber = 0;
    int m_logMark = 0;
    QTimer m_boxAnswerer;
    QStringList m_boxes;
    // Wall-clock time of the settling run's first reading.
    qint64 m_leadInFromMs = 0;
};

} // namespace movratour
