// SPDX-License-Identifier: GPL-3.0-or-later
// Haversine distances on a sphere of 6378137.0 m, split so a threshold test can often stop early.
#pragma once

#include <cmath>
#include <limits>
#include <numbers>

namespace varistrum {

inline constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

// A point distances are measured from or to; the cosine of its latitude is worked out once.
struct RoutePoint {
    double latitude = 0.0;   // decimal degrees
    double longitude = 0.0;  // decimal degrees
    double cosLatitude = 1.0;
};

RoutePoint RoutePointAt(double latitude, double longitude);

// The haversine of the central angle: sin²(dφ/2) + (cos φ1 · cos φ2) · sin²(dλ/2), each square
// formed before it is multiplied.
double Haversine(const RoutePoint& from, const RoutePoint& to);

// Metres of arc for a haversine value.
double MetresOfHaversine(double h);

inline double GreatCircleMetres(const RoutePoint& from, const RoutePoint& to) {
    return MetresOfHaversine(Haversine(from, to));
}

// Estimates for points close to each other, without a sine or cosine call.
//
// Half-differences below kNearAngle radians have a sine of x - x³/6 to within a relative
// x⁴/120 (< 1e-14); latitudes within kNearLatitude radians of a reference latitude have a
// cosine from its Taylor series to within 1e-17, relative 1e-15 where the reference cosine is
// at least kLeastCosine. A haversine estimate thus lies within a relative 1e-13 of what
// Haversine computes; it is NaN when the points are too far apart (or not finite).
namespace nearby {

inline constexpr double kNearAngle = 1e-3;
inline constexpr double kNearLatitude = 1e-4;
inline constexpr double kLeastCosine = 0.01;
// Angles compared in place of distances: a relative margin far beyond asin(z)/z - 1 (below
// 1e-6 for the angles allowed) and an absolute one far beyond the rounding of coordinates
// (below 1e-15 rad).
inline constexpr double kAngleMargin = 1e-5;
inline constexpr double kAngleFloor = 1e-13;

inline constexpr double kSixth = 1.0 / 6.0;

inline double Sine(double x) {
    return x - x * x * x * kSixth;
}

// The haversine from `from` to a point whose latitude has the cosine `toCosLatitude` (exact,
// or a Cosines estimate); NaN when the points are not near.
inline double Haversine(const RoutePoint& from, double toLatitude, double toLongitude,
                        double toCosLatitude) {
    const double x = (toLatitude * kRadiansPerDegree - from.latitude * kRadiansPerDegree) / 2.0;
    const double y = (toLongitude * kRadiansPerDegree - from.longitude * kRadiansPerDegree) / 2.0;
    if (!(std::fabs(x) < kNearAngle && std::fabs(y) < kNearAngle)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    // Both terms must be non-negative for their errors to stay relative to the sum (cosines
    // are negative only for latitudes beyond the poles).
    const double cosines = from.cosLatitude * toCosLatitude;
    if (!(cosines >= 0.0)) return std::numeric_limits<double>::quiet_NaN();
    const double sinX = Sine(x);
    const double sinY = Sine(y);
    return sinX * sinX + cosines * (sinY * sinY);
}

// The central angle (radians) of a haversine estimate, rounded up far beyond its error
// (asin(z) <= z·(1 + z²/5) for the small z of an estimate); NaN for a NaN estimate.
inline double AngleAbove(double estimate) {
    return 2.0 * std::sqrt(estimate) * (1.0 + kAngleMargin) + kAngleFloor;
}

// An upper bound of the central angle between two points whose latitudes and longitudes
// differ by the given degrees, when it is small; infinity otherwise. `cosBound` is at least
// the cosine of either latitude (1 will always do).
// h <= sin²(dφ/2) + cos²·sin²(dλ/2) <= (dφ² + cos²·dλ²)/4, so θ <= 2·asin(r/2) with r the root.
double AngleBoundOfDegrees(double latitudeDegrees, double longitudeDegrees, double cosBound);

// Cosines of latitudes near a reference latitude, from its sine and cosine.
class Cosines {
  public:
    void SetReferenceLatitude(double latitude);
    // NaN when the latitude is too far from the reference one. Within 1e-15 of the cosine.
    double CosLatitude(double latitude) const {
        const double d = latitude * kRadiansPerDegree - radians_;
        if (!(std::fabs(d) <= kNearLatitude)) return std::numeric_limits<double>::quiet_NaN();
        // cos(a + d) = cos a · cos d - sin a · sin d
        return cos_ * (1.0 - d * d * 0.5) - sin_ * (d - d * d * d * kSixth);
    }

  private:
    double radians_ = std::numeric_limits<double>::quiet_NaN();
    double cos_ = 0.0;
    double sin_ = 0.0;
};

}  // namespace nearby

enum class ThresholdAnswer { No, Yes, Unsure };

// Answers "GreatCircleMetres(from, to) >= metres" exactly as the full computation does, but
// decides most pairs from the haversine alone: the arc grows with the haversine, so values
// clearly below or above the threshold's own haversine need no arctangent.
class DistanceThreshold {
  public:
    DistanceThreshold() = default;
    explicit DistanceThreshold(double metres);
    bool Reached(const RoutePoint& from, const RoutePoint& to) const;
    // The answer for a nearby::Haversine estimate, when the estimate's error cannot change it.
    ThresholdAnswer Decide(double estimate) const {
        if (estimate < estimateLowest_) return ThresholdAnswer::No;
        if (estimate > estimateHighest_) return ThresholdAnswer::Yes;
        return ThresholdAnswer::Unsure;  // also NaN
    }
    // A central angle (radians) below which the threshold is surely not reached; 0 when the
    // threshold is too large (or too odd) for angles to be compared in place of distances.
    double UnreachedAngle() const { return unreachedAngle_; }

  private:
    double metres_ = 0.0;
    // Haversines below lowest_ never reach the threshold, above highest_ always do; the band
    // between (and NaN) takes the full computation.
    double lowest_ = -std::numeric_limits<double>::infinity();
    double highest_ = std::numeric_limits<double>::infinity();
    // The same band widened by far more than an estimate's error.
    double estimateLowest_ = -std::numeric_limits<double>::infinity();
    double estimateHighest_ = std::numeric_limits<double>::infinity();
    double unreachedAngle_ = 0.0;
};

}  // namespace varistrum
