#include "ui/TrendChartView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>

namespace {
constexpr double kZoomStep = 1.25;
constexpr double kKeyPan = 0.1;
} // namespace

TrendChartView::TrendChartView(QtCharts::QChart *chart, QWidget *parent) : QChartView(chart, parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setDragMode(QGraphicsView::NoDrag);
    setRubberBand(QChartView::NoRubberBand);
    // No antialiasing: at two points a pixel it adds little to a line. One
    // rectangle around what changed: under a clip of several rectangles Qt
    // draws each line its whole length anyway.
    setViewportUpdateMode(QGraphicsView::BoundingRectViewportUpdate);
}

double TrendChartView::plotFraction(double x) const
{
    const QRectF plot = chart()->plotArea();
    if (plot.width() <= 0)
        return 1.0;
    return (mapToScene(QPoint(int(x), 0)).x() - plot.left()) / plot.width();
}

void TrendChartView::wheelEvent(QWheelEvent *event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0.0) {
        event->ignore();
        return;
    }
    emit zoomRequested(std::pow(kZoomStep, steps),
                       qBound(0.0, plotFraction(event->position().x()), 1.0));
    event->accept();
}

void TrendChartView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QChartView::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_dragging = true;
    m_pressX = event->localPos().x();
    emit dragStarted();
    event->accept();
}

void TrendChartView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging) {
        QChartView::mouseMoveEvent(event);
        return;
    }
    const double width = chart()->plotArea().width();
    if (width > 0)
        emit dragged((event->localPos().x() - m_pressX) / width);
    event->accept();
}

void TrendChartView::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_dragging || event->button() != Qt::LeftButton) {
        QChartView::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    event->accept();
}

void TrendChartView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        emit panRequested(-kKeyPan);
        break;
    case Qt::Key_Right:
        emit panRequested(kKeyPan);
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        emit zoomRequested(kZoomStep, 0.5);
        break;
    case Qt::Key_Minus:
        emit zoomRequested(1.0 / kZoomStep, 0.5);
        break;
    case Qt::Key_Home:
        emit homeRequested();
        break;
    default:
        QChartView::keyPressEvent(event);
        return;
    }
    event->accept();
}
