// SPDX-License-Identifier: GPL-3.0-or-later
// Web Mercator: the world as a square of side 1 (x east, y south), and a view of it on screen.
#pragma once

#include <cstdint>

#include "geodata/sample_layer.h"

namespace varistrum {

// A position on the world square: x 0 at 180 W, 1 at 180 E; y 0 at 85.05 N, 1 at 85.05 S.
struct WorldPoint {
    double x = 0.0;
    double y = 0.0;
};

WorldPoint ProjectToWorld(double longitude, double latitude);
GeoPosition UnprojectWorld(WorldPoint point);

// The world square in 2^32 steps a side (a step is under a centimetre): points are stored so.
struct FixedPoint {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
};
FixedPoint ToFixed(WorldPoint point);
inline constexpr double kFixedStep = 1.0 / 4294967296.0;

// Metres on the ground of one world unit at a latitude (Mercator stretches towards the poles).
double MetresPerWorldUnit(double latitude);

struct ScreenPoint {
    double x = 0.0;
    double y = 0.0;
};

// What a window of `width` x `height` pixels shows: the world point at its top-left corner and
// the pixels per world unit.
class MapViewport {
  public:
    MapViewport() = default;
    MapViewport(int width, int height) : width_(width), height_(height) {}

    void Resize(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    double Scale() const { return scale_; }
    WorldPoint Origin() const { return origin_; }

    ScreenPoint ToScreen(WorldPoint point) const {
        return {(point.x - origin_.x) * scale_, (point.y - origin_.y) * scale_};
    }
    WorldPoint ToWorld(ScreenPoint point) const {
        return {origin_.x + point.x / scale_, origin_.y + point.y / scale_};
    }
    // Zooms by `factor` keeping the world point under `about` where it is on screen.
    void ZoomAbout(ScreenPoint about, double factor);
    // Moves the picture by (dx, dy) pixels, as a drag does.
    void Pan(double dx, double dy);
    // Shows the box [minimum, maximum] whole, centred, with a margin of `margin` pixels.
    void Fit(WorldPoint minimum, WorldPoint maximum, int margin = 20);
    // Metres on the ground of one pixel east-west at the view's centre, or at a point of the
    // view, measured on the WGS 84 ellipsoid.
    double MetresPerPixel() const;
    double MetresPerPixelAt(ScreenPoint at) const;

  private:
    int width_ = 1;
    int height_ = 1;
    WorldPoint origin_{0.0, 0.0};
    double scale_ = 256.0;
};

}  // namespace varistrum
