// SPDX-License-Identifier: GPL-3.0-or-later
// Finding where a drive stood still: runs of good fixes that stay within a distance of their
// first fix for at least a time.
#pragma once

#include <cstdint>
#include <vector>

#include "base/spill_array.h"

namespace varistrum {

// Units of the standing-still distance.
enum class DistanceUnit : int { Degrees = 0, Minutes = 1, Metres = 2 };

inline constexpr double kMetresPerDegree = 111195.0;  // of arc
inline constexpr double kMetresPerMinute = 1853.25;   // of arc
inline constexpr int kStandStillSecondsMax = 3600;
// The most fixes a stop search keeps at once, whatever T seconds hold.
inline constexpr std::size_t kStopSearchFixesMax = 100000;

// "The vehicle has not travelled `distance` in `seconds`."
struct StandStillRule {
    double distance = 0.0005;
    DistanceUnit unit = DistanceUnit::Degrees;
    int seconds = 30;

    double Metres() const;
    // Why the rule cannot be used (a distance not above 0, seconds outside 1..3600); empty when
    // it can.
    const char* Problem() const;
    bool operator==(const StandStillRule&) const = default;
};

// A stop: fixes i..j (GPS record numbers, 1 = the file's first GPS record of any status), the
// seconds from i to j and the position of fix i (decimal degrees).
struct StandingStop {
    std::int64_t firstGpsRecord = 0;
    std::int64_t lastGpsRecord = 0;
    std::int64_t seconds = 0;
    double latitude = 0.0;
    double longitude = 0.0;
};

// Takes the good fixes of a file in order and lists its stops. A stop begins at fix i when every
// following good fix up to some fix j lies within the distance of fix i (geodesic, WGS 84) and
// the time from i to j is at least the seconds; it is the longest such run, and the search goes
// on after j; otherwise it moves on to fix i+1. A run still within the distance at the end of
// the file is a stop when it lasted long enough. The search keeps the fixes of at most the
// rule's seconds (at most kStopSearchFixesMax: when more fixes wait, the oldest candidate is
// given up as no stop), so its memory is bounded and its cost is the fixes times the fixes in
// that time.
class StopFinder {
  public:
    explicit StopFinder(const StandStillRule& rule);

    // A good fix: its GPS record number, its time in seconds since the first good fix (never
    // falling) and its position.
    void AddFix(std::int64_t gpsRecord, std::int64_t seconds, double latitude, double longitude);
    // The end of the file: a stop under way is listed.
    void Finish();

    SpillArray<StandingStop>& Stops() { return stops_; }
    std::size_t FixesHeld() const { return size_; }

  private:
    struct Fix {
        std::int64_t gpsRecord;
        std::int64_t seconds;
        double latitude, longitude;
    };
    const Fix& At(std::size_t k) const { return ring_[(head_ + k) % ring_.size()]; }
    void Push(const Fix& fix);
    void PopFront(std::size_t n);
    void Advance();
    void Emit();

    double metres_;
    std::int64_t seconds_;
    std::vector<Fix> ring_;  // the candidate (front) and the fixes after it not yet decided
    std::size_t head_ = 0, size_ = 0;
    std::size_t next_ = 1;  // the first fix after the candidate not yet compared with it
    bool inStop_ = false;   // the candidate has stood still long enough
    Fix stopLast_{};        // the last fix of the stop under way
    SpillArray<StandingStop> stops_;
};

}  // namespace varistrum
