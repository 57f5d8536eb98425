// The tour's last part: a unit settling after a temperature step, watched
// in the trend window until its verdict turns stable.
#include "Tour.h"

#include "SimulatorHost.h"
#include "link/Tenths.h"
#include "trend/Quantity.h"
#include "ui/TrendWindow.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QSpinBox>
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

// "24.3" from the reading label; NaN when it shows no reading.
double shownValue(const QString &text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? v : qQNaN();
}

QString verdictOf(QWidget *trend, const char *name)
{
    auto *label = trend ? trend->findChild<QLabel *>(QLatin1String(name)) : nullptr;
    return label ? label->text() : QString();
}

} // namespace

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
void Tour::prepareTheSettlingRun(qint64 spanMs)
{
    m_sim.model().setFixedTemperature(qint16(settlingChange().from));
    type("BaseTemp", tenthsText(m_opt.settleTo));
    type("OffsetTemp", tenthsText(m_opt.settleTolerance));
    setChecked("checkBox_10", true);
    // Temperature alone is judged: its band is the one to watch.
    setChecked("checkBox_9", false);
    widget<QSpinBox>("readTempInterval")->setValue(1);
    widget<QSpinBox>("readHumiInterval")->setValue(1);
    setChecked("checkBox_5", true);
    setChecked("checkBox_6", true);
    triggerMenuItem(u("趋势与统计…"));
    zoomTrendWithKeys(spanMs);
}

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
        step(QStringLiteral("trend-window"), [&] { prepareTheSettlingRun(spanMs); },
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
