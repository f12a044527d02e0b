// SPDX-License-Identifier: GPL-3.0-or-later
// Lee's criterion from the bins the averaging engine closed.
#include "report/lee_criterion.h"

#include <algorithm>

#include "base/number_format.h"

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
    for (const auto& [size, count] : binSizes.BySize()) {
        if (size >= kLeeSamples) break;
        lee.windowsBelow36 += count;
    }
    lee.verdict = VerdictOf(bins, lee.windowsBelow36);
    lee.meetsPerMille = MeetsPerMille(bins, lee.windowsBelow36);
    return lee;
}

LeeVerdict VerdictOf(std::int64_t windows, std::int64_t below36) {
    if (windows <= 0) return LeeVerdict::NotApplicable;
    if (below36 <= 0) return LeeVerdict::Meets;
    if (below36 * 2 <= windows) return LeeVerdict::MeetsPartly;
    return LeeVerdict::DoesNotMeet;
}

int MeetsPerMille(std::int64_t windows, std::int64_t below36) {
    if (windows <= 0) return 0;
    below36 = std::clamp<std::int64_t>(below36, 0, windows);
    const std::int64_t meeting = windows - below36;
    // To the nearest tenth of a per cent, halves up. A window holds a sample at least, so the
    // counts stay far below what the products could overflow.
    std::int64_t perMille = (meeting * 2000 + windows) / (windows * 2);
    if (below36 > 0) perMille = std::min<std::int64_t>(perMille, 999);
    if (meeting > 0) perMille = std::max<std::int64_t>(perMille, 1);
    return static_cast<int>(perMille);
}

std::string PerMilleText(int perMille) {
    std::string text;
    AppendInt(text, perMille / 10);
    text.push_back('.');
    AppendInt(text, perMille % 10);
    return text;
}

std::string VerdictText(LeeVerdict verdict, int meetsPerMille) {
    switch (verdict) {
        case LeeVerdict::Meets:
            return "meets";
        case LeeVerdict::MeetsPartly:
            return "meets in " + PerMilleText(meetsPerMille) + " % of windows";
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

LeeVerdict WorseVerdict(LeeVerdict a, LeeVerdict b) {
    if (a == LeeVerdict::NotApplicable) return b;
    if (b == LeeVerdict::NotApplicable) return a;
    return std::max(a, b);
}

}  // namespace varistrum
