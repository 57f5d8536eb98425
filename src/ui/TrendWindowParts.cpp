#include "ui/TrendWindowParts.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOption>
#include <QVBoxLayout>

namespace movra::trendui {

using trend::Quantity;

QString durationText(qint64 ms)
{
    const qint64 s = qMax<qint64>(0, ms) / 1000;
    const auto two = [](qint64 v) {
        return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
    };
    if (s < 60)
        return QStringLiteral("%1 秒").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 分 %2 秒").arg(s / 60).arg(two(s % 60));
    return QStringLiteral("%1 小时 %2 分").arg(s / 3600).arg(two(s / 60 % 60));
}

QString unitOf(Quantity q)
{
    return q == Quantity::Temperature ? QStringLiteral("℃") : QStringLiteral("%RH");
}

QString verdictWord(const trend::Stability &s)
{
    return s.isStable() ? QStringLiteral("稳定") : QStringLiteral("未稳定");
}

QString verdictDetail(const trend::Stability &s, const trend::StabilitySettings &settings,
                      Quantity q, bool anyReading)
{
    const QString unit = unitOf(q);
    const QString span = QString::number(s.span, 'f', 1) + QLatin1Char(' ') + unit;
    if (!anyReading)
        return QStringLiteral("尚无读数");
    switch (s.verdict) {
    case trend::Verdict::Stable:
        return QStringLiteral("已稳定 %1（%2 s 内跨度 %3）")
            .arg(durationText(s.stableForMs()))
            .arg(settings.windowSeconds)
            .arg(span);
    case trend::Verdict::Unsettled:
        return QStringLiteral("%1 s 内跨度 %2，超过 %3 %4")
            .arg(settings.windowSeconds)
            .arg(span)
            .arg(QString::number(settings.band(q), 'f', 1))
            .arg(unit);
    case trend::Verdict::TooFewReadings:
        break;
    }
    return QStringLiteral("读数不足以覆盖 %1 s 的窗口").arg(settings.windowSeconds);
}

SteadyLabel::SteadyLabel(const QStringList &widest, QWidget *parent)
    : QWidget(parent), m_widest(widest)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    if (qobject_cast<PanelBox *>(parent))
        setAttribute(Qt::WA_OpaquePaintEvent);
}

// Only the part that changed is painted again: mostly a digit or two.
void SteadyLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    QStringList was, now;
    QVector<qreal> wasAt, nowAt;
    layOut(m_text, &was, &wasAt);
    layOut(text, &now, &nowAt);
    m_text = text;
    int first = 0;
    while (first < was.size() && first < now.size() && was.at(first) == now.at(first))
        ++first;
    int last = 0; // pieces alike at the end, in the same place
    while (last < was.size() - first && last < now.size() - first &&
           was.at(was.size() - 1 - last) == now.at(now.size() - 1 - last) &&
           wasAt.at(was.size() - 1 - last) == nowAt.at(now.size() - 1 - last))
        ++last;
    const qreal from = qMin(wasAt.at(first), nowAt.at(first));
    const qreal to = qMax(wasAt.at(was.size() - last), nowAt.at(now.size() - last));
    update(QRect(int(from) - 1, 0, int(to - from) + 3, height()));
}

void SteadyLabel::layOut(const QString &text, QStringList *pieces, QVector<qreal> *starts)
{
    const auto figure = [](QChar c) {
        return c.isDigit() || c == QLatin1Char('.');
    };
    qreal x = 2.0;
    for (int i = 0; i < text.size();) {
        int end = i + 1;
        if (!figure(text.at(i))) {
            while (end < text.size() && !figure(text.at(end)))
                ++end;
        }
        pieces->append(text.mid(i, end - i));
        starts->append(x);
        x += piece(pieces->last()).advance;
        i = end;
    }
    starts->append(x); // where the text ends
}

void SteadyLabel::setColor(const QColor &color)
{
    if (palette().color(QPalette::WindowText) == color)
        return;
    QPalette p = palette();
    p.setColor(QPalette::WindowText, color);
    setPalette(p);
}

QSize SteadyLabel::sizeHint() const
{
    int width = 0;
    for (const QString &text : m_widest)
        width = qMax(width, fontMetrics().horizontalAdvance(text));
    return QSize(width + 4, fontMetrics().height() + 2);
}

QSize SteadyLabel::minimumSizeHint() const
{
    return sizeHint();
}

void SteadyLabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        m_pieces.clear();
    QWidget::changeEvent(event);
}

const SteadyLabel::Piece &SteadyLabel::piece(const QString &text)
{
    auto it = m_pieces.find(text);
    if (it == m_pieces.end()) {
        Piece p;
        p.text.setText(text);
        p.text.setTextFormat(Qt::PlainText);
        p.text.setPerformanceHint(QStaticText::AggressiveCaching);
        p.advance = QFontMetricsF(font()).horizontalAdvance(text);
        it = m_pieces.insert(text, p);
    }
    return *it;
}

// Shaping is most of what drawing a line of text costs, the Chinese through
// a fallback font most of all. The words of a line stay while its figures
// change: each word, and each digit, is shaped once and kept.
void SteadyLabel::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRect dirty = event->rect();
    if (auto *box = qobject_cast<PanelBox *>(parentWidget()))
        box->paintGround(&painter, dirty.topLeft(), dirty.translated(pos()));
    painter.setPen(palette().color(QPalette::WindowText));
    QStringList pieces;
    QVector<qreal> starts;
    layOut(m_text, &pieces, &starts);
    const qreal top = (height() - QFontMetricsF(font()).height()) / 2.0;
    for (int i = 0; i < pieces.size(); ++i) {
        if (starts.at(i + 1) >= dirty.left() && starts.at(i) <= dirty.right() + 1)
            painter.drawStaticText(QPointF(starts.at(i), top), piece(pieces.at(i)).text);
    }
}

PanelBox::PanelBox(const QString &title, QWidget *parent) : QGroupBox(title, parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

const QPixmap &PanelBox::picture()
{
    if (m_picture.isNull()) {
        const qreal ratio = devicePixelRatioF();
        m_picture = QPixmap(size() * ratio);
        m_picture.setDevicePixelRatio(ratio);
        QPainter painter(&m_picture);
        painter.fillRect(rect(), palette().brush(backgroundRole()));
        QStyleOptionGroupBox option;
        initStyleOption(&option);
        style()->drawComplexControl(QStyle::CC_GroupBox, &option, &painter, this);
    }
    return m_picture;
}

void PanelBox::paintGround(QPainter *painter, const QPoint &to, const QRect &area)
{
    const QPixmap &p = picture();
    const qreal ratio = p.devicePixelRatio();
    painter->drawPixmap(
        QRectF(to, area.size()), p,
        QRectF(area.x() * ratio, area.y() * ratio, area.width() * ratio, area.height() * ratio));
}

void PanelBox::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    paintGround(&painter, event->rect().topLeft(), event->rect());
}

void PanelBox::resizeEvent(QResizeEvent *event)
{
    m_picture = QPixmap();
    QGroupBox::resizeEvent(event);
}

// Palette, font, style, enabled state, title: anything may change the frame.
void PanelBox::changeEvent(QEvent *event)
{
    m_picture = QPixmap();
    QGroupBox::changeEvent(event);
}

StabilityPanel::StabilityPanel(QWidget *parent) : PanelBox(QStringLiteral("稳定判定"), parent)
{
    auto *grid = new QGridLayout(this);
    const QString names[] = {QStringLiteral("温度："), QStringLiteral("湿度：")};
    const char *keys[] = {"temperature", "humidity"};
    for (Quantity q : trend::kQuantities) {
        const int i = int(q);
        m_word[i] = new SteadyLabel({QStringLiteral("未稳定")}, this);
        m_word[i]->setObjectName(QLatin1String(keys[i]) + QLatin1String("Verdict"));
        QFont bold = m_word[i]->font();
        bold.setBold(true);
        m_word[i]->setFont(bold);
        m_detail[i] =
            new SteadyLabel({QStringLiteral("已稳定 23 小时 59 分（3600 s 内跨度 0.0 %RH）"),
                             QStringLiteral("3600 s 内跨度 100.0 %RH，超过 50.0 %RH")},
                            this);
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
    grid->addWidget(new QLabel(QStringLiteral("判定窗口"), this), 2, 0);
    grid->addWidget(m_window, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("温度带宽"), this), 2, 2);
    grid->addWidget(m_band[0], 2, 3);
    grid->addWidget(new QLabel(QStringLiteral("湿度带宽"), this), 3, 2);
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
        m_word[i]->setColor(s.isStable() ? QColor(0x1a, 0x7f, 0x37) : QColor(0xb3, 0x59, 0x00));
        m_detail[i]->setText(verdictDetail(s, history.settings(), q, !history.series(q).isEmpty()));
    }
}

LinkStatsPanel::LinkStatsPanel(QWidget *parent)
    : PanelBox(QStringLiteral("链路统计（本次连接）"), parent)
{
    // Sized for a week's polling and the slowest replies there are.
    const struct
    {
        const char *name;
        const char *widest;
    } lines[kLines] = {
        {"linkCounts", "请求 9999999　应答 9999999　超时 99999"},
        {"linkFaults", "异常应答 99999　无法识别 99999"},
        {"linkCauses", "过短 999　校验错 999　未知功能码 999　不符请求 999"},
        {"linkTimes", "响应时间　最小 99999 ms　平均 9999.9 ms"},
        {"linkTimesTail", "　　　　　P95 99999 ms　最大 99999 ms"},
    };
    auto *box = new QVBoxLayout(this);
    for (int i = 0; i < kLines; ++i) {
        m_lines[i] = new SteadyLabel({QString::fromUtf8(lines[i].widest)}, this);
        m_lines[i]->setObjectName(QLatin1String(lines[i].name));
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
    m_lines[0]->setText(QStringLiteral("请求 %1　应答 %2　超时 %3")
                            .arg(n(stats.requests), n(stats.replies), n(stats.timeouts)));
    m_lines[1]->setText(QStringLiteral("异常应答 %1　无法识别 %2")
                            .arg(n(stats.exceptions), n(stats.notRecognisedTotal())));
    m_lines[2]->setText(QStringLiteral("过短 %1　校验错 %2　未知功能码 %3　不符请求 %4")
                            .arg(n(cause(BlockCause::TooShort)), n(cause(BlockCause::BadCrc)),
                                 n(cause(BlockCause::UnknownFunction)),
                                 n(cause(BlockCause::Unexpected))));
    const ResponseTimes &r = stats.response;
    if (r.count == 0) {
        m_lines[3]->setText(QStringLiteral("响应时间　尚无应答"));
        m_lines[4]->setText(QString());
        return;
    }
    const auto ms = [&stats](double ticks, int decimals) {
        return QString::number(stats.toMs(ticks), 'f', decimals) + QStringLiteral(" ms");
    };
    m_lines[3]->setText(
        QStringLiteral("响应时间　最小 %1　平均 %2").arg(ms(r.minTicks, 0), ms(r.meanTicks(), 1)));
    m_lines[4]->setText(QStringLiteral("　　　　　P95 %1　最大 %2")
                            .arg(ms(r.percentileTicks(0.95), 0), ms(r.maxTicks, 0)));
}

} // namespace movra::trendui
