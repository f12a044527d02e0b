// SPDX-License-Identifier: GPL-3.0-or-later
// Route geometry and driving dynamics of the simulated vehicle.
#include "tools/vehicle_route.h"

#include <algorithm>
#include <cmath>

#include "tools/portable_math.h"

namespace varistrum::sim {

namespace {

constexpr double kOriginLatitude = 51.4779;  // degrees
constexpr double kOriginLongitude = 0.0060;  // degrees
constexpr double kMetresPerDegreeLat = 111319.49;
constexpr int kWaypoints = 12;
constexpr int kStarSpokes = 5;

double Distance(Point a, Point b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    return std::sqrt(dx * dx + dy * dy);
}

}  // namespace

LocalGrid::LocalGrid()
    : metresPerDegreeLon_(kMetresPerDegreeLat * Cos(kOriginLatitude * kPi / 180.0)) {}

std::int64_t LocalGrid::LatitudeMicrodegrees(Point p) const {
    return static_cast<std::int64_t>(
        RoundHalfUp((kOriginLatitude + p.y / kMetresPerDegreeLat) * 1e6));
}

std::int64_t LocalGrid::LongitudeMicrodegrees(Point p) const {
    return static_cast<std::int64_t>(
        RoundHalfUp((kOriginLongitude + p.x / metresPerDegreeLon_) * 1e6));
}

std::int32_t LocalGrid::LatitudeMas(Point p) const {
    return static_cast<std::int32_t>(
        RoundHalfUp((kOriginLatitude + p.y / kMetresPerDegreeLat) * 3600000.0));
}

std::int32_t LocalGrid::LongitudeMas(Point p) const {
    return static_cast<std::int32_t>(
        RoundHalfUp((kOriginLongitude + p.x / metresPerDegreeLon_) * 3600000.0));
}

Vehicle::Vehicle(Rng& rng, const RouteOptions& route) : junctionWaits_(route.junctionWaits) {
    if (route.star) {
        // Inner and outer turns alternate in angular order; the drive starts at an inner one,
        // heading out.
        const int turns = 2 * kStarSpokes;
        for (int i = 0; i < turns; ++i) {
            const double angle = (i + 0.4 * (rng.Uniform() - 0.5)) * (2.0 * kPi / turns);
            const double radius =
                i % 2 == 0 ? 150.0 + 100.0 * rng.Uniform() : 3000.0 + 400.0 * rng.Uniform();
            waypoints_.push_back(
                {route.centre.x + radius * Cos(angle), route.centre.y + radius * Sin(angle)});
        }
        target_ = 0;
    } else {
        // Waypoints around the origin in angular order make a closed loop without crossings.
        for (int i = 0; i < kWaypoints; ++i) {
            const double angle = (i + 0.4 * (rng.Uniform() - 0.5)) * (2.0 * kPi / kWaypoints);
            const double radius = 700.0 + 1600.0 * rng.Uniform();
            waypoints_.push_back({radius * Cos(angle), radius * Sin(angle)});
        }
        // Start in the north of the loop, heading west: the drive soon crosses the zero
        // meridian.
        target_ = kWaypoints / 4 - 1;
    }
    position_ = waypoints_[target_];
    AimAtNextWaypoint(rng);
    stopLeft_ = 0.0;
}

void Vehicle::AimAtNextWaypoint(Rng& rng) {
    target_ = (target_ + 1) % waypoints_.size();
    const Point to = waypoints_[target_];
    const double degrees = Atan2(to.x - position_.x, to.y - position_.y) * (180.0 / kPi);
    heading_ = static_cast<int>(RoundHalfUp(degrees < 0.0 ? degrees + 360.0 : degrees)) % 360;
    cruise_ = 7.0 + 13.0 * rng.Uniform();
    if (junctionWaits_ && rng.Chance(0.3)) stopLeft_ += rng.Range(4, 25);  // traffic lights
}

double Vehicle::Advance(double seconds, Rng& rng) {
    if (stopLeft_ > 0.0) {
        stopLeft_ -= seconds;
        speed_ = 0.0;
        return 0.0;
    }
    // Slow down for the turn at the next waypoint, otherwise approach the cruising speed.
    const double ahead = Distance(position_, waypoints_[target_]);
    const double wanted = ahead < 40.0 ? 5.0 : cruise_;
    const double change = wanted - speed_;
    speed_ += std::clamp(change, -3.0 * seconds, 2.0 * seconds);  // brake harder than accelerate
    return Travel(speed_ * seconds, rng);
}

double Vehicle::Creep(double seconds, double speed, Rng& rng) {
    speed_ = speed;
    return Travel(speed * seconds, rng);
}

// Moves along the waypoints; a wait at a junction ends the move there.
double Vehicle::Travel(double left, Rng& rng) {
    double travelled = 0.0;
    while (left > 0.0) {
        const Point to = waypoints_[target_];
        const double gap = Distance(position_, to);
        if (gap > left) {
            position_.x += (to.x - position_.x) * (left / gap);
            position_.y += (to.y - position_.y) * (left / gap);
            travelled += left;
            break;
        }
        position_ = to;
        left -= gap;
        travelled += gap;
        AimAtNextWaypoint(rng);
        if (stopLeft_ > 0.0) break;  // the rest of this step is spent braking
    }
    return travelled;
}

}  // namespace varistrum::sim
