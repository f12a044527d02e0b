// SPDX-License-Identifier: GPL-3.0-or-later
// What the binning takes: one logged level of one channel at one place.
#pragma once

#include <cstdint>

namespace varistrum {

// One logged level of one channel at one place, as the text output writes it before averaging.
struct BinSample {
    double latitude = 0.0, longitude = 0.0;  // WGS 84 decimal degrees
    int channel = 0;
    double frequencyMHz = 0.0;
    int levelDbm = 0;        // whole dBm as logged; -120 means "no level" (not binned, counted)
    std::int64_t time = 0;   // seconds: UTC since 1970 when timeIsGps, else the receiver clock's
    bool timeIsGps = false;  //   own (zone-less) seconds since 1970; timeKnown false: no time
    bool timeKnown = false;
};

// The level a receiver logs when it measured nothing.
inline constexpr int kBinNoLevel = -120;

}  // namespace varistrum
