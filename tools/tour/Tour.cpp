#include "Tour.h"

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

// The steps in the other files ask for these as well.
template QComboBox *Tour::widget<QComboBox>(const char *) const;
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

QString Tour::labelText(const char *name) const
{
    return widget<QLabel>(name)->text();
}

int Tour::spinValue(const char *name) const
{
    return widget<QSpinBox>(name)->value();
}

bool Tour::isEnabled(const char *name) const
{
    return widget<QWidget>(name)->isEnabled();
}

bool Tour::isChecked(const char *name) const
{
    return widget<QAbstractButton>(name)->isChecked();
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

Tour::Check Tour::logHas(const QString &piece) const
{
    return Check{u("log: ") + piece.trimmed(), [this, piece] {
                     return newLog().contains(piece);
                 }};
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
    return reached || !m_opt.judged;
}

// Every control the steps use, so a changed form ends the tour here rather
// than halfway.
bool Tour::hasEveryControl()
{
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
    return complete;
}

// Pictures of an earlier, longer run would pass for this one's.
void Tour::removeStalePictures()
{
    const QStringList stale = m_dir.entryList(
        {QStringLiteral("[0-9][0-9]-*.png"), QStringLiteral("log.txt")}, QDir::Files);
    for (const QString &name : stale)
        m_dir.remove(name);
}

int Tour::run()
{
    if (!m_dir.mkpath(QStringLiteral("."))) {
        m_out << "tour: cannot create " << m_opt.outDir << "\n";
        return 1;
    }
    if (!hasEveryControl())
        return 1;
    removeStalePictures();

    const bool ok = firstSession() && toolWindows();

    saveLog();
    m_out << (ok ? "tour: every step reached its state\n" : "tour: stopped at a failed step\n");
    m_out.flush();
    return ok ? 0 : 1;
}

} // namespace movratour
