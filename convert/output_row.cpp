// SPDX-License-Identifier: GPL-3.0-or-later
// Rows from the decoder state.
#include "convert/output_row.h"

#include <algorithm>

#include "logfile/tavrel_reader.h"

namespace varistrum {

double OutputRow::SlotFrequencyMHz(int j) const {
    if (dataMode == DataKind::Table) {
        if (tableChannels.empty()) return 0.0;
        const std::size_t at = std::min<std::size_t>(static_cast<std::size_t>(std::max(j, 0)),
                                                     tableChannels.size() - 1);
        return plan.CodeToMHz(plan.CodeOfChannel(tableChannels[at]));
    }
    if (channelCodes.empty()) return 0.0;
    const std::size_t at =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(j, 0)), channelCodes.size() - 1);
    return plan.CodeToMHz(channelCodes[at]);
}

void FillRow(const TavrelReader& reader, int point, std::int64_t number, OutputRow& row) {
    const DecoderState& s = reader.State();
    row.number = number;
    row.point = point;
    row.gps = s.gps;
    row.scanNumber = s.ScanIndex;
    row.scanKind = s.ScanMode;
    row.dataMode = s.DataMode;
    row.receiver = s.SelectedReceiver == 1 ? 2 : 1;
    row.plan = s.SelectedPlan();
    row.channelCodes = s.SelectedReceiver == 1 ? std::span<const std::uint32_t>(s.channelValuesB)
                                               : std::span<const std::uint32_t>(s.channelValuesA);
    row.tableChannels = {};
    row.timing = s.TimingSource == Timing::Rtc ? Timing::Rtc
                 : s.counters.gpsTotal > 0     ? Timing::Gps
                                               : Timing::None;
    row.rtc = s.rtc;
    row.averaged = reader.AverageType() == kAverageLambda && s.RowsCarryPoints();
    const bool bestServer = reader.AverageType() == kAverageBestServer;
    row.bestSlot = bestServer && s.DataMode == DataKind::List ? s.BestListSlot() : -1;
    row.bestTableEntry = bestServer && s.DataMode == DataKind::Table;
    row.bestChannel = s.bestServer.heldChannel;
    row.bestRssi = s.bestServer.heldRssi;

    if (s.RowsCarryPoints() && !s.rows.empty()) {
        // Read again by the text writer for the same point: the same values.
        const PendingRow& pending = s.rows[static_cast<std::size_t>(
            std::clamp<int>(point, 0, static_cast<int>(s.rows.size()) - 1))];
        row.latitude = pending.latitude;
        row.longitude = pending.longitude;
        row.hours = pending.hours;
        row.minutes = pending.minutes;
        row.seconds = pending.seconds;
        row.levels = std::span<const std::int8_t>(pending.samples, pending.sampleCount);
        return;
    }
    // The position the text's latitude and longitude fields show for a line at the fix.
    row.latitude = s.gps.latitudeA.decimalDegrees;
    row.longitude = s.gps.longitudeA.decimalDegrees;
    row.hours = s.gps.hours;
    row.minutes = s.gps.minutes;
    row.seconds = s.gps.seconds;
    std::size_t count = 0;
    switch (s.DataMode) {
        case DataKind::Samples:
            count = static_cast<std::size_t>(std::max(s.lastSampleIndex + 1, 0));
            break;
        case DataKind::List:
            count = 10;
            break;
        case DataKind::Table:
            count = static_cast<std::size_t>(s.tableEntries);
            row.tableChannels = std::span<const std::uint16_t>(s.channelNumbers.data(), count);
            break;
        default:
            break;
    }
    row.levels = std::span<const std::int8_t>(s.levels.data(), std::min(count, s.levels.size()));
}

void RowFeed::FeedRows() {
    const int count = reader_.State().OutputCount;
    for (int point = 0; point < count; ++point) {
        FillRow(reader_, point, ++rows_, row_);
        for (RowSink* sink : sinks_) sink->AcceptRow(row_);
    }
    reader_.ClearReceiverFlags();
}

void RowFeed::FeedFix() {
    const DecoderState& s = reader_.State();
    const GpsFixEvent fix{s.gps, s.ScanIndex, s.ScanMode, !s.SkipScan};
    for (RowSink* sink : sinks_) sink->AcceptFix(fix);
}

}  // namespace varistrum
