// SPDX-License-Identifier: GPL-3.0-or-later
// TavrelReader::DecodeRecord: folds one record into the current measurement state.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "averaging/averaging_engine.h"
#include "base/number_format.h"
#include "logfile/tavrel_reader.h"

namespace varistrum {

namespace {

void AppendClock(std::string& out, int hours, int minutes, int seconds) {
    AppendInt(out, hours, 2);
    out.push_back(':');
    AppendInt(out, minutes, 2);
    out.push_back(':');
    AppendInt(out, seconds, 2);
}

}  // namespace

DecodeResult TavrelReader::DecodeRecord(const RecordBuffer& buffer) {
    if (buffer.length < 1 || buffer.length > kMaxRecordLength) return DecodeNothing;
    const std::uint8_t type = buffer.bytes[0];
    const int needed = MinimumPayloadOf(type);
    const ByteSpan payload(buffer.bytes.data() + 1, static_cast<std::size_t>(buffer.length - 1));
    // Types without a meaning are skipped; records too short for their type are damaged
    // (the reader counts them) and not decoded.
    if (needed < 0 || static_cast<int>(payload.size()) < needed) return DecodeNothing;
    switch (type) {
        case GpsRecord:
            return DecodeGps(payload);
        case ConfigRecord:
            return DecodeConfig(payload);
        case Receiver1DataRecord:
            return DecodeSamples(0, payload);
        case Receiver2DataRecord:
            return DecodeSamples(1, payload);
        case RtcRecord:
            return DecodeRtc(payload);
        case ScanList32Record:
            return DecodeScanList32(payload);
        case ScanList10Record:
            return DecodeScanList10(payload);
        case ChannelListRecord:
            return DecodeChannelList(payload);
        case ChannelTableRecord:
            return DecodeChannelTable(payload);
        case TpPositionRecord:
            state_.tpPosition = TpPositionBlock::Decode(buffer.Record());
            return DecodeNothing;
        case TpTimeRecord:
            state_.tpTime = TpTimeBlock::Decode(buffer.Record());
            return DecodeNothing;
        default:
            return DecodeNothing;
    }
}

// A scan definition, or the first table record after another kind, begins a scan. Before
// the file's first time record the start waits for it, so that the scan can be named.
void TavrelReader::BeginScan(ScanKind scanMode) {
    state_.ScanMode = scanMode;
    if (state_.timeSinceOpen) {
        state_.HeaderPending = true;
        ++state_.ScanIndex;
    } else {
        state_.scanStartWaiting = true;
    }
    if (conversion_ && (conversion_->convertAllScans || !state_.scanStartWaiting))
        SelectCurrentScan();
}

void TavrelReader::CompleteWaitingScanStart() {
    if (!state_.scanStartWaiting) return;
    state_.scanStartWaiting = false;
    state_.HeaderPending = true;
    ++state_.ScanIndex;
    if (conversion_) SelectCurrentScan();
}

// A scan without a tree entry (table scans get none) is kept.
void TavrelReader::SelectCurrentScan() {
    if (!conversion_ || conversion_->convertAllScans || conversion_->scans == nullptr) {
        state_.SkipScan = false;
        return;
    }
    const std::optional<bool> checked = conversion_->scans->ScanChecked(state_.ScanIndex);
    state_.SkipScan = checked.has_value() && !*checked;
}

void TavrelReader::StartEngine() {
    const std::uint32_t code =
        receivers_.receiver1 ? state_.channelValuesA[0] : state_.channelValuesB[0];
    engine_.StartAveraging(state_.SelectedPlan().CodeToMHz(code), kLambdaSampleSpacing,
                           kLambdaBinLength);
}

void TavrelReader::StartEngineIfTyped() {
    if (state_.userFrequencies && !engine_.IsActive()) StartEngine();
}

// Only during a conversion: the listed last good fix before an outage starts dropping, and
// only the next good fix ends it (the bad fixes inside the outage do not).
void TavrelReader::TestGpsOutage() {
    if (!conversion_ || !conversion_->dropOutages) return;
    const std::vector<std::int64_t>& starts = conversion_->outageStarts;
    const std::int64_t number = state_.counters.gpsTotal;  // this record's, counted already
    if (outageCursor_ < starts.size() && starts[outageCursor_] == number) {
        state_.InOutage = true;
        ++outageCursor_;
    } else if (state_.gps.HasFix()) {
        state_.InOutage = false;
    }
}

DecodeResult TavrelReader::DecodeGps(ByteSpan payload) {
    DecoderState& s = state_;
    s.newGpsRecord = true;
    s.gps = GpsBlock::Decode(payload);
    if (s.DataMode == DataKind::Samples) s.TimingSource = Timing::Gps;
    s.timeSeen = true;
    ++s.counters.gpsTotal;
    if (s.gps.statusCode == static_cast<int>(GpsFixStatus::ThreeDFix)) {
        ++s.counters.gps3dLock;
    } else if (s.gps.statusCode == static_cast<int>(GpsFixStatus::TwoDFix)) {
        ++s.counters.gps2dLock;
    }
    TestGpsOutage();
    s.timeSinceOpen = true;
    CompleteWaitingScanStart();
    s.ScanName.assign("GPS ");
    AppendClock(s.ScanName, s.gps.hours, s.gps.minutes, s.gps.seconds);

    DecodeResult result = DecodeNothing;
    if (Converting()) {
        if (s.firstFix || s.DataMode != DataKind::Samples) {
            s.firstFix = false;  // the first fix only starts the timing
        } else if (averageType_ == kAverageNone) {
            InterpolatePendingRows();
            if (PrerequisitesMet()) {
                result = DecodeDataReady;
                s.OutputCount = s.PendingRecords;
            }
        } else {
            result = AverageAtFix();
        }
    }
    s.PendingRecords = 0;
    s.previousLatitude = s.gps.latitudeB.decimalDegrees;
    s.previousLongitude = s.gps.longitudeB.decimalDegrees;
    s.previousHours = s.gps.hours;
    s.previousMinutes = s.gps.minutes;
    s.previousSeconds = s.gps.seconds;
    return result;
}

// Spreads the records that arrived since the previous fix evenly over the way and the time
// from that fix to this one (the rows work out their own share when they are read).
void TavrelReader::InterpolatePendingRows() {
    DecoderState& s = state_;
    const int n = s.PendingRecords;
    if (n <= 0) return;
    const int current = s.gps.SecondOfDay();
    const int previous = s.previousHours * 3600 + s.previousMinutes * 60 + s.previousSeconds;
    int dt = std::abs(current - previous);
    if (previous - current > 43200) dt = current + 86400 - previous;  // across midnight
    RowPlacement placement;
    placement.count = n;
    placement.previousLatitude = s.previousLatitude;
    placement.previousLongitude = s.previousLongitude;
    placement.previousHours = s.previousHours;
    placement.previousMinutes = s.previousMinutes;
    placement.previousSeconds = s.previousSeconds;
    placement.latitude = s.gps.latitudeB.decimalDegrees;
    placement.longitude = s.gps.longitudeB.decimalDegrees;
    placement.seconds = dt;
    s.rows.Place(placement);
}

// Under an average type the fix closes 40-lambda bins; each finished average becomes one
// output point at this fix's time.
DecodeResult TavrelReader::AverageAtFix() {
    DecoderState& s = state_;
    StartEngineIfTyped();
    if (!engine_.AddPosition(s.gps.latitudeB.decimalDegrees, s.gps.longitudeB.decimalDegrees))
        return DecodeNothing;
    s.PendingRecords = 0;
    s.rows.Clear();
    double latitude = 0.0, longitude = 0.0, value = 0.0;
    while (engine_.NextAveragedPoint(latitude, longitude, value) == 0) {
        const double level = std::trunc(value);
        s.rows.AddAverage(latitude, longitude,
                          static_cast<std::int8_t>(level < -128.0  ? -128
                                                   : level > 127.0 ? 127
                                                                   : level),
                          s.SelectedReceiver, s.gps.hours, s.gps.minutes, s.gps.seconds);
        ++s.PendingRecords;
    }
    s.OutputCount = s.PendingRecords;
    return DecodeDataReady;
}

DecodeResult TavrelReader::DecodeConfig(ByteSpan payload) {
    state_.configSeen = true;
    const std::uint8_t flags = U8(payload, 0);
    state_.receiverPresent = {(flags & 1) != 0, (flags & 2) != 0};
    state_.plans[0] = FrequencyPlan::Decode(payload.subspan(1, 12));
    state_.plans[1] = FrequencyPlan::Decode(payload.subspan(13, 12));
    return DecodeNothing;
}

DecodeResult TavrelReader::DecodeSamples(int receiver, ByteSpan payload) {
    DecoderState& s = state_;
    if (s.InOutage) {
        ++s.droppedInOutages;
        return DecodeNothing;
    }
    s.receiverDataSeen[static_cast<std::size_t>(receiver)] = true;
    ++(receiver == 0 ? s.counters.rx1Single : s.counters.rx2Single);
    if (!ReceiverChecked(receiver) || s.SkipScan) return DecodeNothing;

    s.DataMode = DataKind::Samples;
    const std::size_t count = payload.size() - 1;  // the last byte is not a sample
    std::copy_n(payload.begin(), count, reinterpret_cast<std::uint8_t*>(s.levels.data()));
    s.lastSampleIndex = static_cast<int>(count) - 1;

    // Samples become pending rows until the next fix places them, unless the RTC times them.
    const bool pending = Converting() && s.TimingSource != Timing::Rtc;
    if (pending && averageType_ == kAverageNone) {
        if (s.PendingRecords == 0) s.rows.Clear();
        s.rows.AddRecord(receiver, s.lastSampleIndex, s.levels.data(), count);
    } else if (pending) {
        StartEngineIfTyped();
        engine_.AddLevels(s.levels.data(), count);
    }

    if (s.TimingSource == Timing::Rtc) {
        s.OutputCount = 1;
        if (!PrerequisitesMet()) return DecodeNothing;
        if (Converting()) s.receiverWritten[static_cast<std::size_t>(receiver)] = true;
        return DecodeDataReady;
    }
    if (Converting()) s.receiverWritten[static_cast<std::size_t>(receiver)] = true;
    ++s.PendingRecords;
    return DecodeNothing;
}

DecodeResult TavrelReader::DecodeRtc(ByteSpan payload) {
    DecoderState& s = state_;
    s.TimingSource = Timing::Rtc;
    s.timeSeen = true;
    s.rtc = RtcClock::Decode(payload);
    s.timeSinceOpen = true;
    CompleteWaitingScanStart();
    s.ScanName.assign("RTC ");
    AppendClock(s.ScanName, s.rtc.hours, s.rtc.minutes, s.rtc.seconds);
    return DecodeNothing;
}

DecodeResult TavrelReader::DecodeScanList32(ByteSpan payload) {
    state_.list32Seen = true;
    BeginScan(ScanKind::SingleFrequency);
    if (!state_.SkipScan && Converting()) {
        state_.channelValuesA.fill(U32LE(payload, 0));
        state_.channelValuesB.fill(U32LE(payload, 4));
        if (averageType_ == kAverageLambda) StartEngine();
    }
    return DecodeHeaderChange;
}

DecodeResult TavrelReader::DecodeScanList10(ByteSpan payload) {
    state_.list10Seen = true;
    BeginScan(ScanKind::List);
    if (Converting()) state_.HeaderPending = true;
    if (!state_.SkipScan && Converting()) {
        for (std::size_t i = 0; i < 10; ++i) {
            state_.channelValuesA[i] = U32LE(payload, 4 * i);
            state_.channelValuesB[i] = U32LE(payload, 40 + 4 * i);
        }
    }
    return DecodeHeaderChange;
}

DecodeResult TavrelReader::DecodeChannelList(ByteSpan payload) {
    DecoderState& s = state_;
    if (s.InOutage) {
        ++s.droppedInOutages;
        return DecodeNothing;
    }
    ++s.counters.listMode;
    if (s.SkipScan) return DecodeNothing;
    s.DataMode = DataKind::List;
    for (std::size_t e = 0; e < 5; ++e) {
        if (U8(payload, 3 * e) != s.SelectedReceiver) continue;
        s.levels[U8(payload, 3 * e + 1)] = S8(payload, 3 * e + 2);
    }
    s.OutputCount = 1;
    return PrerequisitesMet() ? DecodeDataReady : DecodeNothing;
}

DecodeResult TavrelReader::DecodeChannelTable(ByteSpan payload) {
    DecoderState& s = state_;
    if (s.ScanMode != ScanKind::Table) {
        BeginScan(ScanKind::Table);
        s.headerChangeRemembered = true;
        s.bestServer = BestServerState{};  // a sweep never spans two scans
    }
    if (!Converting()) s.HeaderPending = false;  // table scans get no tree entry
    if (s.InOutage) {
        ++s.droppedInOutages;
        return DecodeNothing;
    }
    ++s.counters.tableMode;
    if (s.SkipScan || !Converting()) return DecodeNothing;

    s.DataMode = DataKind::Table;
    s.channelNumbers.fill(0);
    s.tableEntries = 0;
    BestServerState& best = s.bestServer;
    best.held = false;  // a record writes only the sweep that ended in it
    if (s.HeaderPending) {
        best.recordBestRssi = kNoLevel;
        best.recordBestChannel = 3100;
    }
    for (std::size_t e = 0; e < 4; ++e) {
        if (U8(payload, 4 * e) != s.SelectedReceiver) continue;
        const auto channel =
            static_cast<std::uint16_t>(U8(payload, 4 * e + 1) + 256 * S8(payload, 4 * e + 2) + 1);
        const int rssi = S8(payload, 4 * e + 3);
        s.channelNumbers[static_cast<std::size_t>(s.tableEntries)] = channel;
        s.levels[static_cast<std::size_t>(s.tableEntries)] = static_cast<std::int8_t>(rssi);
        ++s.tableEntries;
        // Best-server sweep: a channel not above the best one so far starts the next sweep;
        // the finished sweep's best is held for the record's line.
        const bool sweepStarted = best.bestChannel != kNoBestChannel;
        if (sweepStarted && channel <= best.bestChannel) {
            best.held = true;
            best.heldRssi = best.bestRssi;
            best.heldChannel = best.bestChannel;
            best.bestRssi = rssi;
            best.bestChannel = channel;
        } else if (!sweepStarted || best.bestRssi <= rssi) {
            best.bestRssi = rssi;
            best.bestChannel = channel;
        }
        if (best.recordBestChannel >= channel || best.recordBestRssi <= rssi) {
            best.recordBestRssi = rssi;
            best.recordBestChannel = channel;
        }
    }
    if (averageType_ == kAverageBestServer && !best.held) {
        s.OutputCount = 0;
        return DecodeNothing;
    }
    s.OutputCount = 1;
    if (!PrerequisitesMet()) return DecodeNothing;
    if (s.headerChangeRemembered) {
        s.headerChangeRemembered = false;
        return DecodeHeaderAndData;
    }
    return DecodeDataReady;
}

}  // namespace varistrum
