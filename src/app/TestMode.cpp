#include "app/MovraTestTool.h"

#include <QInputDialog>

#include "engine/TestModePassword.h"

void MovraTestTool::onInputPasswordButtonClicked()
{
    if (engine.testMode()) {
        appendLog(tr("已经关闭测试模式\r\n"));
        engine.setTestMode(false);
        ui.pushButton->setText(tr("打开测试模式"));
        return;
    }

    bool ok = false;
    const QString entered = QInputDialog::getText(this, tr("密码输入"), tr("请输入程序维护密码"),
                                                  QLineEdit::Normal, QString(), &ok);
    if (!ok || entered.isEmpty())
        return;

    if (movra::isTestModePassword(entered)) {
        appendLog(tr("测试模式验证成功\r\n"));
        engine.setTestMode(true);
        ui.pushButton->setText(tr("关闭测试模式"));
        return;
    }
    appendLog(tr("测试模式失败,请联系厂家获取密码\r\n"));
    engine.setTestMode(false);
}
