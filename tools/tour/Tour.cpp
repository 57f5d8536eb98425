#include "Tour.h"

#include "SimulatorHost.h"
#include "link/Tenths.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPixmap>
#include <QSpinBox>
#include <QStatusBar>
#include <QTextEdit>
#include <QTextStream>
#include <cstdlib>

namespace movratour {

using movra::tenthsText;

namespace {
QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}
} // namespace

Tour::Tour(QWidget &window, movrasim::SimulatorHost &simulator, const Options &options,
           QTextStream &out)
    : m_window(window), m_sim(simulator), m_opt(options), m_out(out), m_dir(options.outDir)
{
    // Boxes are modal and block the step that opened them; answer each one
    // and remember it, the step then counts as failed.
    m_boxAnswerer.setInterval(50);
    QObject::connect(&m_boxAnswerer, &QTimer::timeout, [this] { answerModalBox(); });
    m_boxAnswerer.start();
}

Tour::~Tour() = default;

template <typename T> T *Tour::widget(const char *name) const
{
    T *w = m_window.findChild<T *>(QLatin1String(name));
    if (!w) {
        // run() checked the controls first; this is a name missing there.
        m_out << "tour: the window has no " << name << "\n";
        m_out.flush();
        std::exit(2);
    }
    return w;
}

// TourWindows.cpp asks for these as well.
template QLabel *Tour::widget<QLabel>(const char *) const;
template QSpinBox *Tour::widget<QSpinBox>(const char *) const;
template QTextEdit *Tour::widget<QTextEdit>(const char *) const;

void Tour::click(const char *name)
{
    auto *button = widget<QAbstractButton>(name);
    if (!button->isEnabled())
        m_out << "tour: " << name << " is disabled, the click does nothing\n";
    button->click();
}

void Tour::setChecked(const char *name, bool on)
{
    auto *box = widget<QAbstractButton>(name);
    // A click, not setChecked(): the window listens to clicked() only.
    if (box->isChecked() != on)
        box->click();
}

void Tour::type(const char *name, const QString &text)
{
    auto *edit = widget<QLineEdit>(name);
    // insert() counts as an edit, so textEdited() fires as for typing.
    edit->selectAll();
    edit->insert(text);
}

void Tour::selectItem(const char *name, const QString &text)
{
    auto *combo = widget<QComboBox>(name);
    const int index = combo->findText(text);
    if (index < 0)
        m_out << "tour: " << name << " has no item " << text << "\n";
    else
        combo->setCurrentIndex(index);
}

QString Tour::logText() const
{
    return widget<QTextEdit>("textEdit")->toPlainText();
}

QString Tour::newLog() const
{
    return logText().mid(m_logMark);
}

int Tour::newLogCount(const QString &piece) const
{
    return newLog().count(piece);
}

QString Tour::statusText() const
{
    auto *window = qobject_cast<QMainWindow *>(&m_window);
    return window ? window->statusBar()->currentMessage() : QString();
}

void Tour::answerModalBox()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    QString text;
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        text = box->text();
    const QString entry = modal->windowTitle() + QStringLiteral(": ") + text.simplified();
    m_boxes << entry;
    m_out << "tour: answered a message box: " << entry << "\n";
    m_out.flush();
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        box->accept();
    else
        modal->close();
}

bool Tour::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() >= timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void Tour::screenshot(const QString &name, QWidget *target)
{
    QCoreApplication::processEvents();
    const QString path = m_dir.filePath(name + QStringLiteral(".png"));
    if ((target ? target : &m_window)->grab().save(path, "PNG"))
        m_out << "tour:   screenshot " << path << "\n";
    else
        m_out << "tour:   could not write " << path << "\n";
}

void Tour::saveLog()
{
    const QString path = m_dir.filePath(QStringLiteral("log.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_out << "tour: could not write " << path << "\n";
        return;
    }
    file.write(logText().toUtf8());
    file.write("\n");
    m_out << "tour: log pane saved to " << path << "\n";
}

bool Tour::step(const QString &name, const std::function<void()> &act, const QVector<Check> &checks)
{
    return step(name, act, checks, StepOptions());
}

bool Tour::step(const QString &name, const std::function<void()> &act, const QVector<Check> &checks,
                const StepOptions &options)
{
    const QString numbered =
        QStringLiteral("%1-%2").arg(++m_stepNumber, 2, 10, QLatin1Char('0')).arg(name);
    m_out << "tour: " << numbered << "\n";
    m_out.flush();
    m_logMark = logText().size();
    const int boxesBefore = m_boxes.size();

    QElapsedTimer clock;
    clock.start();
    act();
    const auto allHold = [&] {
        for (const Check &c : checks) {
            if (!c.holds())
                return false;
        }
        return true;
    };
    const int timeoutMs = options.timeoutMs > 0 ? options.timeoutMs : m_opt.stepTimeoutMs;
    const bool reached =
        waitUntil([&] { return allHold() || m_boxes.size() > boxesBefore; }, timeoutMs) &&
        m_boxes.size() == boxesBefore;

    if (reached) {
        m_out << "tour:   reached in " << QString::number(clock.elapsed() / 1000.0, 'f', 1)
              << " s\n";
    } else {
        m_out << "tour:   NOT reached after " << QString::number(clock.elapsed() / 1000.0, 'f', 1)
              << " s:\n";
        if (m_boxes.size() > boxesBefore)
            m_out << "tour:     a message box came up\n";
        for (const Check &c : checks) {
            if (!c.holds())
                m_out << "tour:     expected: " << c.what << "\n";
        }
    }
    screenshot(numbered, options.shot ? options.shot() : nullptr);
    m_out.flush();
    return reached;
}

int Tour::run()
{
    if (!m_dir.mkpath(QStringLiteral("."))) {
        m_out << "tour: cannot create " << m_opt.outDir << "\n";
        return 1;
    }
    // Every control the steps use, so a changed form ends the tour here
    // rather than halfway.
    const char *const controls[] = {
        "BaseHumi",         "BaseTemp",      "BraudRate_1",      "OffsetHumi",
        "OffsetTemp",       "SerialComNum",  "TempOffset_2",     "autoConnectButton",
        "braudRate_2",      "checkBox",      "checkBox_10",      "checkBox_2",
        "checkBox_3",       "checkBox_4",    "checkBox_5",       "checkBox_6",
        "checkBox_7",       "checkBox_9",    "connectButton",    "disConnectButton",
        "label_Humidy",     "label_Temp",    "manualReadButton", "readAddress_1",
        "readAddress_2",    "readAddress_3", "readButton",       "readHumiInterval",
        "readTempInterval", "tempOffset_1",  "textEdit",         "writeButton",
    };
    bool complete = true;
    for (const char *name : controls) {
        if (!m_window.findChild<QWidget *>(QLatin1String(name))) {
            m_out << "tour: the window has no " << name << "\n";
            complete = false;
        }
    }
    if (!complete)
        return 1;
    // Pictures of an earlier, longer run would pass for this one's.
    const QStringList stale = m_dir.entryList(
        {QStringLiteral("[0-9][0-9]-*.png"), QStringLiteral("log.txt")}, QDir::Files);
    for (const QString &name : stale)
        m_dir.remove(name);
    const QString rate = QString::number(m_opt.baudRate);
    const QString station = QString::number(m_opt.address);
    const QString newStation = QString::number(m_opt.newAddress);
    const int corrected = m_opt.temperature + m_opt.temperatureCorrection;
    const QString tempBefore = tenthsText(m_opt.temperature);
    const QString tempAfter = tenthsText(corrected);
    const QString humi = tenthsText(m_opt.humidity);
    // References on whole units, so the deviations are the readings' tenths.
    const int baseTemp = corrected / 10 * 10;
    const int baseHumi = m_opt.humidity / 10 * 10;
    const int tolTemp = 5;
    const int tolHumi = 10;

    auto label = [this](const char *name) {
        return widget<QLabel>(name)->text();
    };
    auto spin = [this](const char *name) {
        return widget<QSpinBox>(name)->value();
    };
    auto enabled = [this](const char *name) {
        return widget<QWidget>(name)->isEnabled();
    };
    auto checked = [this](const char *name) {
        return widget<QAbstractButton>(name)->isChecked();
    };
    auto logHas = [this](const QString &piece) {
        return Check{u("log: ") + piece.trimmed(), [this, piece] {
                         return newLog().contains(piece);
                     }};
    };

    bool ok = step(QStringLiteral("connect"),
                   [&] {
                       selectItem("SerialComNum", m_sim.slavePath());
                       widget<QSpinBox>("readAddress_1")->setValue(m_opt.address);
                       // The factory rate connects directly; any other one is found by
                       // the scan over all seven.
                       if (m_opt.baudRate == 9600) {
                           selectItem("BraudRate_1", rate);
                           click("connectButton");
                       } else {
                           click("autoConnectButton");
                       }
                   },
                   {
                       {u("status bar: 设备连接成功"),
                        [&] {
                            return statusText().contains(u("设备连接成功"));
                        }},
                       logHas(u("设备连接成功,波特率为：") + rate),
                       {u("连接设备 disabled, 断开连接 and 手动读取 enabled"),
                        [&] {
                            return !enabled("connectButton") && enabled("disConnectButton") &&
                                   enabled("manualReadButton");
                        }},
                   });

    ok = ok && step(QStringLiteral("manual-read"), [&] { click("manualReadButton"); },
                    {
                        logHas(u("正在手动读取温湿度值")),
                        logHas(u("\t温度:") + tempBefore + u(" ℃")),
                        logHas(u("\t湿度:") + humi + u(" %")),
                        {u("温度 shows ") + tempBefore,
                         [&] {
                             return label("label_Temp") == tempBefore;
                         }},
                        {u("湿度 shows ") + humi,
                         [&] {
                             return label("label_Humidy") == humi;
                         }},
                    });

    ok = ok && step(QStringLiteral("periodic-reading"),
                    [&] {
                        widget<QSpinBox>("readTempInterval")->setValue(1);
                        widget<QSpinBox>("readHumiInterval")->setValue(2);
                        setChecked("checkBox_5", true);
                        setChecked("checkBox_6", true);
                    },
                    {
                        {u("4 temperature lines"),
                         [&] {
                             return newLogCount(u("\t温度:")) >= 4;
                         }},
                        {u("2 humidity lines"),
                         [&] {
                             return newLogCount(u("\t湿度:")) >= 2;
                         }},
                    });

    ok = ok && step(QStringLiteral("batch-read"), [&] { click("readButton"); },
                    {
                        logHas(u("批量读取参数开始")),
                        logHas(u("设备地址为：") + station + u("\n")),
                        logHas(u("设备波特率为：") + rate),
                        logHas(u("设备温度修正为：0\n")),
                        logHas(u("已发完批量读取命令")),
                        {u("设备参数 station ") + station,
                         [&] {
                             return spin("readAddress_2") == m_opt.address;
                         }},
                        {u("设备参数 baud rate ") + rate,
                         [&] {
                             return widget<QComboBox>("braudRate_2")->itemText(0) == rate;
                         }},
                        {u("periodic reading switched off"),
                         [&] {
                             return !checked("checkBox_5") && !checked("checkBox_6");
                         }},
                    });

    ok = ok &&
         step(QStringLiteral("batch-write"),
              [&] {
                  widget<QSpinBox>("TempOffset_2")->setValue(m_opt.temperatureCorrection);
                  widget<QSpinBox>("readAddress_3")->setValue(m_opt.newAddress);
                  setChecked("checkBox", true);
                  setChecked("checkBox_2", false);
                  setChecked("checkBox_3", true);
                  setChecked("checkBox_4", false);
                  setChecked("checkBox_7", false);
                  click("writeButton");
              },
              {
                  logHas(u("批量写入参数开始")),
                  logHas(u("正在写入设备的温度修正为：") + tenthsText(m_opt.temperatureCorrection) +
                         u("℃")),
                  logHas(u("正在写入设备的地址为：") + newStation),
                  {u("two 写入成功"),
                   [&] {
                       return newLogCount(u("写入成功")) == 2;
                   }},
                  logHas(u("批量参数写入完成")),
                  {u("the device holds the new station and correction"),
                   [&] {
                       return m_sim.model().address() == m_opt.newAddress &&
                              m_sim.model().temperatureCorrection() == m_opt.temperatureCorrection;
                   }},
              });

    ok = ok && step(QStringLiteral("read-back"), [&] { click("readButton"); },
                    {
                        logHas(u("设备地址为：") + newStation + u("\n")),
                        logHas(u("设备温度修正为：") +
                               QString::number(m_opt.temperatureCorrection) + u("\n")),
                        logHas(u("已发完批量读取命令")),
                        {u("设备参数 station ") + newStation,
                         [&] {
                             return spin("readAddress_2") == m_opt.newAddress;
                         }},
                        {u("站号 follows to ") + newStation,
                         [&] {
                             return spin("readAddress_1") == m_opt.newAddress;
                         }},
                        {u("设备参数 temperature correction"),
                         [&] {
                             return spin("tempOffset_1") == m_opt.temperatureCorrection;
                         }},
                    });

    ok = ok && step(QStringLiteral("check-pass"),
                    [&] {
                        type("BaseTemp", tenthsText(baseTemp));
                        type("OffsetTemp", tenthsText(tolTemp));
                        type("BaseHumi", tenthsText(baseHumi));
                        type("OffsetHumi", tenthsText(tolHumi));
                        setChecked("checkBox_10", true);
                        setChecked("checkBox_9", true);
                        click("manualReadButton");
                    },
                    {
                        logHas(u("\t温度:") + tempAfter + u(" ℃\t误差：") +
                               tenthsText(corrected - baseTemp) + u(" ℃小于") +
                               tenthsText(tolTemp) + u("合格")),
                        logHas(u("\t湿度:") + humi + u(" %\t误差：") +
                               tenthsText(m_opt.humidity - baseHumi) + u(" %小于") +
                               tenthsText(tolHumi) + u("合格")),
                        {u("温度 shows ") + tempAfter,
                         [&] {
                             return label("label_Temp") == tempAfter;
                         }},
                    });

    ok = ok && step(QStringLiteral("check-fail"),
                    [&] {
                        type("BaseTemp", tenthsText(baseTemp - 10));
                        click("manualReadButton");
                    },
                    {
                        logHas(u("\t温度:") + tempAfter + u(" ℃\t误差：") +
                               tenthsText(corrected - baseTemp + 10) + u(" ℃大于") +
                               tenthsText(tolTemp) + u("不合格")),
                        logHas(u("\t湿度:") + humi + u(" %\t误差：")),
                    });

    ok = ok && step(QStringLiteral("disconnect"), [&] { click("disConnectButton"); },
                    {
                        {u("status bar: 设备已断开"),
                         [&] {
                             return statusText().contains(u("设备已断开"));
                         }},
                        logHas(u("设备已经断开")),
                        {u("连接设备 enabled, 手动读取 disabled"),
                         [&] {
                             return enabled("connectButton") && !enabled("manualReadButton");
                         }},
                    });

    ok = ok && toolWindows();

    saveLog();
    m_out << (ok ? "tour: every step reached its state\n" : "tour: stopped at a failed step\n");
    m_out.flush();
    return ok ? 0 : 1;
}

} // namespace movratour
