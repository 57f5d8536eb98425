#include "app/Language.h"

#include "config/IniGroup.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTranslator>

// The resource lives in a static library: it is registered by hand, from
// the global namespace.
static void registerTranslations()
{
    Q_INIT_RESOURCE(translations);
}

namespace {
QString normalized(const QString &value)
{
    const QString v = value.trimmed().toLower();
    return v.startsWith(QLatin1String("en")) ? QStringLiteral("en") : QStringLiteral("zh");
}
} // namespace

namespace movra {

QString chosenLanguage(const QString &environment, const QString &stationIni)
{
    if (!environment.trimmed().isEmpty())
        return normalized(environment);
    if (stationIni.isEmpty())
        return QStringLiteral("zh");
    return normalized(config::iniValue(config::readIniGroup(stationIni, QStringLiteral("ui")),
                                       QStringLiteral("language")));
}

bool useLanguage(const QString &language)
{
    static QPointer<QTranslator> english;
    if (language != QLatin1String("en")) {
        if (english)
            QCoreApplication::removeTranslator(english);
        return language == QLatin1String("zh");
    }
    if (!english) {
        registerTranslations();
        english = new QTranslator(QCoreApplication::instance());
        if (!english->load(QStringLiteral(":/i18n/movra_en.qm"))) {
            delete english;
            return false;
        }
    }
    return QCoreApplication::installTranslator(english);
}

} // namespace movra
