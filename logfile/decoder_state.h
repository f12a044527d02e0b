// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement state that the decoder folds records into and the output writers read.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "logfile/pending_rows.h"
#include "logfile/records.h"

namespace varistrum {

inline constexpr int kChannelTableSize = 32;

// Scan kinds (ScanMode values); the numbers are the scan tree's root codes.
enum class ScanKind : int { None = -1, Table = 1, SingleFrequency = 19, List = 20 };
inline int ScanCode(ScanKind kind) {
    return static_cast<int>(kind);
}

// Layouts of the data now arriving (DataMode values).
enum class DataKind { None, Samples, List, Table };

// Timing sources of sample records.
enum class Timing { None, Gps, Rtc };

// Best channel of a sweep that has not begun yet.
inline constexpr int kNoBestChannel = 1000000;

// Strongest channel over a sweep of table records: `best` of the sweep under way, `held` the
// best of the sweep that ended in the current record.
struct BestServerState {
    bool held = false;
    int bestRssi = kNoLevel;
    int bestChannel = kNoBestChannel;
    int heldRssi = kNoLevel;
    int heldChannel = 0;
    int recordBestRssi = kNoLevel;
    int recordBestChannel = 3100;
};

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
    DataKind DataMode = DataKind::None;
    Timing TimingSource = Timing::None;
    int ScanIndex = 0;
    int SelectedReceiver = 0;
    bool SkipScan = false;
    bool HeaderPending = false;
    bool headerChangeRemembered = false;

    bool timeSeen = false, configSeen = false, list32Seen = false, list10Seen = false;
    bool timeSinceOpen = false, scanStartWaiting = false;
    bool userFrequencies = false;
    bool InOutage = false;
    std::int64_t droppedInOutages = 0;  // data records ignored inside GPS outages since Open
    bool newGpsRecord = false;
    bool firstFix = true;
    std::array<bool, 2> receiverPresent{};
    std::array<bool, 2> receiverDataSeen{};
    std::array<bool, 2> receiverWritten{};

    std::array<FrequencyPlan, 2> plans{};
    std::array<std::uint32_t, kChannelTableSize> channelValuesA{};
    std::array<std::uint32_t, kChannelTableSize> channelValuesB{};
    std::array<std::uint16_t, kChannelTableSize> channelNumbers{};
    std::vector<std::int8_t> levels;  // RSSI of the current data record, one per sample or entry
    int lastSampleIndex = -1;         // of the current sample record
    int tableEntries = 0;             // entries kept from the current table record

    int OutputCount = 0;
    int PendingRecords = 0;
    PendingRowStore rows;  // the output points waiting for the next fix

    double previousLatitude = 0.0, previousLongitude = 0.0;
    int previousHours = 0, previousMinutes = 0, previousSeconds = 0;

    BestServerState bestServer;
    GpsBlock gps;
    RtcClock rtc;
    TpPositionBlock tpPosition;
    TpTimeBlock tpTime;
    std::string ScanName = "<Timestamp Not Available>";
    StatisticsCounters counters;

    // Channel value of slot j of the selected receiver's table; slots past the table read its last
    // entry.
    std::uint32_t ChannelValue(int receiver, int slot) const;
    std::uint16_t ChannelNumber(int slot) const;
    // Values per output point come from the pending rows only for GPS-timed single-frequency data.
    // Sample j of pending row k; a slot the row did not fill reads 0.
    static int RowSample(const PendingRow& row, int j) {
        return j >= 0 && static_cast<std::size_t>(j) < row.sampleCount ? row.samples[j] : 0;
    }
    bool RowsCarryPoints() const {
        return DataMode == DataKind::Samples && TimingSource == Timing::Gps;
    }
    // Best server over a channel list: the strongest slot that has a channel (above -150 dBm;
    // the lower slot on a tie); slot 0 if none.
    int BestListSlot() const;
    const FrequencyPlan& SelectedPlan() const { return plans[SelectedReceiver == 1 ? 1 : 0]; }
};

}  // namespace varistrum
