// Event filters for the dialogs a test meets.
#pragma once

#include <QDialog>
#include <QObject>
#include <QStringList>
#include <functional>
#include <list>

#include "TestSupport.h"

namespace movratest {

// Every dialog a test meets: the expected ones are answered through
// answerNextModal, all are counted, and `inside` runs while the first one is
// open. A fault must fail the test, not hang or crash it: a dialog still open
// after 5 s is closed, and answers left unused are used up on dummy dialogs
// before their records go away.
class Dialogs : public QObject
{
public:
    Dialogs();
    ~Dialogs() override;

    ModalRecord &expect(bool accept = true, const QString &text = QString());

    int shown = 0;
    std::function<void()> inside;

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    std::list<ModalRecord> m_records;
};

// Keeps the title and, for a message box, the text of every dialog as it is
// shown, and closes it after closeAfterMs with `result`, so a box the test
// did not expect is counted instead of blocking the run.
class DialogLog : public QObject
{
public:
    explicit DialogLog(int closeAfterMs = 0, QDialog::DialogCode result = QDialog::Accepted);
    ~DialogLog() override;

    QStringList titles;
    QStringList texts;

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    int m_closeAfterMs;
    QDialog::DialogCode m_result;
};

} // namespace movratest
