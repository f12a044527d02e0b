// SPDX-License-Identifier: GPL-3.0-or-later
// Lee's criterion from the bins the averaging engine closed.
#include "report/lee_criterion.h"

#include <algorithm>

namespace varistrum {

namespace {

std::uint32_t NearestRankOf(const std::vector<std::uint32_t>& sorted, double percent) {
    if (sorted.empty()) return 0;
    const double n = static_cast<double>(sorted.size());
    auto rank = static_cast<std::size_t>(percent / 100.0 * n);
    if (static_cast<double>(rank) < percent / 100.0 * n) ++rank;  // the ceiling
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

}  // namespace

LeeFigures LeeFiguresOf(std::vector<std::uint32_t> binSizes, double samplesPerSecond,
                        double windowMetres) {
    LeeFigures lee;
    lee.windowMetres = windowMetres;
    lee.maxSpeedKmh = samplesPerSecond * windowMetres / kLeeSamples * 3.6;
    lee.windows = static_cast<std::int64_t>(binSizes.size());
    if (binSizes.empty()) return lee;
    std::sort(binSizes.begin(), binSizes.end());
    lee.minimum = binSizes.front();
    lee.percentile10 = NearestRankOf(binSizes, 10);
    lee.median = NearestRankOf(binSizes, 50);
    const auto below = static_cast<std::size_t>(
        std::lower_bound(binSizes.begin(), binSizes.end(), kLeeSamples) - binSizes.begin());
    lee.shareBelow36 = static_cast<double>(below) / static_cast<double>(binSizes.size());
    lee.meetsPercent = static_cast<int>((binSizes.size() - below) * 100 / binSizes.size());
    if (below == 0) {
        lee.verdict = LeeVerdict::Meets;
    } else if (below * 2 <= binSizes.size()) {
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
