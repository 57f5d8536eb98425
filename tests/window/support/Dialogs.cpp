#include "Dialogs.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <vector>

namespace movratest {

namespace {

struct Answer
{
    ModalRecord *record;
    bool accept;
    QString text;
};

// The one event filter: on a dialog's Show it hands out the oldest answer
// waiting, then tells every observer. Answers and closings are queued, as
// the dialog's own event loop only starts once it is shown.
class Watch : public QObject
{
public:
    using Observer = std::function<void(QDialog *)>;

    static Watch &instance()
    {
        static Watch watch;
        return watch;
    }

    void addAnswer(const Answer &answer)
    {
        m_answers.push_back(answer);
        update();
    }
    void dropAnswers(const ModalRecord *record)
    {
        m_answers.erase(std::remove_if(m_answers.begin(), m_answers.end(),
                                       [record](const Answer &a) { return a.record == record; }),
                        m_answers.end());
        update();
    }
    void addObserver(const void *owner, Observer observer)
    {
        m_observers.push_back({owner, std::move(observer)});
        update();
    }
    void dropObserver(const void *owner)
    {
        m_observers.erase(std::remove_if(m_observers.begin(), m_observers.end(),
                                         [owner](const auto &o) { return o.first == owner; }),
                          m_observers.end());
        update();
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        // Every event of the program passes here: the cheap test first.
        if (event->type() != QEvent::Show && event->type() != QEvent::Hide)
            return false;
        auto *dialog = qobject_cast<QDialog *>(object);
        if (!dialog)
            return false;
        if (event->type() == QEvent::Hide)
            dialog->setProperty(kShowing, false);
        if (event->type() != QEvent::Show || dialog->property(kShowing).toBool())
            return false;
        dialog->setProperty(kShowing, true);
        if (!m_answers.empty()) {
            const Answer answer = m_answers.front();
            m_answers.pop_front();
            apply(dialog, answer);
        }
        // A copy: an observer may end its owner's watching.
        const auto observers = m_observers;
        for (const auto &o : observers)
            o.second(dialog);
        update();
        return false;
    }

private:
    static constexpr const char *kShowing = "movratest_showing";

    static void apply(QDialog *dialog, const Answer &answer)
    {
        ModalRecord &r = *answer.record;
        r.seen = true;
        r.title = dialog->windowTitle();
        auto *input = qobject_cast<QInputDialog *>(dialog);
        if (auto *box = qobject_cast<QMessageBox *>(dialog))
            r.text = box->text();
        if (input) {
            r.label = input->labelText();
            input->setTextValue(answer.text);
        }
        auto *files = qobject_cast<QFileDialog *>(dialog);
        if (files) {
            r.label = files->selectedFiles().value(0); // what the dialog proposed
            files->selectFile(answer.text);
        }
        const bool accept = answer.accept || !(input || files);
        QTimer::singleShot(0, dialog, [dialog, accept] { dialog->done(accept ? 1 : 0); });
    }

    void update()
    {
        const bool wanted = !m_answers.empty() || !m_observers.empty();
        if (wanted != m_installed) {
            m_installed = wanted;
            if (wanted)
                qApp->installEventFilter(this);
            else
                qApp->removeEventFilter(this);
        }
    }

    std::deque<Answer> m_answers;
    std::vector<std::pair<const void *, Observer>> m_observers;
    bool m_installed = false;
};

void closeLater(QDialog *dialog, int ms, QDialog::DialogCode result)
{
    QTimer::singleShot(ms, dialog, [dialog, result] { dialog->done(result); });
}

} // namespace

ModalRecord::~ModalRecord()
{
    Watch::instance().dropAnswers(this);
}

void answerNextModal(ModalRecord *record, bool accept, const QString &text)
{
    Watch::instance().addAnswer({record, accept, text});
}

Dialogs::Dialogs()
{
    Watch::instance().addObserver(this, [this](QDialog *dialog) {
        ++shown;
        closeLater(dialog, 5000, QDialog::Rejected);
        if (inside) {
            auto run = std::move(inside);
            inside = nullptr;
            run();
        }
    });
}

Dialogs::~Dialogs()
{
    Watch::instance().dropObserver(this);
}

ModalRecord &Dialogs::expect(bool accept, const QString &text)
{
    m_records.emplace_back();
    answerNextModal(&m_records.back(), accept, text);
    return m_records.back();
}

DialogLog::DialogLog(int closeAfterMs, QDialog::DialogCode result)
    : m_closeAfterMs(closeAfterMs), m_result(result)
{
    Watch::instance().addObserver(this, [this](QDialog *dialog) {
        titles << dialog->windowTitle();
        auto *box = qobject_cast<QMessageBox *>(dialog);
        texts << (box ? box->text() : QString());
        closeLater(dialog, m_closeAfterMs, m_result);
    });
}

DialogLog::~DialogLog()
{
    Watch::instance().dropObserver(this);
}

} // namespace movratest
