// SPDX-License-Identifier: GPL-3.0-or-later
// The map's drawing area: shows the rendered map, zooms about the cursor with the wheel, pans
// by dragging and tells the point under the cursor in a tooltip. The background is read again
// only when the view, the background or its fade change; while the map is dragged the last one
// moves along and is read once the drag ends.
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

    // The scene to draw; its data and background must outlive the canvas or the next SetScene.
    void SetScene(const MapScene& scene);
    // The background must be read again (another source in the same place, offline switched).
    void BackgroundChanged();
    const MapScene& Scene() const { return scene_; }
    const MapViewport& View() const { return view_; }
    // Shows the whole drive.
    void Fit();
    // The picture as shown (the canvas's size, the current view); with a title line across the
    // top when `title` is not empty (a saved picture).
    QImage Picture();
    QImage Picture(const std::string& title);
    // Wheel steps of zoom about a point and a drag, as the mouse gives them.
    void ZoomAt(QPointF position, double steps);
    void DragBy(QPointF delta);

  signals:
    void CursorMoved(double latitude, double longitude);
    // After each read of the background: what went wrong, empty when it was drawn.
    void BackgroundDrawn(const QString& problem);

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
    void UpdateBackground();

    MapScene scene_;
    MapViewport view_;
    QImage picture_;
    bool stale_ = true;
    QImage background_;  // the paper and the background of backgroundView_
    MapViewport backgroundView_;
    bool backgroundStale_ = true;
    bool backgroundMoved_ = false;  // shifted by a drag, to be read when it ends
    bool fitted_ = false;           // fit once the canvas has its size
    bool dragging_ = false;
    QPointF lastDrag_;
};

}  // namespace varistrum
