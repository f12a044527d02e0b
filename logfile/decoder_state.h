// SPDX-License-Identifier: GPL-3.0-or-later
// What the decoder knows of the log at the current record: scans, time, plans, the last GPS
// fix and clock stamp, and the record statistics. Every pass over a log reads it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "logfile/records.h"

namespace varistrum {

inline constexpr int kChannelTableSize = 32;

// Scan kinds (ScanMode values); the numbers are the scan tree's root codes.
enum class ScanKind : int { None = -1, Table = 1, SingleFrequency = 19, List = 20 };
inline int ScanCode(ScanKind kind) {
    return static_cast<int>(kind);
}

struct StatisticsCounters {
    std::int64_t gpsTotal = 0;
    std::int64_t gps3dLock = 0;
    std::int64_t gps2dLock = 0;
    std::int64_t rx1Single = 0;
    std::int64_t rx2Single = 0;
    std::int64_t listMode = 0;
    std::int64_t tableMode = 0;
};

struct DecoderState {
    ScanKind ScanMode = ScanKind::None;
    int ScanIndex = 0;
    // A new scan began; the index pass adds its tree entry and clears it (table scans get none).
    bool HeaderPending = false;

    bool timeSeen = false, configSeen = false, list32Seen = false, list10Seen = false;
    bool timeSinceOpen = false, scanStartWaiting = false;
    // Set by the index pass at the end of a log with receiver samples but no frequency
    // definition: frequencies must be typed in before it converts.
    bool frequenciesNeeded = false;
    bool newGpsRecord = false;  // raised by every GPS record; the passes that watch fixes clear it
    std::array<bool, 2> receiverPresent{};
    std::array<bool, 2> receiverDataSeen{};

    std::array<FrequencyPlan, 2> plans{};
    GpsBlock gps;
    RtcClock rtc;
    TpPositionBlock tpPosition;
    TpTimeBlock tpTime;
    std::string ScanName = "<Timestamp Not Available>";
    StatisticsCounters counters;
};

}  // namespace varistrum
