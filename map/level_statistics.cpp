// SPDX-License-Identifier: GPL-3.0-or-later
// Level statistics from counted levels.
#include "map/level_statistics.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/number_format.h"

namespace varistrum {

namespace {

int FloorDbm(std::int16_t deci) {
    return deci >= 0 ? deci / 10 : -((-deci + 9) / 10);
}

std::string DeciText(std::int16_t deci) {
    std::string text;
    AppendFixed(text, deci / 10.0, 1);
    return text;
}

}  // namespace

// NaN (never a written level) counts as the weakest, never as undefined behaviour.
std::int16_t CentiDbm(double dbm) {
    if (std::isnan(dbm)) dbm = -320.0;
    const double centi = std::floor(std::clamp(dbm, -320.0, 320.0) * 100.0);
    return static_cast<std::int16_t>(centi);
}

std::int16_t DeciDbm(double dbm) {
    if (std::isnan(dbm)) dbm = -3200.0;
    const double deci = std::floor(std::clamp(dbm, -3200.0, 3200.0) * 10.0);
    return static_cast<std::int16_t>(deci);
}

void LevelCounts::Add(std::int16_t deciDbm, int samples) {
    const auto at = std::lower_bound(levels_.begin(), levels_.end(), deciDbm);
    const auto k = static_cast<std::size_t>(at - levels_.begin());
    if (at == levels_.end() || *at != deciDbm) {
        levels_.insert(at, deciDbm);
        counts_.insert(counts_.begin() + static_cast<std::ptrdiff_t>(k), 0);
    }
    ++counts_[k];
    ++points_;
    samples_ += samples;
}

std::int16_t NearestRankPercentile(const LevelCounts& counts, int p) {
    if (counts.Points() == 0) return 0;
    // ceil(p N / 100) in integers, at least the first rank.
    const std::int64_t rank = std::max<std::int64_t>(1, (p * counts.Points() + 99) / 100);
    std::int64_t seen = 0;
    for (std::size_t k = 0; k < counts.Levels(); ++k) {
        seen += counts.Count(k);
        if (seen >= rank) return counts.Level(k);
    }
    return counts.Level(counts.Levels() - 1);
}

LevelSummary Summarise(const LevelCounts& counts, const LevelRamp& ramp) {
    LevelSummary summary;
    summary.points = counts.Points();
    summary.samples = counts.Samples();
    summary.bounds = ramp.Thresholds();
    if (counts.Points() == 0) return summary;
    summary.firstBinDbm = FloorDbm(counts.Level(0));
    const int lastBin = FloorDbm(counts.Level(counts.Levels() - 1));
    summary.bins.assign(static_cast<std::size_t>(lastBin - summary.firstBinDbm + 1), 0);
    for (std::size_t k = 0; k < counts.Levels(); ++k) {
        const std::int16_t level = counts.Level(k);
        const std::int64_t count = counts.Count(k);
        summary.bins[static_cast<std::size_t>(FloorDbm(level) - summary.firstBinDbm)] += count;
        for (int b = 0; b < LevelRamp::kBounds; ++b) {
            if (level >= DeciDbm(summary.bounds[static_cast<std::size_t>(b)]))
                summary.atOrAbove[static_cast<std::size_t>(b)] += count;
        }
    }
    std::int64_t running = 0;
    for (const std::int64_t bin : summary.bins) summary.cumulative.push_back(running += bin);
    summary.p10 = NearestRankPercentile(counts, 10);
    summary.p50 = NearestRankPercentile(counts, 50);
    summary.p90 = NearestRankPercentile(counts, 90);
    return summary;
}

std::vector<std::string> LevelSummary::ShareLines() const {
    std::vector<std::string> lines;
    for (int b = 0; b < LevelRamp::kBounds; ++b) {
        const double share =
            points == 0 ? 0.0
                        : 100.0 * static_cast<double>(atOrAbove[static_cast<std::size_t>(b)]) /
                              static_cast<double>(points);
        std::string line;
        AppendFixed(line, share, 1);
        line += " % at or above " + LevelText(bounds[static_cast<std::size_t>(b)]) + " dBm";
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string LevelSummary::CountLine() const {
    std::string line;
    AppendInt(line, points);
    line += points == 1 ? " point, " : " points, ";
    AppendInt(line, samples);
    line += samples == 1 ? " sample" : " samples";
    return line;
}

std::string LevelSummary::PercentileLine() const {
    if (points == 0) return {};
    return "P10 " + DeciText(p10) + ", P50 " + DeciText(p50) + ", P90 " + DeciText(p90) + " dBm";
}

std::string LevelText(double dbm) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, dbm);
    return std::string(text, result.ptr);
}

}  // namespace varistrum
