// The dialogs a test meets: one watch sees every dialog as it is shown, and
// answers it, counts it, records it or closes it, as the test asked.
#pragma once

#include <QDialog>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <list>

namespace movratest {

// What the answered dialog showed.
struct ModalRecord
{
    bool seen = false;
    QString title;
    QString text;  // a message box's text
    QString label; // an input dialog's label; the name a file dialog proposed

    ModalRecord() = default;
    ModalRecord(const ModalRecord &) = default;
    ModalRecord &operator=(const ModalRecord &) = default;
    // An answer still waiting for its dialog is withdrawn.
    ~ModalRecord();
};

// Answers the next dialog shown, after noting it in `record`: a message box
// is confirmed; an input dialog gets `text`, a file dialog the file name
// `text`, and is confirmed or, with `accept` false, cancelled. Call before the action that opens it; answers
// are used in the order they were asked for.
void answerNextModal(ModalRecord *record, bool accept = true, const QString &text = QString());

// Counts every dialog shown while it lives and runs `inside` while the
// first one is open. A fault must fail the test, not hang it: a dialog
// still open after 5 s is cancelled.
class Dialogs
{
public:
    Dialogs();
    ~Dialogs();
    Dialogs(const Dialogs &) = delete;
    Dialogs &operator=(const Dialogs &) = delete;

    // An answer for the next dialog, kept until this goes.
    ModalRecord &expect(bool accept = true, const QString &text = QString());

    int shown = 0;
    std::function<void()> inside;

private:
    std::list<ModalRecord> m_records;
};

// Keeps the title and, for a message box, the text of every dialog shown
// while it lives, and closes each after closeAfterMs with `result`, so a box
// the test did not expect is counted instead of blocking the run.
class DialogLog
{
public:
    explicit DialogLog(int closeAfterMs = 0, QDialog::DialogCode result = QDialog::Accepted);
    ~DialogLog();
    DialogLog(const DialogLog &) = delete;
    DialogLog &operator=(const DialogLog &) = delete;

    QStringList titles;
    QStringList texts;

private:
    int m_closeAfterMs;
    QDialog::DialogCode m_result;
};

} // namespace movratest
