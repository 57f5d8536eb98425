#include "Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>

namespace movratest {

Dialogs::Dialogs()
{
    qApp->installEventFilter(this);
}

Dialogs::~Dialogs()
{
    qApp->removeEventFilter(this);
    const auto unanswered = std::count_if(m_records.begin(), m_records.end(),
                                          [](const ModalRecord &r) { return !r.seen; });
    for (auto left = unanswered; left > 0; --left) {
        QDialog dummy;
        QTimer::singleShot(200, &dummy, &QDialog::reject);
        dummy.exec();
    }
}

ModalRecord &Dialogs::expect(bool accept, const QString &text)
{
    m_records.emplace_back();
    answerNextModal(&m_records.back(), accept, text);
    return m_records.back();
}

bool Dialogs::eventFilter(QObject *object, QEvent *event)
{
    if (event->type() != QEvent::Show)
        return false;
    auto *dialog = qobject_cast<QDialog *>(object);
    if (!dialog)
        return false;
    ++shown;
    QTimer::singleShot(5000, dialog, [dialog]() { dialog->done(QDialog::Rejected); });
    if (inside) {
        auto run = std::move(inside);
        inside = nullptr;
        run();
    }
    return false;
}

DialogLog::DialogLog(int closeAfterMs, QDialog::DialogCode result)
    : m_closeAfterMs(closeAfterMs), m_result(result)
{
    qApp->installEventFilter(this);
}

DialogLog::~DialogLog()
{
    qApp->removeEventFilter(this);
}

bool DialogLog::eventFilter(QObject *object, QEvent *event)
{
    if (event->type() != QEvent::Show)
        return false;
    auto *dialog = qobject_cast<QDialog *>(object);
    if (!dialog || dialog->property("movra_counted").toBool())
        return false;
    dialog->setProperty("movra_counted", true);
    titles << dialog->windowTitle();
    auto *box = qobject_cast<QMessageBox *>(dialog);
    texts << (box ? box->text() : QString());
    const QDialog::DialogCode result = m_result;
    QTimer::singleShot(m_closeAfterMs, dialog, [dialog, result]() { dialog->done(result); });
    return false;
}

} // namespace movratest
