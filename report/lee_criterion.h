// SPDX-License-Identifier: GPL-3.0-or-later
// Lee's criterion for 40-lambda averaging: each window should hold at least 36 samples.
#pragma once

#include <cstdint>
#include <string>

#include "averaging/averaging_engine.h"

namespace varistrum {

inline constexpr std::uint32_t kLeeSamples = 36;

// Ordered from best to worst, so the worst of several is the greatest.
enum class LeeVerdict { Meets, MeetsPartly, DoesNotMeet, NotApplicable };

struct LeeFigures {
    double windowMetres = 0.0;        // the engine's bin: 40 wavelengths
    std::int64_t windows = 0;         // closed bins
    std::int64_t windowsBelow36 = 0;  // of them, those with fewer than 36 samples
    std::uint32_t minimum = 0, percentile10 = 0, median = 0;  // samples per window; 0 without
    double maxSpeedKmh = 0.0;                        // up to which a window can hold 36 samples
    LeeVerdict verdict = LeeVerdict::NotApplicable;  // NotApplicable without windows
    int meetsPerMille = 0;  // windows with 36 or more, in tenths of a per cent (MeetsPerMille)
};

// The figures of a channel from its bins' sample counts, its sample rate and the bin length;
// NotApplicable without a window.
LeeFigures LeeFiguresOf(const BinSizeCounts& binSizes, double samplesPerSecond,
                        double windowMetres);

// Meets when no window has fewer than 36 samples, meets partly when up to half have, does not
// meet beyond that; NotApplicable without windows. The same rule for a channel and for a
// frequency across scans.
LeeVerdict VerdictOf(std::int64_t windows, std::int64_t below36);

// The share of windows with 36 samples or more in tenths of a per cent (0..1000), to the
// nearest, but 1000 only when every window has them and 0 only when none has: "99.96 %" is
// given as 99.9, never as a 100.0 that contradicts the verdict. 0 without windows.
int MeetsPerMille(std::int64_t windows, std::int64_t below36);

// "50.7" for 507: a share in tenths of a per cent with one decimal.
std::string PerMilleText(int perMille);

// "meets", "meets in 50.7 % of windows", "does not meet", "not applicable"
std::string VerdictText(LeeVerdict verdict, int meetsPerMille);
// The JSON value: "meets", "meets_partly", "does_not_meet", "not_applicable".
const char* VerdictKey(LeeVerdict verdict);

// The worse of two verdicts, where NotApplicable gives way to any other.
LeeVerdict WorseVerdict(LeeVerdict a, LeeVerdict b);

}  // namespace varistrum
