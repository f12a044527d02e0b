// SPDX-License-Identifier: GPL-3.0-or-later
// Haversine distances on a sphere of 6378137.0 m, split so a threshold test can often stop early.
#pragma once

#include <limits>

namespace varistrum {

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

// Answers "GreatCircleMetres(from, to) >= metres" exactly as the full computation does, but
// decides most pairs from the haversine alone: the arc grows with the haversine, so values
// clearly below or above the threshold's own haversine need no arctangent.
class DistanceThreshold {
  public:
    DistanceThreshold() = default;
    explicit DistanceThreshold(double metres);
    bool Reached(const RoutePoint& from, const RoutePoint& to) const;

  private:
    double metres_ = 0.0;
    // Haversines below lowest_ never reach the threshold, above highest_ always do; the band
    // between (and NaN) takes the full computation.
    double lowest_ = -std::numeric_limits<double>::infinity();
    double highest_ = std::numeric_limits<double>::infinity();
};

}  // namespace varistrum
