// SPDX-License-Identifier: GPL-3.0-or-later
// Web Mercator projection and the view's zoom, pan and fit.
#include "map/web_mercator.h"

#include <algorithm>
#include <cmath>

#include "base/geodesic.h"

namespace varistrum {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMaxLatitude = 85.0511287798066;
constexpr double kEquatorMetres = 40075016.685578488;  // 2 pi times the sphere's radius
constexpr double kMinScale = 64.0;                     // the whole world in 64 pixels
constexpr double kMaxScale = 4294967296.0;             // a fixed step a pixel

std::uint32_t FixedOf(double unit) {
    const double steps = std::clamp(unit, 0.0, 1.0) * 4294967296.0;
    return steps >= 4294967295.0 ? 4294967295u : static_cast<std::uint32_t>(steps);
}

}  // namespace

WorldPoint ProjectToWorld(double longitude, double latitude) {
    const double lat = std::clamp(latitude, -kMaxLatitude, kMaxLatitude) * kPi / 180.0;
    const double x = (longitude + 180.0) / 360.0;
    const double y = 0.5 - std::log(std::tan(kPi / 4.0 + lat / 2.0)) / (2.0 * kPi);
    return {x, y};
}

GeoPosition UnprojectWorld(WorldPoint point) {
    const double longitude = point.x * 360.0 - 180.0;
    const double latitude =
        (2.0 * std::atan(std::exp((0.5 - point.y) * 2.0 * kPi)) - kPi / 2.0) * 180.0 / kPi;
    return {longitude, latitude};
}

FixedPoint ToFixed(WorldPoint point) {
    return {FixedOf(point.x), FixedOf(point.y)};
}

double MetresPerWorldUnit(double latitude) {
    return kEquatorMetres * std::cos(latitude * kPi / 180.0);
}

void MapViewport::Resize(int width, int height) {
    // The centre stays where it was.
    const WorldPoint centre = ToWorld({width_ / 2.0, height_ / 2.0});
    width_ = std::max(width, 1);
    height_ = std::max(height, 1);
    origin_ = {centre.x - width_ / 2.0 / scale_, centre.y - height_ / 2.0 / scale_};
}

void MapViewport::ZoomAbout(ScreenPoint about, double factor) {
    const WorldPoint anchor = ToWorld(about);
    scale_ = std::clamp(scale_ * factor, kMinScale, kMaxScale);
    origin_ = {anchor.x - about.x / scale_, anchor.y - about.y / scale_};
}

void MapViewport::Pan(double dx, double dy) {
    origin_.x -= dx / scale_;
    origin_.y -= dy / scale_;
}

void MapViewport::Fit(WorldPoint minimum, WorldPoint maximum, int margin) {
    const double usableWidth = std::max(width_ - 2 * margin, 1);
    const double usableHeight = std::max(height_ - 2 * margin, 1);
    // A single point (or none) gets a street-level view rather than an infinite zoom.
    const double spanX = std::max(maximum.x - minimum.x, 1e-7);
    const double spanY = std::max(maximum.y - minimum.y, 1e-7);
    scale_ = std::clamp(std::min(usableWidth / spanX, usableHeight / spanY), kMinScale, kMaxScale);
    const WorldPoint centre{(minimum.x + maximum.x) / 2.0, (minimum.y + maximum.y) / 2.0};
    origin_ = {centre.x - width_ / 2.0 / scale_, centre.y - height_ / 2.0 / scale_};
}

double MapViewport::MetresPerPixel() const {
    return MetresPerPixelAt({width_ / 2.0, height_ / 2.0});
}

double MapViewport::MetresPerPixelAt(ScreenPoint at) const {
    const GeoPosition here = UnprojectWorld(ToWorld(at));
    const double latitude = std::clamp(here.latitude, -kMaxLatitude, kMaxLatitude);
    // One pixel's longitude span; the geodesic over so short a step follows the parallel.
    const double degrees = 360.0 / scale_;
    return GeodesicMetres(latitude, 0.0, latitude, degrees);
}

}  // namespace varistrum
