// SPDX-License-Identifier: GPL-3.0-or-later
// The map canvas: the renderer's picture, redrawn only when the view or the scene changes.
#include "app/map_canvas.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <cmath>

#include "app/ui_hooks.h"
#include "map/map_query.h"

namespace varistrum {

namespace {

constexpr double kZoomPerStep = 1.25;
constexpr double kHitRadius = 5.0;  // pixels around a point that show its tooltip

}  // namespace

TMapCanvas::TMapCanvas(QWidget* parent) : QWidget(parent), view_(width(), height()) {
    setMouseTracking(true);
    setMinimumSize(200, 150);
    setCursor(Qt::OpenHandCursor);
}

void TMapCanvas::SetScene(const MapScene& scene) {
    scene_ = scene;
    Changed();
}

void TMapCanvas::Fit() {
    view_ = FittedView(scene_, QSize(std::max(width(), 1), std::max(height(), 1)));
    fitted_ = true;
    Changed();
}

QImage TMapCanvas::Picture() {
    if (stale_ || picture_.size() != size()) {
        view_.Resize(width(), height());
        picture_ = RenderMap(view_, scene_);
        stale_ = false;
    }
    return picture_;
}

void TMapCanvas::ZoomAt(QPointF position, double steps) {
    view_.ZoomAbout({position.x(), position.y()}, std::pow(kZoomPerStep, steps));
    Changed();
}

void TMapCanvas::DragBy(QPointF delta) {
    view_.Pan(delta.x(), delta.y());
    Changed();
}

void TMapCanvas::Changed() {
    stale_ = true;
    update();
}

void TMapCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, Picture());
}

void TMapCanvas::resizeEvent(QResizeEvent*) {
    if (!fitted_ && width() > 1 && height() > 1)
        Fit();
    else
        Changed();
}

void TMapCanvas::wheelEvent(QWheelEvent* event) {
    ZoomAt(event->position(), event->angleDelta().y() / 120.0);
    event->accept();
}

void TMapCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    lastDrag_ = event->position();
    setCursor(Qt::ClosedHandCursor);
}

void TMapCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    const GeoPosition position = UnprojectWorld(view_.ToWorld({at.x(), at.y()}));
    emit CursorMoved(position.latitude, position.longitude);
    if (dragging_) {
        DragBy(at - lastDrag_);
        lastDrag_ = at;
    }
}

void TMapCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = false;
    setCursor(Qt::OpenHandCursor);
}

bool TMapCanvas::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && scene_.data != nullptr) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QPointF at = help->pos();
        const auto hit =
            NearestPoint(*scene_.data, scene_.channel, view_, {at.x(), at.y()}, kHitRadius);
        if (hit)
            QToolTip::showText(help->globalPos(),
                               QText(PointDescription(*scene_.data, scene_.channel, *hit)), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

}  // namespace varistrum
