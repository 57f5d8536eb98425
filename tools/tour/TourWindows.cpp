// The tour's second part: the tool's own windows, reached from the log
// pane's menu. First the records of the session just played, then a new
// connection for the settling run (TourSettling.cpp).
#include "Tour.h"

#include "SimulatorHost.h"
#include "link/Tenths.h"
#include "ui/RecordsWindow.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QHeaderView>
#include <QMenu>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QTextEdit>
#include <QTextStream>

namespace movratour {

using movra::tenthsText;

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

} // namespace

void Tour::triggerMenuItem(const QString &source)
{
    // The window's menu speaks the window's language.
    const QString text = QCoreApplication::translate("MovraTestTool", source.toUtf8().constData());
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

// As the serial-port library names it: /dev/pts/3 is "pts/3".
QString Tour::listedPortName() const
{
    QString port = m_sim.slavePath();
    if (port.startsWith(QLatin1String("/dev/")))
        port.remove(0, 5);
    return port;
}

RecordsWindow *Tour::recordsWindow() const
{
    return m_window.findChild<RecordsWindow *>();
}

// The store writes on a thread of its own, so the window is read again until
// the unit is complete.
bool Tour::recordsShowOneUnit(const QString &port, const QString &verdicts)
{
    RecordsWindow *w = recordsWindow();
    if (!w)
        return false;
    const QAbstractItemModel *units = w->unitsView()->model();
    const QString unit = units->rowCount() == 1 ? rowText(units, 0) : QString();
    const bool complete =
        unit.contains(port) && unit.contains(u("KVT582")) && unit.contains(verdicts);
    if (!complete)
        w->reload();
    return complete;
}

QWidget *Tour::recordsShot()
{
    RecordsWindow *w = recordsWindow();
    auto *split = w ? w->findChild<QSplitter *>() : nullptr;
    if (split) {
        // The unit's row and the rest for its records, as an operator
        // would drag the splitter.
        QTableView *units = w->unitsView();
        const int unitsHeight = units->horizontalHeader()->height() +
                                units->verticalHeader()->length() + 2 * units->frameWidth() + 8;
        split->setSizes({unitsHeight, split->height() - unitsHeight});
    }
    return w;
}

// The session just played is one unit: its connection, the batch reads,
// both writes, the four judged readings (three passed, one failed) and the
// disconnect.
bool Tour::recordsStep()
{
    const QString port = listedPortName();
    const QString verdicts = u("合格 3 / 不合格 1");
    const QString written = tenthsText(m_opt.temperatureCorrection) + u(" ℃");
    const QString judged = tenthsText(m_opt.temperature + m_opt.temperatureCorrection);
    const bool ok = step(
        QStringLiteral("records-window"), [&] { triggerMenuItem(u("测试记录…")); },
        {
            {u("测试记录 shown"),
             [&] {
                 return recordsWindow() && recordsWindow()->isVisible();
             }},
            {u("one unit on ") + port + u(", KVT582, ") + verdicts,
             [&] {
                 return recordsShowOneUnit(port, verdicts);
             }},
            {u("its records: the write of ") + written + u(", the reading ") + judged +
                 u(", the disconnect"),
             [&] {
                 RecordsWindow *w = recordsWindow();
                 const QString all = w ? allRows(w->recordsView()->model()) : QString();
                 return all.contains(written) && all.contains(judged) && all.contains(u("断开"));
             }},
        },
        {[this] { return recordsShot(); }, 0});
    if (RecordsWindow *w = recordsWindow()) {
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

} // namespace movratour
