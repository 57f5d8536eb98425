// The panels under the trend chart: each quantity's stability verdict with
// the editors of its rule, and the link statistics.
#pragma once

#include <QGroupBox>

#include "engine/LinkStats.h"
#include "trend/TrendHistory.h"

class QDoubleSpinBox;
class QLabel;
class QSpinBox;

namespace movra::trendui {

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

    QLabel *m_word[trend::kQuantityCount];
    QLabel *m_detail[trend::kQuantityCount];
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
    QLabel *m_lines[kLines];
};

} // namespace movra::trendui
