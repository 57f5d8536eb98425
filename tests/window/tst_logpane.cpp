// The log pane: line stamps, the block limit, the context menu and clearing.
#include <QAction>
#include <QClipboard>
#include <QCursor>
#include <QDateTime>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QWindow>
#include <QtTest>

#include "TestSupport.h"

namespace {

const QRegularExpression
    kStamped(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2})\\t(.*)$"),
             QRegularExpression::DotMatchesEverythingOption);

// The pane's own context menu; the window keeps no other menu.
QMenu *logMenu(MovraTestTool &w)
{
    return movratest::form(w).textEdit->findChild<QMenu *>();
}

// A line as the engine reports it, through the window's handler.
void appendLog(MovraTestTool &w, const QString &message)
{
    emit w.session().logMessage(message);
}

QAction *menuAction(MovraTestTool &w, const QString &text)
{
    const auto actions = logMenu(w)->actions();
    for (QAction *a : actions) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

} // namespace

class TestLogPane : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void stampAndMessage_data();
    void stampAndMessage();
    void lineBreaks_data();
    void lineBreaks();
    void blockLimit();

    void menuLayout();
    void menuShownAtCursor();
    void clearing_data();
    void clearing();
    void selectAll();
    void copy_data();
    void copy();
};

void TestLogPane::initTestCase()
{
    movratest::useOwnSettingsFolder();
    movratest::removeSettings();
}

void TestLogPane::cleanupTestCase()
{
    movratest::removeSettings();
}

void TestLogPane::stampAndMessage_data()
{
    QTest::addColumn<QString>("message");

    QTest::newRow("plain") << QString::fromUtf8("设备已经断开");
    QTest::newRow("leading and trailing blanks") << QStringLiteral("  padded text   ");
    QTest::newRow("only blanks") << QStringLiteral("   ");
    QTest::newRow("empty") << QString();
    QTest::newRow("inner tab") << QStringLiteral("a\tb");
    QTest::newRow("digits and colons") << QStringLiteral("12:34:56 2024-01-01");
}

void TestLogPane::stampAndMessage()
{
    QFETCH(QString, message);

    MovraTestTool w;
    w.ticker().stop();
    const int blocksBefore = movratest::form(w).textEdit->document()->blockCount();

    // The stamp has whole seconds; compare it against the clock read around
    // the call rather than waiting for anything.
    const QDateTime before = QDateTime::currentDateTime();
    appendLog(w, message);
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(movratest::form(w).textEdit->document()->blockCount(), blocksBefore + 1);
    const QString line = movratest::logLines(w).constLast();
    const QRegularExpressionMatch m = kStamped.match(line);
    QVERIFY2(m.hasMatch(), qPrintable(line));
    QCOMPARE(m.captured(2), message);

    const QDateTime stamp = QDateTime::fromString(m.captured(1), "yyyy-MM-dd HH:mm:ss");
    QVERIFY2(stamp.isValid(), qPrintable(m.captured(1)));
    QDateTime floor = before;
    floor.setTime(QTime(before.time().hour(), before.time().minute(), before.time().second()));
    QVERIFY2(stamp >= floor && stamp <= after, qPrintable(m.captured(1)));
}

void TestLogPane::lineBreaks_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("tail"); // blocks after the stamp's own block

    QTest::newRow("CR LF at the end") << QString::fromUtf8("正在连接设备……\r\n") << QStringList{""};
    QTest::newRow("LF at the end") << QStringLiteral("done\n") << QStringList{""};
    QTest::newRow("CR LF inside") << QStringLiteral("first\r\nsecond") << QStringList{"second"};
    QTest::newRow("two CR LF at the end") << QStringLiteral("x\r\n\r\n") << QStringList{"", ""};
}

void TestLogPane::lineBreaks()
{
    QFETCH(QString, message);
    QFETCH(QStringList, tail);

    MovraTestTool w;
    w.ticker().stop();
    const int blocksBefore = movratest::form(w).textEdit->document()->blockCount();
    appendLog(w, message);

    const QStringList lines = movratest::logLines(w);
    QCOMPARE(lines.size(), blocksBefore + 1 + tail.size());
    QCOMPARE(lines.mid(lines.size() - tail.size()), tail);

    const QString head = lines.at(lines.size() - tail.size() - 1);
    const QRegularExpressionMatch m = kStamped.match(head);
    QVERIFY2(m.hasMatch(), qPrintable(head));
    // No carriage return is left in any block.
    QCOMPARE(m.captured(2), message.section(QRegularExpression("\r?\n"), 0, 0));
    for (const QString &l : lines)
        QVERIFY(!l.contains(QLatin1Char('\r')));
}

void TestLogPane::blockLimit()
{
    MovraTestTool w;
    w.ticker().stop();
    QTextDocument *doc = movratest::form(w).textEdit->document();
    QCOMPARE(doc->maximumBlockCount(), 1000);

    for (int i = 0; i < 1500; ++i)
        appendLog(w, QStringLiteral("line %1").arg(i));

    QCOMPARE(doc->blockCount(), 1000);
    const QStringList lines = movratest::logLines(w);
    QCOMPARE(lines.size(), 1000);
    QVERIFY(!movratest::logText(w).contains(QString::fromUtf8("欢迎使用")));
    QVERIFY(!movratest::logText(w).contains(QLatin1String("ardeno.example")));
    QVERIFY2(lines.constFirst().endsWith(QLatin1String("\tline 500")),
             qPrintable(lines.constFirst()));
    QVERIFY2(lines.constLast().endsWith(QLatin1String("\tline 1499")),
             qPrintable(lines.constLast()));

    // Further lines keep pushing the oldest out.
    appendLog(w, QStringLiteral("one more"));
    QCOMPARE(doc->blockCount(), 1000);
    QVERIFY(movratest::logLines(w).constFirst().endsWith(QLatin1String("\tline 501")));
}

void TestLogPane::menuLayout()
{
    MovraTestTool w;
    w.ticker().stop();
    QTextEdit *pane = movratest::form(w).textEdit;
    QMenu *menu = logMenu(w);

    QCOMPARE(pane->contextMenuPolicy(), Qt::CustomContextMenu);
    QVERIFY(menu);
    QCOMPARE(menu->parent(), pane);
    QCOMPARE(pane->findChildren<QMenu *>().size(), 1);

    // The pane's own three items come first; the tool's own items, if any,
    // follow after a separator.
    const QList<QAction *> actions = menu->actions();
    QVERIFY(actions.size() == 5 || (actions.size() > 6 && actions.at(5)->isSeparator()));
    QCOMPARE(actions.at(0)->text(), QString::fromUtf8("复制"));
    QVERIFY(actions.at(1)->isSeparator());
    QCOMPARE(actions.at(2)->text(), QString::fromUtf8("选择全部"));
    QVERIFY(actions.at(3)->isSeparator());
    QCOMPARE(actions.at(4)->text(), QString::fromUtf8("清除"));

    QCOMPARE(actions.at(0)->shortcut(), QKeySequence(QKeySequence::Copy));
    QCOMPARE(actions.at(0)->shortcutContext(), Qt::WidgetShortcut);
    QCOMPARE(actions.at(2)->shortcut(), QKeySequence(QKeySequence::SelectAll));
    QCOMPARE(actions.at(2)->shortcutContext(), Qt::WidgetShortcut);
    QVERIFY(actions.at(4)->shortcut().isEmpty());

    for (int i : {0, 2, 4})
        QCOMPARE(actions.at(i)->parent(), pane);
    // Only the menu carries them.
    QVERIFY(pane->actions().isEmpty());
    for (int i : {0, 2, 4})
        QVERIFY(!w.actions().contains(actions.at(i)));
}

void TestLogPane::menuShownAtCursor()
{
    MovraTestTool w;
    w.ticker().stop();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QMenu *menu = logMenu(w);
    QVERIFY(!menu->isVisible());

    QCursor::setPos(123, 234);
    const QPoint cursor = QCursor::pos();
    // The point handed over is not where the menu goes.
    emit movratest::form(w).textEdit->customContextMenuRequested(QPoint(7, 9));
    QVERIFY(menu->isVisible());
    // move() places the frame; the offscreen platform draws a 2 px frame, so
    // the window handle's frame position is where the menu was put.
    QVERIFY(menu->windowHandle());
    QCOMPARE(menu->windowHandle()->framePosition(), cursor);
    menu->hide();
}

void TestLogPane::clearing_data()
{
    QTest::addColumn<bool>("byButton");
    QTest::newRow("menu 清除") << false;
    QTest::newRow("readButton_2") << true;
}

void TestLogPane::clearing()
{
    QFETCH(bool, byButton);

    MovraTestTool w;
    w.ticker().stop();
    appendLog(w, QStringLiteral("something"));
    QVERIFY(!movratest::logText(w).isEmpty());

    if (byButton) {
        movratest::form(w).readButton_2->click();
    } else {
        QAction *clear = menuAction(w, QString::fromUtf8("清除"));
        QVERIFY(clear);
        clear->trigger();
    }

    QCOMPARE(movratest::logText(w), QString());
    QCOMPARE(movratest::form(w).textEdit->document()->blockCount(), 1);
    // The pane keeps working afterwards.
    appendLog(w, QStringLiteral("after"));
    QVERIFY(movratest::logLines(w).constLast().endsWith(QLatin1String("\tafter")));
}

void TestLogPane::selectAll()
{
    MovraTestTool w;
    w.ticker().stop();
    appendLog(w, QStringLiteral("last line"));
    QTextEdit *pane = movratest::form(w).textEdit;
    QVERIFY(!pane->textCursor().hasSelection());

    QAction *all = menuAction(w, QString::fromUtf8("选择全部"));
    QVERIFY(all);
    all->trigger();

    const QTextCursor c = pane->textCursor();
    QCOMPARE(c.selectionStart(), 0);
    QCOMPARE(c.selectionEnd(), pane->document()->characterCount() - 1);
    const QString selected = c.selectedText().replace(QChar::ParagraphSeparator, '\n');
    QCOMPARE(selected, pane->toPlainText());
    QVERIFY(selected.startsWith(QString::fromUtf8("欢迎使用")));
}

void TestLogPane::copy_data()
{
    QTest::addColumn<bool>("selectFirst");
    QTest::newRow("nothing selected") << false;
    QTest::newRow("all selected") << true;
}

void TestLogPane::copy()
{
    QFETCH(bool, selectFirst);

    MovraTestTool w;
    w.ticker().stop();
    appendLog(w, QStringLiteral("to the clipboard"));
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("untouched"));

    if (selectFirst)
        menuAction(w, QString::fromUtf8("选择全部"))->trigger();
    QAction *copy = menuAction(w, QString::fromUtf8("复制"));
    QVERIFY(copy);
    copy->trigger();

    if (selectFirst)
        QCOMPARE(clipboard->text(), movratest::logText(w));
    else
        QCOMPARE(clipboard->text(), QStringLiteral("untouched"));
}

QTEST_MAIN(TestLogPane)
#include "tst_logpane.moc"
