// SPDX-License-Identifier: GPL-3.0-or-later
// Level statistics of the points a map shows: histogram, distribution, percentiles, shares.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "geodata/level_ramp.h"

namespace varistrum {

// A level in hundredths of a dB (a point's level as the map keeps it) and in tenths (as the
// statistics count it), rounded down: the order stays, and a level is at or above a bound of
// two (one) decimals exactly when its hundredths (tenths) are: -80.004 dBm is below -80.
std::int16_t CentiDbm(double dbm);
std::int16_t DeciDbm(double dbm);

// Counts of levels to a tenth of a dB, as the statistics show them: memory grows with the
// distinct tenths (at most a few thousand a channel), not with the points, at ten bytes each (a
// drive of thousands of channels keeps hundreds of thousands of them).
class LevelCounts {
  public:
    void Add(std::int16_t deciDbm, int samples);
    std::int64_t Points() const { return points_; }
    std::int64_t Samples() const { return samples_; }
    // The distinct levels, lowest first, and the points at each.
    std::size_t Levels() const { return levels_.size(); }
    std::int16_t Level(std::size_t k) const { return levels_[k]; }
    std::int64_t Count(std::size_t k) const { return counts_[k]; }

  private:
    std::vector<std::int16_t> levels_;
    std::vector<std::int64_t> counts_;
    std::int64_t points_ = 0;
    std::int64_t samples_ = 0;
};

struct LevelSummary {
    std::int64_t points = 0;
    std::int64_t samples = 0;
    int firstBinDbm = 0;                   // the lower edge of bins[0]
    std::vector<std::int64_t> bins;        // points per 1 dB bin [edge, edge + 1)
    std::vector<std::int64_t> cumulative;  // points at or below each bin's top
    // Nearest-rank percentiles in tenths of a dB (the levels of ranks ceil(p N / 100)).
    std::int16_t p10 = 0, p50 = 0, p90 = 0;
    std::array<std::int64_t, LevelRamp::kBounds> atOrAbove{};  // points at or above each bound
    LevelRamp::Bounds bounds{};

    // "72.4 % at or above -90 dBm" for each bound, weakest first.
    std::vector<std::string> ShareLines() const;
    // "12345 points, 23456 samples".
    std::string CountLine() const;
    // "P10 -101.0, P50 -88.0, P90 -75.0 dBm"; empty without points.
    std::string PercentileLine() const;
};

LevelSummary Summarise(const LevelCounts& counts, const LevelRamp& ramp);

// The nearest-rank percentile `p` (1..100) of counted levels in tenths of a dB; 0 without
// points.
std::int16_t NearestRankPercentile(const LevelCounts& counts, int p);

// "-90", "-92.5": a level or bound without a useless fraction.
std::string LevelText(double dbm);

}  // namespace varistrum
