#include "ui/TrendWindowParts.h"

#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace movra::trendui {

using trend::Quantity;

namespace {
// The texts of the panels' helpers, with the window's own.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(TrendWindow)
};

// "45 秒", "3 分 05 秒", "2 小时 07 分".
QString durationText(qint64 ms)
{
    const qint64 s = qMax<qint64>(0, ms) / 1000;
    const auto two = [](qint64 v) {
        return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
    };
    if (s < 60)
        return Text::tr("%1 秒").arg(s);
    if (s < 3600)
        return Text::tr("%1 分 %2 秒").arg(s / 60).arg(two(s % 60));
    return Text::tr("%1 小时 %2 分").arg(s / 3600).arg(two(s / 60 % 60));
}

// The verdict's word ("稳定" or "未稳定") and what backs it.
QString verdictWord(const trend::Stability &s)
{
    return s.isStable() ? Text::tr("稳定") : Text::tr("未稳定");
}

QString verdictDetail(const trend::Stability &s, const trend::StabilitySettings &settings,
                      Quantity q, bool anyReading)
{
    const QString unit = unitOf(q);
    const QString span = QString::number(s.span, 'f', 1) + QLatin1Char(' ') + unit;
    if (!anyReading)
        return Text::tr("尚无读数");
    switch (s.verdict) {
    case trend::Verdict::Stable:
        return Text::tr("已稳定 %1（%2 s 内跨度 %3）")
            .arg(durationText(s.stableForMs()))
            .arg(settings.windowSeconds)
            .arg(span);
    case trend::Verdict::Unsettled:
        return Text::tr("%1 s 内跨度 %2，超过 %3 %4")
            .arg(settings.windowSeconds)
            .arg(span)
            .arg(QString::number(settings.band(q), 'f', 1))
            .arg(unit);
    case trend::Verdict::TooFewReadings:
        break;
    }
    return Text::tr("读数不足以覆盖 %1 s 的窗口").arg(settings.windowSeconds);
}
} // namespace

QString unitOf(Quantity q)
{
    return q == Quantity::Temperature ? QStringLiteral("℃") : QStringLiteral("%RH");
}

StabilityPanel::StabilityPanel(QWidget *parent) : QGroupBox(tr("稳定判定"), parent)
{
    auto *grid = new QGridLayout(this);
    const QString names[] = {tr("温度："), tr("湿度：")};
    const char *keys[] = {"temperature", "humidity"};
    for (Quantity q : trend::kQuantities) {
        const int i = int(q);
        m_word[i] = new QLabel(this);
        m_word[i]->setObjectName(QLatin1String(keys[i]) + QLatin1String("Verdict"));
        QFont bold = m_word[i]->font();
        bold.setBold(true);
        m_word[i]->setFont(bold);
        m_detail[i] = new QLabel(this);
        m_detail[i]->setObjectName(QLatin1String(keys[i]) + QLatin1String("VerdictDetail"));
        grid->addWidget(new QLabel(names[i], this), i, 0);
        grid->addWidget(m_word[i], i, 1);
        grid->addWidget(m_detail[i], i, 2, 1, 3);
    }

    m_window = new QSpinBox(this);
    m_window->setObjectName(QStringLiteral("stabilityWindow"));
    m_window->setRange(trend::StabilitySettings::kMinWindowSeconds,
                       trend::StabilitySettings::kMaxWindowSeconds);
    m_window->setSuffix(QStringLiteral(" s"));
    const char *bandNames[] = {"temperatureBand", "humidityBand"};
    for (Quantity q : trend::kQuantities) {
        auto *band = new QDoubleSpinBox(this);
        band->setObjectName(QLatin1String(bandNames[int(q)]));
        band->setRange(0.0, trend::StabilitySettings::kMaxBand);
        band->setDecimals(1);
        band->setSingleStep(0.1);
        band->setSuffix(QLatin1Char(' ') + unitOf(q));
        m_band[int(q)] = band;
    }
    grid->addWidget(new QLabel(tr("判定窗口"), this), 2, 0);
    grid->addWidget(m_window, 2, 1);
    grid->addWidget(new QLabel(tr("温度带宽"), this), 2, 2);
    grid->addWidget(m_band[0], 2, 3);
    grid->addWidget(new QLabel(tr("湿度带宽"), this), 3, 2);
    grid->addWidget(m_band[1], 3, 3);
    grid->setColumnStretch(4, 1);

    // Only a finished entry counts: each keystroke would rewrite Station.ini.
    m_window->setKeyboardTracking(false);
    connect(m_window, QOverload<int>::of(&QSpinBox::valueChanged), this, &StabilityPanel::edited);
    for (QDoubleSpinBox *band : m_band) {
        band->setKeyboardTracking(false);
        connect(band, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                &StabilityPanel::edited);
    }
}

void StabilityPanel::edited()
{
    trend::StabilitySettings s;
    s.windowSeconds = m_window->value();
    s.temperatureBand = m_band[0]->value();
    s.humidityBand = m_band[1]->value();
    emit settingsEdited(s);
}

void StabilityPanel::showSettings(const trend::StabilitySettings &settings)
{
    const QSignalBlocker b0(m_window), b1(m_band[0]), b2(m_band[1]);
    m_window->setValue(settings.windowSeconds);
    m_band[0]->setValue(settings.temperatureBand);
    m_band[1]->setValue(settings.humidityBand);
}

void StabilityPanel::showVerdicts(const trend::TrendHistory &history)
{
    for (Quantity q : trend::kQuantities) {
        const int i = int(q);
        const trend::Stability &s = history.stability(q);
        m_word[i]->setText(verdictWord(s));
        QPalette palette = m_word[i]->palette();
        palette.setColor(QPalette::WindowText,
                         s.isStable() ? QColor(0x1a, 0x7f, 0x37) : QColor(0xb3, 0x59, 0x00));
        m_word[i]->setPalette(palette);
        m_detail[i]->setText(verdictDetail(s, history.settings(), q, !history.series(q).isEmpty()));
    }
}

LinkStatsPanel::LinkStatsPanel(QWidget *parent) : QGroupBox(tr("链路统计（本次连接）"), parent)
{
    const char *names[kLines] = {"linkCounts", "linkFaults", "linkCauses", "linkTimes",
                                 "linkTimesTail"};
    auto *box = new QVBoxLayout(this);
    for (int i = 0; i < kLines; ++i) {
        m_lines[i] = new QLabel(this);
        m_lines[i]->setObjectName(QLatin1String(names[i]));
        box->addWidget(m_lines[i]);
    }
    box->addStretch(1);
    showStats(LinkStats{});
}

void LinkStatsPanel::showStats(const LinkStats &stats)
{
    const auto n = [](quint64 v) {
        return QString::number(v);
    };
    const auto cause = [&stats](BlockCause c) {
        return stats.notRecognised[size_t(c)];
    };
    m_lines[0]->setText(tr("请求 %1　应答 %2　超时 %3")
                            .arg(n(stats.requests), n(stats.replies), n(stats.timeouts)));
    m_lines[1]->setText(
        tr("异常应答 %1　无法识别 %2").arg(n(stats.exceptions), n(stats.notRecognisedTotal())));
    m_lines[2]->setText(tr("过短 %1　校验错 %2　未知功能码 %3　不符请求 %4")
                            .arg(n(cause(BlockCause::TooShort)), n(cause(BlockCause::BadCrc)),
                                 n(cause(BlockCause::UnknownFunction)),
                                 n(cause(BlockCause::Unexpected))));
    const ResponseTimes &r = stats.response;
    if (r.count == 0) {
        m_lines[3]->setText(tr("响应时间　尚无应答"));
        m_lines[4]->setText(QString());
        return;
    }
    const auto ms = [&stats](double ticks, int decimals) {
        return QString::number(stats.toMs(ticks), 'f', decimals) + QStringLiteral(" ms");
    };
    m_lines[3]->setText(
        tr("响应时间　最小 %1　平均 %2").arg(ms(r.minTicks, 0), ms(r.meanTicks(), 1)));
    m_lines[4]->setText(
        tr("　　　　　P95 %1　最大 %2").arg(ms(r.percentileTicks(0.95), 0), ms(r.maxTicks, 0)));
}

} // namespace movra::trendui
