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

namespace movrasim {
class SimulatorHost;
}

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
    bool step(const QString &name, const std::function<void()> &act, const QVector<Check> &checks);
    bool waitUntil(const std::function<bool()> &done, int timeoutMs);
    void screenshot(const QString &name);
    void saveLog();
    void answerModalBox();

    template <typename T> T *widget(const char *name) const;
    void click(const char *name);
    void setChecked(const char *name, bool on);
    void type(const char *name, const QString &text);
    void selectItem(const char *name, const QString &text);

    QString logText() const;
    // The log pane's text written since the step began.
    QString newLog() const;
    int newLogCount(const QString &piece) const;
    QString statusText() const;

    QWidget &m_window;
    movrasim::SimulatorHost &m_sim;
    Options m_opt;
    QTextStream &m_out;
    QDir m_dir;
    int m_stepNumber = 0;
    int m_logMark = 0;
    QTimer m_boxAnswerer;
    QStringList m_boxes;
};

} // namespace movratour
