// SPDX-License-Identifier: GPL-3.0-or-later
// The map's drawing area: shows the rendered map, zooms about the cursor with the wheel, pans
// by dragging and tells the point under the cursor in a tooltip.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>

#include "mapdraw/map_renderer.h"

namespace varistrum {

class TMapCanvas : public QWidget {
    Q_OBJECT
  public:
    explicit TMapCanvas(QWidget* parent = nullptr);

    // The scene to draw; its data must outlive the canvas or the next SetScene.
    void SetScene(const MapScene& scene);
    const MapScene& Scene() const { return scene_; }
    const MapViewport& View() const { return view_; }
    // Shows the whole drive.
    void Fit();
    // The picture as shown (the canvas's size, the current view).
    QImage Picture();
    // Wheel steps of zoom about a point and a drag, as the mouse gives them.
    void ZoomAt(QPointF position, double steps);
    void DragBy(QPointF delta);

  signals:
    void CursorMoved(double latitude, double longitude);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void Changed();

    MapScene scene_;
    MapViewport view_;
    QImage picture_;
    bool stale_ = true;
    bool fitted_ = false;  // fit once the canvas has its size
    bool dragging_ = false;
    QPointF lastDrag_;
};

}  // namespace varistrum
