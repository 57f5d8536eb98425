#include "MovraTestTool.h"

#include <QInputDialog>

namespace {
const char *const kPasswords[] = {"Wxdo582039", "Wxdo930285", "WXDO582039",
                                  "WXDO930285", "wxdo582039", "wxdo930285"};
} // namespace

void MovraTestTool::onInputPasswordButtonClicked()
{
    if (testMode) {
        appendLog(tr("已经关闭测试模式\r\n"));
        testMode = false;
        ui.pushButton->setText(tr("打开测试模式"));
        return;
    }

    bool ok = false;
    const QString entered = QInputDialog::getText(this, tr("密码输入"), tr("请输入程序维护密码"),
                                                  QLineEdit::Normal, QString(), &ok);
    if (!ok || entered.isEmpty())
        return;

    for (const char *password : kPasswords) {
        if (entered == QLatin1String(password)) {
            appendLog(tr("测试模式验证成功\r\n"));
            testMode = true;
            ui.pushButton->setText(tr("关闭测试模式"));
            return;
        }
    }
    appendLog(tr("测试模式失败,请联系厂家获取密码\r\n"));
    testMode = false;
}
