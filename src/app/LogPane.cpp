#include "app/MovraTestTool.h"

#include <QCursor>
#include <QDateTime>
#include <QKeySequence>
#include <QLocale>
#include <QMenu>

void MovraTestTool::setupLogPane()
{
    QTextEdit *pane = ui.textEdit;
    pane->document()->setMaximumBlockCount(1000);
    // Everything logged reads left to right. Saying so spares the layout a
    // scan of every block's characters for its direction, which it repeats
    // for all 1000 blocks whenever the oldest one drops out at the cap.
    QTextOption direction = pane->document()->defaultTextOption();
    direction.setTextDirection(Qt::LeftToRight);
    pane->document()->setDefaultTextOption(direction);
    pane->setContextMenuPolicy(Qt::CustomContextMenu);

    copyAction = new QAction(tr("复制"), pane);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);

    selectAllAction = new QAction(tr("选择全部"), pane);
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    selectAllAction->setShortcutContext(Qt::WidgetShortcut);

    clearAction = new QAction(tr("清除"), pane);

    logMenu = new QMenu(pane);
    logMenu->addAction(copyAction);
    logMenu->addSeparator();
    logMenu->addAction(selectAllAction);
    logMenu->addSeparator();
    logMenu->addAction(clearAction);

    connect(copyAction, SIGNAL(triggered()), pane, SLOT(copy()));
    connect(selectAllAction, SIGNAL(triggered()), pane, SLOT(selectAll()));
    connect(clearAction, &QAction::triggered, pane, [pane](bool) { pane->clear(); });
    connect(pane, &QWidget::customContextMenuRequested, logMenu, [this](const QPoint &) {
        logMenu->move(QCursor::pos());
        logMenu->show();
    });
    addToolItems();
}

QString MovraTestTool::logStamp()
{
    return QLocale::system().toString(QDateTime::currentDateTime(),
                                      QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

void MovraTestTool::appendLog(const QString &message)
{
    appendLogLine(logStamp() + QLatin1Char('\t') + message);
}

void MovraTestTool::appendLogLine(const QString &line)
{
    ui.textEdit->append(line);
}

void MovraTestTool::onAutoReadButtonClicked()
{
    // Despite its name this is the "clear window" button.
    ui.textEdit->clear();
}
