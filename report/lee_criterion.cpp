// SPDX-License-Identifier: GPL-3.0-or-later
// Lee's criterion from the bins the averaging engine closed.
#include "report/lee_criterion.h"

#include <algorithm>

namespace varistrum {

namespace {

// The nearest-rank percentile (0 < percent <= 100) of the sizes, counted by size.
std::uint32_t NearestRankOf(const BinSizeCounts& sizes, std::int64_t bins, double percent) {
    const double n = static_cast<double>(bins);
    auto rank = static_cast<std::int64_t>(percent / 100.0 * n);
    if (static_cast<double>(rank) < percent / 100.0 * n) ++rank;  // the ceiling
    rank = std::clamp<std::int64_t>(rank, 1, bins);
    std::int64_t seen = 0;
    for (const auto& [size, count] : sizes.BySize()) {
        seen += count;
        if (seen >= rank) return size;
    }
    return 0;
}

}  // namespace

LeeFigures LeeFiguresOf(const BinSizeCounts& binSizes, double samplesPerSecond,
                        double windowMetres) {
    LeeFigures lee;
    lee.windowMetres = windowMetres;
    lee.maxSpeedKmh = samplesPerSecond * windowMetres / kLeeSamples * 3.6;
    const std::int64_t bins = binSizes.Bins();
    lee.windows = bins;
    if (bins == 0) return lee;
    lee.minimum = binSizes.BySize().begin()->first;
    lee.percentile10 = NearestRankOf(binSizes, bins, 10);
    lee.median = NearestRankOf(binSizes, bins, 50);
    std::int64_t below = 0;
    for (const auto& [size, count] : binSizes.BySize()) {
        if (size >= kLeeSamples) break;
        below += count;
    }
    lee.shareBelow36 = static_cast<double>(below) / static_cast<double>(bins);
    lee.meetsPercent = static_cast<int>((bins - below) * 100 / bins);
    if (below == 0) {
        lee.verdict = LeeVerdict::Meets;
    } else if (below * 2 <= bins) {
        lee.verdict = LeeVerdict::MeetsPartly;
    } else {
        lee.verdict = LeeVerdict::DoesNotMeet;
    }
    return lee;
}

std::string VerdictText(LeeVerdict verdict, int meetsPercent) {
    switch (verdict) {
        case LeeVerdict::Meets:
            return "meets";
        case LeeVerdict::MeetsPartly:
            return "meets in " + std::to_string(meetsPercent) + " % of windows";
        case LeeVerdict::DoesNotMeet:
            return "does not meet";
        case LeeVerdict::NotApplicable:
            break;
    }
    return "not applicable";
}

const char* VerdictKey(LeeVerdict verdict) {
    switch (verdict) {
        case LeeVerdict::Meets:
            return "meets";
        case LeeVerdict::MeetsPartly:
            return "meets_partly";
        case LeeVerdict::DoesNotMeet:
            return "does_not_meet";
        case LeeVerdict::NotApplicable:
            break;
    }
    return "not_applicable";
}

}  // namespace varistrum
