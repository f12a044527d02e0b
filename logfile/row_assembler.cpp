// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement state of a conversion's lines, record by record, and the rows it gives.
#include "logfile/row_assembler.h"

#include <algorithm>

namespace varistrum {

RowAssembler::RowAssembler(const AssemblySettings& settings, SamplePlacement* placement)
    : settings_(settings),
      placement_(placement != nullptr ? *placement : interpolation_),
      selectedReceiver_(settings.receivers.Selected()) {
    levels_.assign(kMaxRecordLength, 0);
    std::fill_n(levels_.begin(), 10, kNoLevel);
    if (settings_.typed) {
        channelValuesA_.fill(settings_.typed->receiver1);
        channelValuesB_.fill(settings_.typed->receiver2);
    }
}

DecodeResult RowAssembler::Assemble(const DecodedRecord& record, const DecoderState& log,
                                    bool kept) {
    switch (record.kind) {
        case RecordKind::Gps:
            return Gps(log);  // fixes are never dropped: they place what came before them
        case RecordKind::Rtc:
            timing_ = Timing::Rtc;
            return DecodeNothing;
        case RecordKind::Samples:
            return kept ? Samples(record, log) : DecodeNothing;
        case RecordKind::ScanList32:
            return kept ? ScanList32(record.payload, log) : DecodeHeaderChange;
        case RecordKind::ScanList10:
            if (kept) ScanList10(record.payload);
            return DecodeHeaderChange;
        case RecordKind::ChannelList:
            return kept ? ChannelList(record.payload, log) : DecodeNothing;
        case RecordKind::ChannelTable:
            if (record.tableScanBegan) {
                tableHeaderDue_ = true;
                sweep_ = Sweep{};  // a sweep never spans two scans
            }
            return kept ? ChannelTable(record.payload, log) : DecodeNothing;
        default:
            return DecodeNothing;
    }
}

double RowAssembler::ChannelMHz(const DecoderState& log) const {
    const std::uint32_t code =
        settings_.receivers.receiver1 ? channelValuesA_[0] : channelValuesB_[0];
    return log.plans[static_cast<std::size_t>(selectedReceiver_)].CodeToMHz(code);
}

bool RowAssembler::PrerequisitesMet(const DecoderState& log) const {
    if (!log.timeSeen || !log.configSeen) return false;
    if (dataMode_ == DataKind::Samples) return log.list32Seen || settings_.typed.has_value();
    if (dataMode_ == DataKind::List) return log.list10Seen;
    return true;
}

DecodeResult RowAssembler::Gps(const DecoderState& log) {
    const GpsBlock& gps = log.gps;
    if (dataMode_ == DataKind::Samples) timing_ = Timing::Gps;
    DecodeResult result = DecodeNothing;
    if (firstFix_ || dataMode_ != DataKind::Samples) {
        firstFix_ = false;  // the first fix only starts the timing
    } else {
        FixPlacement fix;
        fix.latitude = gps.latitudeB.decimalDegrees;
        fix.longitude = gps.longitudeB.decimalDegrees;
        fix.hours = gps.hours;
        fix.minutes = gps.minutes;
        fix.seconds = gps.seconds;
        fix.previousLatitude = previousLatitude_;
        fix.previousLongitude = previousLongitude_;
        fix.previousHours = previousHours_;
        fix.previousMinutes = previousMinutes_;
        fix.previousSeconds = previousSeconds_;
        fix.records = pendingRecords_;
        fix.receiver = selectedReceiver_;
        fix.prerequisitesMet = PrerequisitesMet(log);
        fix.channelMHz = ChannelMHz(log);
        if (const int points = placement_.PlaceAtFix(fix); points >= 0) {
            result = DecodeDataReady;
            outputCount_ = points;
        }
    }
    pendingRecords_ = 0;
    previousLatitude_ = gps.latitudeB.decimalDegrees;
    previousLongitude_ = gps.longitudeB.decimalDegrees;
    previousHours_ = gps.hours;
    previousMinutes_ = gps.minutes;
    previousSeconds_ = gps.seconds;
    return result;
}

DecodeResult RowAssembler::Samples(const DecodedRecord& record, const DecoderState& log) {
    samplesSeen_ = true;
    if (!settings_.receivers.Takes(record.receiver)) return DecodeNothing;
    dataMode_ = DataKind::Samples;
    const std::size_t count = record.payload.size() - 1;  // the last byte is not a sample
    std::copy_n(record.payload.begin(), count, reinterpret_cast<std::uint8_t*>(levels_.data()));
    lastSampleIndex_ = static_cast<int>(count) - 1;

    // Samples wait for the next fix to place them, unless the RTC times them.
    if (timing_ == Timing::Rtc) {
        outputCount_ = 1;
        return PrerequisitesMet(log) ? DecodeDataReady : DecodeNothing;
    }
    placement_.AddRecord({record.receiver, lastSampleIndex_, levels_.data(), count, pendingRecords_,
                          ChannelMHz(log)});
    ++pendingRecords_;
    return DecodeNothing;
}

DecodeResult RowAssembler::ScanList32(ByteSpan payload, const DecoderState& log) {
    channelValuesA_.fill(U32LE(payload, 0));
    channelValuesB_.fill(U32LE(payload, 4));
    placement_.ScanDefined(ChannelMHz(log));
    return DecodeHeaderChange;
}

void RowAssembler::ScanList10(ByteSpan payload) {
    for (std::size_t i = 0; i < 10; ++i) {
        channelValuesA_[i] = U32LE(payload, 4 * i);
        channelValuesB_[i] = U32LE(payload, 40 + 4 * i);
    }
}

DecodeResult RowAssembler::ChannelList(ByteSpan payload, const DecoderState& log) {
    dataMode_ = DataKind::List;
    for (std::size_t e = 0; e < 5; ++e) {
        const ListEntry entry = ListEntryAt(payload, e);
        if (entry.receiver == selectedReceiver_)
            levels_[static_cast<std::size_t>(entry.position)] = entry.rssi;
    }
    outputCount_ = 1;
    return PrerequisitesMet(log) ? DecodeDataReady : DecodeNothing;
}

DecodeResult RowAssembler::ChannelTable(ByteSpan payload, const DecoderState& log) {
    dataMode_ = DataKind::Table;
    channelNumbers_.fill(0);
    tableEntries_ = 0;
    sweep_.held = false;  // a record writes only the sweep that ended in it
    for (std::size_t e = 0; e < 4; ++e) {
        const TableEntry entry = TableEntryAt(payload, e);
        if (entry.receiver != selectedReceiver_) continue;
        const std::uint16_t channel = entry.channel;
        const int rssi = entry.rssi;
        channelNumbers_[static_cast<std::size_t>(tableEntries_)] = channel;
        levels_[static_cast<std::size_t>(tableEntries_)] = static_cast<std::int8_t>(rssi);
        ++tableEntries_;
        // A channel not above the best one so far starts the next sweep; the finished sweep's
        // best is held for the record's line.
        const bool sweepStarted = sweep_.bestChannel != 1000000;
        if (sweepStarted && channel <= sweep_.bestChannel) {
            sweep_.held = true;
            sweep_.heldRssi = sweep_.bestRssi;
            sweep_.heldChannel = sweep_.bestChannel;
            sweep_.bestRssi = rssi;
            sweep_.bestChannel = channel;
        } else if (!sweepStarted || sweep_.bestRssi <= rssi) {
            sweep_.bestRssi = rssi;
            sweep_.bestChannel = channel;
        }
    }
    outputCount_ = 1;
    if (!PrerequisitesMet(log)) return DecodeNothing;
    if (tableHeaderDue_) {
        tableHeaderDue_ = false;
        return DecodeHeaderAndData;
    }
    return DecodeDataReady;
}

void RowAssembler::FillRow(int point, const DecoderState& log, OutputRow& row) const {
    row.point = point;
    row.gps = &log.gps;
    row.rtc = &log.rtc;
    row.tpPosition = &log.tpPosition;
    row.tpTime = &log.tpTime;
    row.timing = timing_ == Timing::Rtc      ? Timing::Rtc
                 : log.counters.gpsTotal > 0 ? Timing::Gps
                                             : Timing::None;
    row.scanNumber = log.ScanIndex;
    row.scanKind = log.ScanMode;
    row.dataMode = dataMode_;
    row.receiver = selectedReceiver_ + 1;
    row.plan = log.plans[static_cast<std::size_t>(selectedReceiver_)];
    row.channelCodes = SelectedCodes();
    row.tableChannels = channelNumbers_;
    row.tableEntries = tableEntries_;
    row.averaged = settings_.averageType == kAverageLambda && RowsCarryPoints();
    row.averagedDbm = 0.0;
    row.binSamples = 0;
    row.binMinimumDbm = row.binMaximumDbm = 0.0;
    row.sweepEnded = dataMode_ == DataKind::Table && sweep_.held;
    row.sweepChannel = sweep_.heldChannel;
    row.sweepRssi = sweep_.heldRssi;
    row.bestSlot = -1;
    row.bestTableEntry = false;
    row.opensTableScan = false;

    const PendingRowStore& points = placement_.Points();
    if (RowsCarryPoints() && !points.empty()) {
        const PendingRow& pending = points[static_cast<std::size_t>(
            std::clamp<int>(point, 0, static_cast<int>(points.size()) - 1))];
        row.placed = true;
        row.latitude = pending.latitude;
        row.longitude = pending.longitude;
        row.hours = pending.hours;
        row.minutes = pending.minutes;
        row.seconds = pending.seconds;
        row.receiver = pending.receiver + 1;
        row.levels = std::span<const std::int8_t>(pending.samples, pending.sampleCount);
        row.lastSlot = pending.lastSample;
        row.averagedDbm = pending.averagedDbm;
        row.binSamples = pending.binSamples;
        row.binMinimumDbm = pending.binMinimumDbm;
        row.binMaximumDbm = pending.binMaximumDbm;
        return;
    }
    // A line at the last GPS record: the position its latitude and longitude fields show.
    row.placed = false;
    row.latitude = log.gps.latitudeA.decimalDegrees;
    row.longitude = log.gps.longitudeA.decimalDegrees;
    row.hours = log.gps.hours;
    row.minutes = log.gps.minutes;
    row.seconds = log.gps.seconds;
    std::size_t count = 0;
    switch (dataMode_) {
        case DataKind::Samples:
            count = static_cast<std::size_t>(std::max(lastSampleIndex_ + 1, 0));
            break;
        case DataKind::List:
            count = 10;
            break;
        case DataKind::Table:
            count = static_cast<std::size_t>(tableEntries_);
            break;
        default:
            break;
    }
    row.levels = std::span<const std::int8_t>(levels_.data(), count);
    row.lastSlot = static_cast<int>(count) - 1;
}

}  // namespace varistrum
