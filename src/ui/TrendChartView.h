// The trend's chart view: turns the wheel, dragging and keys into requests
// on the time axis, which the window applies to its visible range.
#pragma once

#include <QtCharts/QChartView>

class TrendChartView : public QtCharts::QChartView
{
    Q_OBJECT
public:
    explicit TrendChartView(QtCharts::QChart *chart, QWidget *parent = nullptr);

signals:
    // factor > 1 zooms in; at is the place that stays put, as a fraction of
    // the plot's width from its left edge.
    void zoomRequested(double factor, double at);
    // A share of the visible span; negative shows earlier readings.
    void panRequested(double fraction);
    void dragStarted();
    // The share of the plot's width the pointer moved since the press.
    void dragged(double fraction);
    void homeRequested();

protected:
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    double plotFraction(double x) const;

    bool m_dragging = false;
    double m_pressX = 0.0;
};
