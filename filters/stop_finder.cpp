// SPDX-License-Identifier: GPL-3.0-or-later
// The stop search over the good fixes of a file.
#include "filters/stop_finder.h"

#include <algorithm>
#include <cmath>

#include "base/geodesic.h"

namespace varistrum {

namespace {

// No two points of the ellipsoid whose latitudes differ by a degree lie closer than this (the
// shortest degree of a meridian is 110,574 m, at the equator): a cheap test before the geodesic.
constexpr double kShortestDegreeOfLatitude = 110500.0;

}  // namespace

double StandStillRule::Metres() const {
    switch (unit) {
        case DistanceUnit::Degrees:
            return distance * kMetresPerDegree;
        case DistanceUnit::Minutes:
            return distance * kMetresPerMinute;
        default:
            return distance;
    }
}

const char* StandStillRule::Problem() const {
    if (!std::isfinite(distance) || !(distance > 0.0) || !std::isfinite(Metres()))
        return "The standing-still distance must be a number above 0.";
    if (seconds < 1 || seconds > kStandStillSecondsMax)
        return "The standing-still time must be a whole number of seconds from 1 to 3600.";
    if (unit != DistanceUnit::Degrees && unit != DistanceUnit::Minutes &&
        unit != DistanceUnit::Metres)
        return "The standing-still distance must be in degrees, minutes or metres.";
    return nullptr;
}

StopFinder::StopFinder(const StandStillRule& rule)
    : metres_(rule.Metres()), seconds_(rule.seconds) {}

void StopFinder::AddFix(std::int64_t gpsRecord, std::int64_t seconds, double latitude,
                        double longitude) {
    Push({gpsRecord, seconds, latitude, longitude});
    Advance();
    while (!inStop_ && size_ > kStopSearchFixesMax) {
        PopFront(1);  // the candidate waited too long for its seconds: no stop begins there
        next_ = 1;
        Advance();
    }
}

void StopFinder::Finish() {
    if (inStop_) Emit();
    inStop_ = false;
    size_ = 0;
    head_ = 0;
    next_ = 1;
}

void StopFinder::Push(const Fix& fix) {
    if (size_ == ring_.size()) {
        // Grows by doubling up to the bound; the fixes are laid out from the front again.
        std::vector<Fix> grown(
            std::min(std::max<std::size_t>(16, 2 * ring_.size()), kStopSearchFixesMax + 1));
        for (std::size_t k = 0; k < size_; ++k) grown[k] = At(k);
        ring_ = std::move(grown);
        head_ = 0;
    }
    ring_[(head_ + size_) % ring_.size()] = fix;
    ++size_;
}

void StopFinder::PopFront(std::size_t n) {
    n = std::min(n, size_);
    head_ = ring_.empty() ? 0 : (head_ + n) % ring_.size();
    size_ -= n;
}

void StopFinder::Advance() {
    while (next_ < size_) {
        const Fix& candidate = At(0);
        const Fix& fix = At(next_);
        const bool within =
            std::abs(fix.latitude - candidate.latitude) * kShortestDegreeOfLatitude <= metres_ &&
            GeodesicMetres(candidate.latitude, candidate.longitude, fix.latitude, fix.longitude) <=
                metres_;
        if (inStop_) {
            if (within) {
                stopLast_ = fix;
                ++next_;
                continue;
            }
            Emit();  // the stop ended at the fix before; the search goes on from this one
            inStop_ = false;
            PopFront(next_);
            next_ = 1;
            continue;
        }
        if (!within) {
            PopFront(1);  // no stop begins at the candidate: try the next fix
            next_ = 1;
            continue;
        }
        if (fix.seconds - candidate.seconds >= seconds_) {
            inStop_ = true;
            stopLast_ = fix;
        }
        ++next_;
    }
    if (inStop_) {
        size_ = std::min<std::size_t>(size_, 1);  // the fixes after the candidate are in its stop
        next_ = 1;
    }
}

void StopFinder::Emit() {
    const Fix& first = At(0);
    stops_.push_back({first.gpsRecord, stopLast_.gpsRecord, stopLast_.seconds - first.seconds,
                      first.latitude, first.longitude});
}

}  // namespace varistrum
