// The panels under the trend chart: each quantity's stability verdict with
// the editors of its rule, and the link statistics.
#pragma once

#include <QGroupBox>

#include "engine/LinkStats.h"
#include "trend/TrendHistory.h"

class QDoubleSpinBox;
class QSpinBox;

namespace movra::trendui {

// One line of text that changes often. Its size comes once from the widest
// texts it is meant to show, so a new text repaints it alone; a QLabel lays
// out the whole window again at every change, which cost more than the
// text itself once a second.
class SteadyLabel : public QWidget
{
    Q_OBJECT
public:
    explicit SteadyLabel(const QStringList &widest, QWidget *parent = nullptr);
    void setText(const QString &text);
    QString text() const { return m_text; }
    void setColor(const QColor &color);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QStringList m_widest;
    QString m_text;
};

// "45 秒", "3 分 05 秒", "2 小时 07 分".
QString durationText(qint64 ms);
// The verdict's word ("稳定" or "未稳定") and what backs it.
QString verdictWord(const trend::Stability &s);
QString verdictDetail(const trend::Stability &s, const trend::StabilitySettings &settings,
                      trend::Quantity q, bool anyReading);
QString unitOf(trend::Quantity q);

class StabilityPanel : public QGroupBox
{
    Q_OBJECT
public:
    explicit StabilityPanel(QWidget *parent = nullptr);
    void showSettings(const trend::StabilitySettings &settings);
    void showVerdicts(const trend::TrendHistory &history);

signals:
    void settingsEdited(const trend::StabilitySettings &settings);

private:
    void edited();

    SteadyLabel *m_word[trend::kQuantityCount];
    SteadyLabel *m_detail[trend::kQuantityCount];
    QSpinBox *m_window;
    QDoubleSpinBox *m_band[trend::kQuantityCount];
};

class LinkStatsPanel : public QGroupBox
{
    Q_OBJECT
public:
    explicit LinkStatsPanel(QWidget *parent = nullptr);
    void showStats(const LinkStats &stats);

private:
    static constexpr int kLines = 5;
    SteadyLabel *m_lines[kLines];
};

} // namespace movra::trendui
