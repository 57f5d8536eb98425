// The panels under the trend chart: each quantity's stability verdict with
// the editors of its rule, and the link statistics.
#pragma once

#include <QGroupBox>
#include <QHash>
#include <QPixmap>
#include <QStaticText>
#include <QVector>

#include "engine/LinkStats.h"
#include "trend/TrendHistory.h"

class QDoubleSpinBox;
class QSpinBox;

namespace movra::trendui {

// A group box that paints its frame from a picture of itself, taken with
// the window's background under it. Fusion draws the frame and its tint by
// stretching a pixmap over the whole box at every paint, even when only a
// label inside changed: that cost more than the label's own text.
class PanelBox : public QGroupBox
{
    Q_OBJECT
public:
    explicit PanelBox(const QString &title, QWidget *parent = nullptr);
    // What the box shows at `area` (its own coordinates), drawn at `to`:
    // children paint their ground with it instead of having the box repaint.
    void paintGround(QPainter *painter, const QPoint &to, const QRect &area);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    const QPixmap &picture();

    QPixmap m_picture;
};

// One line of text that changes often. Its size comes once from the widest
// texts it is meant to show, so a new text repaints it alone; a QLabel lays
// out the whole window again at every change, which cost more than the
// text itself once a second. In a PanelBox it paints its own ground.
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
    void changeEvent(QEvent *event) override;

private:
    struct Piece
    {
        QStaticText text;
        qreal advance = 0.0;
    };
    const Piece &piece(const QString &text);
    // The text's pieces (words, and each digit alone) and where they start.
    void layOut(const QString &text, QStringList *pieces, QVector<qreal> *starts);

    QStringList m_widest;
    QString m_text;
    QHash<QString, Piece> m_pieces;
};

// "45 秒", "3 分 05 秒", "2 小时 07 分".
QString durationText(qint64 ms);
// The verdict's word ("稳定" or "未稳定") and what backs it.
QString verdictWord(const trend::Stability &s);
QString verdictDetail(const trend::Stability &s, const trend::StabilitySettings &settings,
                      trend::Quantity q, bool anyReading);
QString unitOf(trend::Quantity q);

class StabilityPanel : public PanelBox
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

class LinkStatsPanel : public PanelBox
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
