// SPDX-License-Identifier: GPL-3.0-or-later
// A drive of known figures: due north at a constant speed, one GPS fix and one receiver record
// a second, a fixed number of samples a second. The reference for measurement-quality tests.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace varistrum::sim {

// Seconds of the drive in which the GPS receiver writes no record (`bad`: a record with no
// fix instead).
struct SteadyGap {
    int start = 0;
    int length = 0;
    bool bad = false;
};

struct SteadyDriveOptions {
    double speedKmh = 40.0;
    int samplesPerSecond = 31;      // receiver 1 samples in each second's record (1..4000)
    int seconds = 600;              // GPS fixes at seconds 0..seconds-1
    double frequencyMHz = 873.075;  // receiver 1; receiver 2 listens 10 MHz lower
    std::int32_t startLatitudeMas = 51 * 3600000;
    std::int32_t longitudeMas = 7 * 3600000;
    int startSecondOfDay = 10 * 3600;
    std::vector<SteadyGap> gaps;
    bool rayleigh = false;  // levels Rayleigh-faded around -80 dBm, else a repeating ramp
    std::optional<int> constantLevel;  // every sample at this level
    std::uint64_t seed = 1;
};

// Metres per millisecond of arc of latitude on the engine's sphere (radius 6378137 m).
double MetresPerLatitudeMas();
// The log file (variant 8) of the drive.
std::vector<std::uint8_t> SteadyDriveLog(const SteadyDriveOptions& options);

}  // namespace varistrum::sim
