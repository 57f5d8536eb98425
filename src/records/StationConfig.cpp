#include "records/StationConfig.h"
#include "records/RecordText.h"

#include "config/IniGroup.h"

#include <QDir>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>

namespace movra::records {

std::optional<CentralUrl> CentralUrl::parse(const QString &text, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid())
        return fail(RecordsText::tr("不是有效的地址"));
    if (url.scheme() != QLatin1String("postgresql") && url.scheme() != QLatin1String("postgres"))
        return fail(RecordsText::tr("只支持 postgresql:// 地址"));
    CentralUrl out;
    out.user = url.userName(QUrl::FullyDecoded);
    out.password = url.password(QUrl::FullyDecoded);
    out.host = url.host(QUrl::FullyDecoded);
    out.port = url.port(5432);
    out.database = url.path(QUrl::FullyDecoded).mid(1);
    const QUrlQuery query(url);
    if (query.hasQueryItem(QStringLiteral("host")))
        out.host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
    if (query.hasQueryItem(QStringLiteral("port")))
        out.port = query.queryItemValue(QStringLiteral("port")).toInt();
    if (out.database.isEmpty())
        return fail(RecordsText::tr("地址中缺少数据库名"));
    if (out.host.isEmpty())
        out.host = QStringLiteral("localhost");
    return out;
}

QString CentralUrl::redacted() const
{
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        text += user + (password.isEmpty() ? QString() : QStringLiteral(":***")) + '@';
    if (host.startsWith('/'))
        return text + QStringLiteral("/%1?host=%2&port=%3").arg(database, host).arg(port);
    return text + QStringLiteral("%1:%2/%3").arg(host).arg(port).arg(database);
}

QString CentralUrl::target() const
{
    return QStringLiteral("%1@%2:%3/%4").arg(user, host).arg(port).arg(database);
}

QString redactUrl(const QString &text)
{
    static const QRegularExpression userInfo(QStringLiteral("(://[^:/@\\s]*):[^@\\s]*@"));
    static const QRegularExpression keyword(QStringLiteral("(password\\s*=\\s*)('[^']*'|[^&\\s]*)"),
                                            QRegularExpression::CaseInsensitiveOption);
    return QString(text)
        .replace(userInfo, QStringLiteral("\\1:***@"))
        .replace(keyword, QStringLiteral("\\1***"));
}

QString StationConfig::stationName() const
{
    return station.isEmpty() ? QSysInfo::machineHostName() : station;
}

StationConfig StationConfig::load(const QString &stationIni, const QString &urlFromEnvironment)
{
    StationConfig config;
    const config::IniEntries entries = config::readIniGroup(stationIni, QStringLiteral("records"));
    config.url = config::iniValue(entries, QStringLiteral("url")).trimmed();
    config.station = config::iniValue(entries, QStringLiteral("station")).trimmed();
    if (!config.url.isEmpty())
        config.urlFrom = QDir::toNativeSeparators(stationIni);
    if (!urlFromEnvironment.trimmed().isEmpty()) {
        config.url = urlFromEnvironment.trimmed();
        config.urlFrom = QStringLiteral("MOVRA_RECORDS_URL");
    }
    return config;
}

} // namespace movra::records
