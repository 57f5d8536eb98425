// Operator texts of the link: Chinese literals in the "Link" translation
// context, so a translator sees the protocol's wording together and lupdate
// finds each literal where it is written.
#pragma once

#include <QCoreApplication>
#include <QString>

namespace movra {

// LinkText::tr("...") for a literal; linkText for one marked with
// QT_TRANSLATE_NOOP("Link", ...).
struct LinkText
{
    Q_DECLARE_TR_FUNCTIONS(Link)
};

inline QString linkText(const char *source)
{
    return QCoreApplication::translate("Link", source);
}

namespace texts {
// Hints of the time-outs and of a rejected write: a rejected write shows the
// first, the automatic scan the first two, a manual attempt all of them.
constexpr const char *kHintWiring =
    QT_TRANSLATE_NOOP("Link", "1.检查设备与USB工具连接是否正确\r\n");
constexpr const char *kHintPort = QT_TRANSLATE_NOOP("Link", "2.检查串口是否选择正确\r\n");
constexpr const char *kHintRateStation =
    QT_TRANSLATE_NOOP("Link", "3.波特率是否选择正确\r\n4.站号是否选择正确\r\n");
} // namespace texts

inline QString autoConnectHints()
{
    return linkText(texts::kHintWiring) + linkText(texts::kHintPort);
}
inline QString manualConnectHints()
{
    return autoConnectHints() + linkText(texts::kHintRateStation);
}

} // namespace movra
