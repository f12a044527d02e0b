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
    double windowMetres = 0.0;                                // the engine's bin: 40 wavelengths
    std::int64_t windows = 0;                                 // closed bins
    std::uint32_t minimum = 0, percentile10 = 0, median = 0;  // samples per window
    double shareBelow36 = 0.0;                                // 0..1
    double maxSpeedKmh = 0.0;  // up to which a window can hold 36 samples
    LeeVerdict verdict = LeeVerdict::NotApplicable;
    int meetsPercent = 0;  // whole per cent of windows with 36 or more (rounded down)
};

// The figures of a channel from its bins' sample counts, its sample rate and the bin length;
// NotApplicable without a window.
LeeFigures LeeFiguresOf(const BinSizeCounts& binSizes, double samplesPerSecond,
                        double windowMetres);

// "meets", "meets in N % of windows", "does not meet", "not applicable"
std::string VerdictText(LeeVerdict verdict, int meetsPercent);
// The JSON value: "meets", "meets_partly", "does_not_meet", "not_applicable".
const char* VerdictKey(LeeVerdict verdict);

}  // namespace varistrum
