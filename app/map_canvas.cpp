// SPDX-License-Identifier: GPL-3.0-or-later
// The map canvas: the renderer's picture, redrawn only when the view or the scene changes.
#include "app/map_canvas.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <cmath>
#include <new>

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
    if (scene.background != scene_.background || scene.fadePercent != scene_.fadePercent)
        backgroundStale_ = true;
    scene_ = scene;
    Changed();
}

void TMapCanvas::BackgroundChanged() {
    backgroundStale_ = true;
    Changed();
}

void TMapCanvas::UpdateBackground() {
    const bool sameScale = backgroundView_.Scale() == view_.Scale() &&
                           background_.size() == QSize(view_.Width(), view_.Height());
    const bool sameView = sameScale && backgroundView_.Origin().x == view_.Origin().x &&
                          backgroundView_.Origin().y == view_.Origin().y;
    if (!backgroundStale_ && sameView) return;
    if (dragging_ && !backgroundStale_ && sameScale) {
        // The last background moves with the drag; nothing is read until it ends.
        QImage moved(background_.size(), QImage::Format_RGB32);
        moved.fill(Qt::white);
        const ScreenPoint at = view_.ToScreen(backgroundView_.Origin());
        QPainter painter(&moved);
        painter.drawImage(QPointF(at.x, at.y), background_);
        painter.end();
        background_ = moved;
        backgroundView_ = view_;
        backgroundMoved_ = true;
        return;
    }
    background_ = QImage(view_.Width(), view_.Height(), QImage::Format_RGB32);
    if (background_.isNull()) throw std::bad_alloc();
    const BackgroundDraw drawn = DrawBackground(background_, view_, scene_);
    backgroundView_ = view_;
    backgroundStale_ = false;
    backgroundMoved_ = false;
    emit BackgroundDrawn(QText(drawn.message));
}

void TMapCanvas::Fit() {
    view_ = FittedView(scene_, QSize(std::max(width(), 1), std::max(height(), 1)));
    fitted_ = true;
    Changed();
}

QImage TMapCanvas::Picture() {
    if (stale_ || picture_.size() != size()) {
        view_.Resize(width(), height());
        UpdateBackground();
        picture_ = background_.copy();
        DrawForeground(picture_, view_, scene_);
        stale_ = false;
    }
    return picture_;
}

QImage TMapCanvas::Picture(const std::string& title) {
    if (title.empty()) return Picture();
    Picture();  // the background of the current view
    QImage picture = background_.copy();
    MapScene scene = scene_;
    scene.title = title;
    DrawForeground(picture, view_, scene);
    return picture;
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
    if (backgroundMoved_) BackgroundChanged();
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
