#include "Dialogs.h"

#include <QApplication>
#include <QDialog>
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

} // namespace movratest
