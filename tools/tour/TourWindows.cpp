// The tour's second part: the tool's own windows. The records of the
// session just played, then a unit settling after a temperature step,
// watched in the trend window until its verdict turns stable.
#include "Tour.h"

#include "SimulatorHost.h"
#include "link/Tenths.h"
#include "trend/Quantity.h"
#include "ui/RecordsWindow.h"
#include "ui/TrendWindow.h"
#include "ui/TrendWindowParts.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QTextEdit>
#include <QTextStream>

namespace movratour {

using movra::tenthsText;
using movra::trend::Quantity;

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QString rowText(const QAbstractItemModel *m, int row)
{
    QStringList cells;
    for (int c = 0; c < m->columnCount(); ++c)
        cells << m->data(m->index(row, c)).toString();
    return cells.join(QStringLiteral(" | "));
}

QString allRows(const QAbstractItemModel *m)
{
    QStringList rows;
    for (int r = 0; r < m->rowCount(); ++r)
        rows << rowText(m, r);
    return rows.join(QLatin1Char('\n'));
}

// "24.3" from the reading label; NaN when it shows no reading.
double shownValue(const QString &text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? v : qQNaN();
}

QString verdictOf(QWidget *trend, const char *name)
{
    using movra::trendui::SteadyLabel;
    auto *label = trend ? trend->findChild<SteadyLabel *>(QLatin1String(name)) : nullptr;
    return label ? label->text() : QString();
}

} // namespace

void Tour::triggerMenuItem(const QString &text)
{
    auto *menu = widget<QTextEdit>("textEdit")->findChild<QMenu *>();
    const auto actions = menu ? menu->actions() : QList<QAction *>();
    for (QAction *a : actions) {
        if (a->text() == text) {
            a->trigger();
            return;
        }
    }
    m_out << "tour: the log pane's menu has no " << text << "\n";
}

bool Tour::toolWindows()
{
    return recordsStep() && reconnectStep() && settlingRun();
}

// The session just played is one unit: its connection, the batch reads,
// both writes, the four judged readings (three passed, one failed) and the
// disconnect. The store writes on a thread of its own, so the window is
// read again until the unit is complete.
bool Tour::recordsStep()
{
    const auto records = [this] {
        return m_window.findChild<RecordsWindow *>();
    };
    // As the serial-port library names it: /dev/pts/3 is "pts/3".
    QString port = m_sim.slavePath();
    if (port.startsWith(QLatin1String("/dev/")))
        port.remove(0, 5);
    const QString verdicts = u("合格 3 / 不合格 1");
    const QString written = tenthsText(m_opt.temperatureCorrection) + u(" ℃");
    const QString judged = tenthsText(m_opt.temperature + m_opt.temperatureCorrection);
    const bool ok = step(
        QStringLiteral("records-window"), [&] { triggerMenuItem(u("测试记录…")); },
        {
            {u("测试记录 shown"),
             [&] {
                 return records() && records()->isVisible();
             }},
            {u("one unit on ") + port + u(", KVT582, ") + verdicts,
             [&] {
                 RecordsWindow *w = records();
                 if (!w)
                     return false;
                 const QAbstractItemModel *units = w->unitsView()->model();
                 const QString unit = units->rowCount() == 1 ? rowText(units, 0) : QString();
                 const bool complete =
                     unit.contains(port) && unit.contains(u("KVT582")) && unit.contains(verdicts);
                 if (!complete)
                     w->reload();
                 return complete;
             }},
            {u("its records: the write of ") + written + u(", the reading ") + judged +
                 u(", the disconnect"),
             [&] {
                 const QString all =
                     records() ? allRows(records()->recordsView()->model()) : QString();
                 return all.contains(written) && all.contains(judged) && all.contains(u("断开"));
             }},
        },
        {[&]() -> QWidget * {
             RecordsWindow *w = records();
             auto *split = w ? w->findChild<QSplitter *>() : nullptr;
             if (split) {
                 // The unit's row and the rest for its records, as an operator
                 // would drag the splitter.
                 QTableView *units = w->unitsView();
                 const int unitsHeight = units->horizontalHeader()->height() +
                                         units->verticalHeader()->length() +
                                         2 * units->frameWidth() + 8;
                 split->setSizes({unitsHeight, split->height() - unitsHeight});
             }
             return w;
         },
         0});
    if (RecordsWindow *w = records()) {
        m_out << "tour:   unit: " << rowText(w->unitsView()->model(), 0) << "\n";
        m_out << "tour:   records: " << w->recordsView()->model()->rowCount() << "\n";
        w->close();
    }
    return ok;
}

bool Tour::reconnectStep()
{
    const QString rate = QString::number(m_opt.baudRate);
    return step(QStringLiteral("reconnect"),
                [&] {
                    // 站号 followed the written station; the rate is unchanged.
                    click(m_opt.baudRate == 9600 ? "connectButton" : "autoConnectButton");
                },
                {
                    {u("status bar: 设备连接成功"),
                     [&] {
                         return statusText().contains(u("设备连接成功"));
                     }},
                    {u("log: 设备连接成功,波特率为：") + rate,
                     [&] {
                         return newLog().contains(u("设备连接成功,波特率为：") + rate);
                     }},
                    {u("站号 ") + QString::number(m_opt.newAddress),
                     [&] {
                         return widget<QSpinBox>("readAddress_1")->value() == m_opt.newAddress;
                     }},
                });
}

// '+' on the chart, as an operator zooms in from the first hour.
void Tour::zoomTrendWithKeys(qint64 spanMs)
{
    auto *trend = m_window.findChild<TrendWindow *>();
    QWidget *chart = trend ? trend->findChild<QWidget *>(QStringLiteral("trendChart")) : nullptr;
    for (int i = 0; chart && i < 40 && trend->visibleToMs() - trend->visibleFromMs() > spanMs;
         ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Plus, Qt::NoModifier, QStringLiteral("+"));
        QCoreApplication::sendEvent(chart, &press);
    }
}

// The settling run and nothing of the first session, still following the
// newest reading. The chart draws its line on to the reading before the left
// edge, so the edge goes just after the run's first reading: the line from
// the first session's last one stays out of the picture.
void Tour::frameTheSettlingRun()
{
    auto *trend = m_window.findChild<TrendWindow *>();
    if (!trend || m_leadInFromMs == 0)
        return;
    const qint64 from = m_leadInFromMs + 300;
    const qint64 to = trend->visibleToMs();
    const qint64 span = to - trend->visibleFromMs();
    if (to > from)
        trend->zoom(double(span) / double(to - from), 1.0);
    trend->redrawNow();
}

void Tour::reportVerdicts()
{
    auto *trend = m_window.findChild<TrendWindow *>();
    m_out << u("tour:   verdict 温度: ") << verdictOf(trend, "temperatureVerdict") << " ("
          << verdictOf(trend, "temperatureVerdictDetail") << ")\n";
    m_out << u("tour:   verdict 湿度: ") << verdictOf(trend, "humidityVerdict") << " ("
          << verdictOf(trend, "humidityVerdictDetail") << ")\n";
}

TrendWindow *Tour::trendWindow() const
{
    return m_window.findChild<TrendWindow *>();
}

QWidget *Tour::trendShot()
{
    TrendWindow *trend = trendWindow();
    if (trend)
        trend->redrawNow();
    return trend;
}

QString Tour::temperatureVerdict() const
{
    return verdictOf(trendWindow(), "temperatureVerdict");
}

// The device adds the correction written earlier: raw values are set so
// that the window reads the planned ones.
movrasim::Settling Tour::settlingChange() const
{
    movrasim::Settling change;
    change.from = m_opt.settleFrom - m_opt.temperatureCorrection;
    change.to = m_opt.settleTo - m_opt.temperatureCorrection;
    change.timeMs = m_opt.settleTimeConstantMs;
    return change;
}

bool Tour::settlingRun()
{
    const bool ok = trendWindowStep() && settlingStep() && settledStep();
    reportVerdicts();
    return ok;
}

// The simulator holds the start value while the operator sets the check,
// reads every second and opens the trend window, zoomed in.
bool Tour::trendWindowStep()
{
    const QString from = tenthsText(m_opt.settleFrom);
    const QString to = tenthsText(m_opt.settleTo);
    const QString tolerance = tenthsText(m_opt.settleTolerance);
    const qint64 spanMs = 60 * 1000;
    // When the run's first reading came: the window logs each reading as
    // the trend takes it.
    const QString leadIn = u("\t温度:") + from + u(" ℃\t");
    const QMetaObject::Connection watch =
        QObject::connect(widget<QTextEdit>("textEdit"), &QTextEdit::textChanged, [this, leadIn] {
            if (m_leadInFromMs == 0 && newLog().contains(leadIn))
                m_leadInFromMs = QDateTime::currentMSecsSinceEpoch();
        });
    const bool ok =
        step(QStringLiteral("trend-window"),
             [&] {
                 m_sim.model().setFixedTemperature(qint16(settlingChange().from));
                 type("BaseTemp", to);
                 type("OffsetTemp", tolerance);
                 setChecked("checkBox_10", true);
                 // Temperature alone is judged: its band is the one to watch.
                 setChecked("checkBox_9", false);
                 widget<QSpinBox>("readTempInterval")->setValue(1);
                 widget<QSpinBox>("readHumiInterval")->setValue(1);
                 setChecked("checkBox_5", true);
                 setChecked("checkBox_6", true);
                 triggerMenuItem(u("趋势与统计…"));
                 zoomTrendWithKeys(spanMs);
             },
             {
                 {u("趋势与统计 shown, following, under a minute wide"),
                  [&] {
                      TrendWindow *t = trendWindow();
                      return t && t->isVisible() && t->follows() &&
                             t->visibleToMs() - t->visibleFromMs() <= spanMs;
                  }},
                 {u("判定窗口 ") + QString::number(m_opt.stabilityWindowSeconds) +
                      u(" s from Station.ini"),
                  [&] {
                      TrendWindow *t = trendWindow();
                      auto *w =
                          t ? t->findChild<QSpinBox *>(QStringLiteral("stabilityWindow")) : nullptr;
                      return w && w->value() == m_opt.stabilityWindowSeconds;
                  }},
                 {u("temperature band ") + to + u(" ± ") + tolerance,
                  [&] {
                      TrendWindow *t = trendWindow();
                      const auto band = t ? t->band(Quantity::Temperature) : movra::trend::Band{};
                      return band.enabled && qAbs(band.reference - m_opt.settleTo / 10.0) < 1e-6 &&
                             qAbs(band.tolerance - m_opt.settleTolerance / 10.0) < 1e-6;
                  }},
                 {QString::number(m_opt.leadInReadings) + u(" readings of ") + from + u(" ℃"),
                  [&] {
                      return newLogCount(leadIn) >= m_opt.leadInReadings;
                  }},
             },
             {[this] { return trendShot(); }, 0});
    QObject::disconnect(watch);
    return ok;
}

bool Tour::settlingStep()
{
    const double halfway = (m_opt.settleFrom + m_opt.settleTo) / 20.0;
    const double end = m_opt.settleTo / 10.0;
    return step(QStringLiteral("settling"),
                [&] { m_sim.model().settleTemperature(settlingChange()); },
                {
                    {u("温度 past ") + QString::number(halfway, 'f', 1) + u(", not yet ") +
                         tenthsText(m_opt.settleTo),
                     [&] {
                         const double v = shownValue(widget<QLabel>("label_Temp")->text());
                         return v > halfway && v < end;
                     }},
                    {u("verdict 未稳定"),
                     [&] {
                         return temperatureVerdict() == u("未稳定");
                     }},
                },
                {[this] { return trendShot(); }, 0});
}

// Until the readings have stayed within the stability band for a whole window.
bool Tour::settledStep()
{
    const QString to = tenthsText(m_opt.settleTo);
    const QString passes = u("\t温度:") + to + u(" ℃\t误差：0.0 ℃小于") +
                           tenthsText(m_opt.settleTolerance) + u("合格");
    const int settledWithinMs = int(settlingChange().durationMs()) +
                                m_opt.stabilityWindowSeconds * 1000 + m_opt.stepTimeoutMs;
    return step(QStringLiteral("settled"), [] {},
                {
                    {u("温度 shows ") + to,
                     [&] {
                         return widget<QLabel>("label_Temp")->text() == to;
                     }},
                    {u("log: ") + to + u(" ℃ passes"),
                     [&] {
                         return newLog().contains(passes);
                     }},
                    {u("verdict 稳定"),
                     [&] {
                         return temperatureVerdict() == u("稳定");
                     }},
                },
                {[this]() -> QWidget * {
                     frameTheSettlingRun();
                     return trendWindow();
                 },
                 settledWithinMs});
}

} // namespace movratour
