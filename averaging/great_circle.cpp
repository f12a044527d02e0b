// SPDX-License-Identifier: GPL-3.0-or-later
// Haversine distances and the early threshold test of the 40-lambda engine.
#include "averaging/great_circle.h"

#include <algorithm>

namespace varistrum {

namespace {

constexpr double kEarthRadius = 6378137.0;  // metres

// The band around the threshold left to the full computation. Rounding in the full path is
// some 1e-15 of the distance; a relative 1e-9 of the haversine moves the arc by at least
// 5e-10 of itself (the arc grows at least as fast as the haversine's square root).
constexpr double kBand = 1e-9;

// Estimates are trusted to a relative kEstimateMargin, over a thousand times their error;
// kEstimateFloor covers squares that underflow.
constexpr double kEstimateMargin = 1e-10;
constexpr double kEstimateFloor = 1e-300;

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

namespace nearby {

void Cosines::SetReferenceLatitude(double latitude) {
    radians_ = latitude * kRadiansPerDegree;
    cos_ = std::cos(radians_);
    sin_ = std::sin(radians_);
    if (!(cos_ >= kLeastCosine)) radians_ = std::numeric_limits<double>::quiet_NaN();
}

double AngleBoundOfDegrees(double latitudeDegrees, double longitudeDegrees, double cosBound) {
    const double dLat = latitudeDegrees * kRadiansPerDegree;
    const double dLon = longitudeDegrees * kRadiansPerDegree * std::min(1.0, cosBound);
    const double r = std::sqrt(dLat * dLat + dLon * dLon);
    if (!(r < kNearAngle)) return std::numeric_limits<double>::infinity();
    return r * (1.0 + kAngleMargin);
}

}  // namespace nearby

DistanceThreshold::DistanceThreshold(double metres) : metres_(metres) {
    const double halfAngle = metres / (2.0 * kEarthRadius);
    // Zero, negative, NaN or beyond half the globe: every pair takes the full computation.
    if (!(halfAngle > 0.0 && halfAngle < std::numbers::pi / 2.0)) return;
    const double sinHalf = std::sin(halfAngle);
    const double h = sinHalf * sinHalf;
    lowest_ = h * (1.0 - kBand);
    highest_ = h * (1.0 + kBand);
    estimateLowest_ = lowest_ * (1.0 - kEstimateMargin) - kEstimateFloor;
    estimateHighest_ = highest_ * (1.0 + kEstimateMargin) + kEstimateFloor;
    // θ = 2·asin(√h) >= 2·√h: an angle below 2·√lowest_, less a margin for rounding, has a
    // haversine below lowest_.
    if (lowest_ > 0.0 && lowest_ < nearby::kNearAngle * nearby::kNearAngle) {
        unreachedAngle_ = 2.0 * std::sqrt(lowest_) * (1.0 - nearby::kAngleMargin);
    }
}

bool DistanceThreshold::Reached(const RoutePoint& from, const RoutePoint& to) const {
    const double h = Haversine(from, to);
    if (h < lowest_) return false;
    if (h > highest_) return true;
    return MetresOfHaversine(h) >= metres_;
}

}  // namespace varistrum
