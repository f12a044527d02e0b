// SPDX-License-Identifier: GPL-3.0-or-later
// The rows a conversion hands to its stages and sinks: plain values, no reader behind them.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "logfile/decoder_state.h"
#include "logfile/records.h"

namespace varistrum {

// Layouts of the data a row holds (DataMode values).
enum class DataKind { None, Samples, List, Table };

// What times the rows of a file: Gps (the GPS date with the row's clock), Rtc (the RTC stamp)
// or None (the file has given no time yet).
enum class Timing { None, Gps, Rtc };

template <class T>
T ClampedAt(std::span<const T> table, int j) {
    if (table.empty()) return T{};
    return table[std::min(static_cast<std::size_t>(std::max(j, 0)), table.size() - 1)];
}

// What a row points at before a file has given it (rows built by hand in tests, say).
inline const GpsBlock kNoGpsBlock{};
inline const RtcClock kNoRtcClock{};
inline const TpPositionBlock kNoTpPosition{};
inline const TpTimeBlock kNoTpTime{};

// One output point of a conversion: a data line of the text output, and everything any output
// field needs. Its spans and pointers look into the decoder's buffers and are valid only during
// the call that hands the row over; a sink that keeps samples copies them.
struct OutputRow {
    std::int64_t number = 0;  // the Record Number field: 1 for the file's first row written
    int point = 0;            // index of the row among the points of its record or GPS fix

    // Placed rows are points between two fixes (interpolated, or a 40-lambda bin's centre):
    // their position, time, receiver and levels are their own. The others stand at the last
    // GPS record, whose own degree parts the text writes.
    bool placed = false;
    double latitude = 0.0;  // decimal degrees, north positive
    double longitude = 0.0;
    int hours = 0, minutes = 0, seconds = 0;
    const GpsBlock* gps = &kNoGpsBlock;  // the last GPS record (status, date, speed, ...)
    const RtcClock* rtc = &kNoRtcClock;  // the last RTC stamp
    const TpPositionBlock* tpPosition = &kNoTpPosition;
    const TpTimeBlock* tpTime = &kNoTpTime;
    Timing timing = Timing::None;

    int scanNumber = 0;  // as the index pass numbers the scans
    ScanKind scanKind = ScanKind::None;
    DataKind dataMode = DataKind::None;
    int receiver = 1;  // 1 or 2

    // The data block: levels (dBm) by slot, the last slot written, and what gives each slot its
    // frequency: the selected receiver's channel codes (single frequency and list scans) or the
    // table's channel numbers, under the receiver's frequency plan. A placed row's slots past its
    // samples read 0.
    std::span<const std::int8_t> levels;
    int lastSlot = -1;
    std::span<const std::uint32_t> channelCodes;   // kChannelTableSize entries
    std::span<const std::uint16_t> tableChannels;  // kChannelTableSize entries
    int tableEntries = 0;                          // of the last table record
    FrequencyPlan plan;

    bool averaged = false;        // a 40-lambda average: one level, at the bin's centre
    double averagedDbm = 0.0;     // its mean as the engine computed it, before truncation
    std::int64_t binSamples = 0;  // the samples its bin held
    double binMinimumDbm = 0.0;   // and the lowest and highest of them
    double binMaximumDbm = 0.0;

    // The strongest channel of the table sweep that ended in this row's record, if one did.
    bool sweepEnded = false;
    int sweepChannel = 0;
    int sweepRssi = 0;
    // Best server writes a single entry: a list row its strongest slot (-1: every slot is
    // written), a table row the strongest channel of the sweep that ended in its record.
    int bestSlot = -1;
    bool bestTableEntry = false;

    // The first row of a table scan: a header record is due before it.
    bool opensTableScan = false;

    // Frequency (MHz) of slot `j`; slots past the channel table read its last entry.
    double SlotFrequencyMHz(int j) const;
    // The channel code and the table's channel number of slot `j`, read the same way (0 for
    // an empty table).
    std::uint32_t CodeAt(int j) const { return ClampedAt(channelCodes, j); }
    std::uint16_t TableChannelAt(int j) const { return ClampedAt(tableChannels, j); }
    // The levels' slots the text writes: the slot's level, placed rows reading 0 past theirs.
    int LevelAt(int j) const {
        if (placed) return static_cast<std::size_t>(j) < levels.size() ? levels[j] : 0;
        return levels.empty() ? 0 : levels[std::min<std::size_t>(j, levels.size() - 1)];
    }
};

// A GPS record met by a conversion, in file order between the rows: the rows handed over for
// the same record come before it (they were placed up to this fix).
struct GpsFixEvent {
    const GpsBlock& gps;
    int scanNumber = 0;
    ScanKind scanKind = ScanKind::None;
    bool scanSelected = true;  // false inside a scan the conversion leaves out
};

}  // namespace varistrum
