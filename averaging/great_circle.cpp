// SPDX-License-Identifier: GPL-3.0-or-later
// Haversine distances and the early threshold test of the 40-lambda engine.
#include "averaging/great_circle.h"

#include <cmath>
#include <numbers>

namespace varistrum {

namespace {

constexpr double kEarthRadius = 6378137.0;  // metres
constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

// The band around the threshold left to the full computation. Rounding in the full path is
// some 1e-15 of the distance; a relative 1e-9 of the haversine moves the arc by at least
// 5e-10 of itself (the arc grows at least as fast as the haversine's square root).
constexpr double kBand = 1e-9;

}  // namespace

RoutePoint RoutePointAt(double latitude, double longitude) {
    return {latitude, longitude, std::cos(latitude * kRadiansPerDegree)};
}

double Haversine(const RoutePoint& from, const RoutePoint& to) {
    const double dLat = to.latitude * kRadiansPerDegree - from.latitude * kRadiansPerDegree;
    const double dLon = to.longitude * kRadiansPerDegree - from.longitude * kRadiansPerDegree;
    const double sinHalfLat = std::sin(dLat / 2.0);
    const double sinHalfLon = std::sin(dLon / 2.0);
    return sinHalfLat * sinHalfLat + from.cosLatitude * to.cosLatitude * (sinHalfLon * sinHalfLon);
}

double MetresOfHaversine(double h) {
    // Rounding can lift h just above 1 for (nearly) antipodal points; sqrt(1 - h) would be NaN.
    if (h > 1.0) h = 1.0;
    return kEarthRadius * 2.0 * std::atan2(std::sqrt(h), std::sqrt(1.0 - h));
}

DistanceThreshold::DistanceThreshold(double metres) : metres_(metres) {
    const double halfAngle = metres / (2.0 * kEarthRadius);
    // Zero, negative, NaN or beyond half the globe: every pair takes the full computation.
    if (!(halfAngle > 0.0 && halfAngle < std::numbers::pi / 2.0)) return;
    const double sinHalf = std::sin(halfAngle);
    const double h = sinHalf * sinHalf;
    lowest_ = h * (1.0 - kBand);
    highest_ = h * (1.0 + kBand);
}

bool DistanceThreshold::Reached(const RoutePoint& from, const RoutePoint& to) const {
    const double h = Haversine(from, to);
    if (h < lowest_) return false;
    if (h > highest_) return true;
    return MetresOfHaversine(h) >= metres_;
}

}  // namespace varistrum
