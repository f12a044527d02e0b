// SPDX-License-Identifier: GPL-3.0-or-later
// The test vehicle: a closed route of a few kilometres, driven with varying speed and stops.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/sim_random.h"

namespace varistrum::sim {

struct Point {
    double x = 0.0;  // metres east of the route's origin
    double y = 0.0;  // metres north
};

// Converts route metres to the file's coordinates. The origin lies just east of the zero
// meridian, so the route crosses it and longitudes change sign.
class LocalGrid {
  public:
    LocalGrid();
    std::int32_t LatitudeMas(Point p) const;  // milliseconds of arc
    std::int32_t LongitudeMas(Point p) const;
    std::int64_t LatitudeMicrodegrees(Point p) const;
    std::int64_t LongitudeMicrodegrees(Point p) const;

  private:
    double metresPerDegreeLon_;
};

// The shape of the route and whether the driver waits at its junctions.
struct RouteOptions {
    // A star around `centre` instead of the loop around the origin: turns alternately about
    // 200 m and about 3.2 km from it, so that every leg spans more than a decade of distance.
    bool star = false;
    Point centre;
    bool junctionWaits = true;  // 4-25 s at three junctions in ten
};

class Vehicle {
  public:
    explicit Vehicle(Rng& rng, const RouteOptions& route = {});

    // Drives on for the given time; returns the metres travelled.
    double Advance(double seconds, Rng& rng);
    // Drives on at exactly this speed for the given time (a creeping car); the normal driving
    // that follows starts from it. Returns the metres travelled.
    double Creep(double seconds, double speed, Rng& rng);
    // Holds the vehicle where it is (parked before the drive starts).
    void Park(double seconds) { stopLeft_ += seconds; }

    Point Position() const { return position_; }
    double Speed() const { return speed_; }  // metres per second
    int HeadingDegrees() const { return heading_; }

  private:
    void AimAtNextWaypoint(Rng& rng);
    double Travel(double metres, Rng& rng);

    std::vector<Point> waypoints_;
    std::size_t target_ = 1;
    Point position_;
    double speed_ = 0.0;
    double cruise_ = 12.0;
    double stopLeft_ = 0.0;
    int heading_ = 0;
    bool junctionWaits_ = true;
};

}  // namespace varistrum::sim
