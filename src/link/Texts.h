// Operator texts. Every one is a Chinese literal looked up in the window's
// translation context, wherever in the code it is composed, so a translator
// sees them all in one place and lupdate finds each literal.
#pragma once

#include <QCoreApplication>
#include <QString>

namespace movra {

// Tr::tr("...") for a literal; uiText for one marked with QT_TRANSLATE_NOOP.
struct Tr
{
    Q_DECLARE_TR_FUNCTIONS(MovraTestTool)
};

inline QString uiText(const char *source)
{
    return QCoreApplication::translate("MovraTestTool", source);
}

namespace texts {
// Hints of the time-outs and of a rejected write: a rejected write shows the
// first, the automatic scan the first two, a manual attempt all of them.
constexpr const char *kHintWiring =
    QT_TRANSLATE_NOOP("MovraTestTool", "1.检查设备与USB工具连接是否正确\r\n");
constexpr const char *kHintPort = QT_TRANSLATE_NOOP("MovraTestTool", "2.检查串口是否选择正确\r\n");
constexpr const char *kHintRateStation =
    QT_TRANSLATE_NOOP("MovraTestTool", "3.波特率是否选择正确\r\n4.站号是否选择正确\r\n");
} // namespace texts

inline QString autoConnectHints()
{
    return uiText(texts::kHintWiring) + uiText(texts::kHintPort);
}
inline QString manualConnectHints()
{
    return autoConnectHints() + uiText(texts::kHintRateStation);
}

} // namespace movra
