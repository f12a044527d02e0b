// SPDX-License-Identifier: GPL-3.0-or-later
// TavrelReader::DecodeRecord: folds one record into the decoder state.
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

const DecodedRecord& TavrelReader::DecodeRecord(const RecordBuffer& buffer) {
    decoded_ = DecodedRecord{};
    if (buffer.length < 1 || buffer.length > kMaxRecordLength) return decoded_;
    const std::uint8_t type = buffer.bytes[0];
    const int needed = MinimumPayloadOf(type);
    const ByteSpan payload(buffer.bytes.data() + 1, static_cast<std::size_t>(buffer.length - 1));
    // Types without a meaning are skipped; records too short for their type are damaged
    // (the reader counts them) and not decoded.
    if (needed < 0 || static_cast<int>(payload.size()) < needed) return decoded_;
    decoded_.payload = payload;
    switch (type) {
        case GpsRecord:
            DecodeGps(payload);
            break;
        case ConfigRecord:
            DecodeConfig(payload);
            break;
        case Receiver1DataRecord:
            DecodeSamples(0);
            break;
        case Receiver2DataRecord:
            DecodeSamples(1);
            break;
        case RtcRecord:
            DecodeRtc(payload);
            break;
        case ScanList32Record:
            DecodeScanList32();
            break;
        case ScanList10Record:
            DecodeScanList10();
            break;
        case ChannelListRecord:
            DecodeChannelList();
            break;
        case ChannelTableRecord:
            DecodeChannelTable();
            break;
        case TpPositionRecord:
            decoded_.kind = RecordKind::TpPosition;
            state_.tpPosition = TpPositionBlock::Decode(buffer.Record());
            break;
        case TpTimeRecord:
            decoded_.kind = RecordKind::TpTime;
            state_.tpTime = TpTimeBlock::Decode(buffer.Record());
            break;
        default:
            break;
    }
    return decoded_;
}

// A scan definition, or the first table record after another kind, begins a scan. Before
// the file's first time record the start waits for it, so that the scan can be named.
void TavrelReader::BeginScan(ScanKind scanMode) {
    state_.ScanMode = scanMode;
    if (state_.timeSinceOpen) {
        state_.HeaderPending = true;
        ++state_.ScanIndex;
        decoded_.scanChosen = true;
    } else {
        state_.scanStartWaiting = true;
    }
}

void TavrelReader::CompleteWaitingScanStart() {
    if (!state_.scanStartWaiting) return;
    state_.scanStartWaiting = false;
    state_.HeaderPending = true;
    ++state_.ScanIndex;
    decoded_.scanChosen = true;
}

void TavrelReader::DecodeGps(ByteSpan payload) {
    DecoderState& s = state_;
    decoded_.kind = RecordKind::Gps;
    s.newGpsRecord = true;
    s.gps = GpsBlock::Decode(payload);
    s.timeSeen = true;
    ++s.counters.gpsTotal;
    if (s.gps.statusCode == static_cast<int>(GpsFixStatus::ThreeDFix)) {
        ++s.counters.gps3dLock;
    } else if (s.gps.statusCode == static_cast<int>(GpsFixStatus::TwoDFix)) {
        ++s.counters.gps2dLock;
    }
    s.timeSinceOpen = true;
    CompleteWaitingScanStart();
    s.ScanName.assign("GPS ");
    AppendClock(s.ScanName, s.gps.hours, s.gps.minutes, s.gps.seconds);
}

void TavrelReader::DecodeConfig(ByteSpan payload) {
    decoded_.kind = RecordKind::Config;
    state_.configSeen = true;
    const std::uint8_t flags = U8(payload, 0);
    state_.receiverPresent = {(flags & 1) != 0, (flags & 2) != 0};
    state_.plans[0] = FrequencyPlan::Decode(payload.subspan(1, 12));
    state_.plans[1] = FrequencyPlan::Decode(payload.subspan(13, 12));
}

void TavrelReader::DecodeSamples(int receiver) {
    decoded_.kind = RecordKind::Samples;
    decoded_.receiver = receiver;
    state_.receiverDataSeen[static_cast<std::size_t>(receiver)] = true;
    ++(receiver == 0 ? state_.counters.rx1Single : state_.counters.rx2Single);
}

void TavrelReader::DecodeRtc(ByteSpan payload) {
    DecoderState& s = state_;
    decoded_.kind = RecordKind::Rtc;
    s.timeSeen = true;
    s.rtc = RtcClock::Decode(payload);
    s.timeSinceOpen = true;
    CompleteWaitingScanStart();
    s.ScanName.assign("RTC ");
    AppendClock(s.ScanName, s.rtc.hours, s.rtc.minutes, s.rtc.seconds);
}

void TavrelReader::DecodeScanList32() {
    decoded_.kind = RecordKind::ScanList32;
    state_.list32Seen = true;
    BeginScan(ScanKind::SingleFrequency);
}

void TavrelReader::DecodeScanList10() {
    decoded_.kind = RecordKind::ScanList10;
    state_.list10Seen = true;
    BeginScan(ScanKind::List);
}

void TavrelReader::DecodeChannelList() {
    decoded_.kind = RecordKind::ChannelList;
    ++state_.counters.listMode;
}

void TavrelReader::DecodeChannelTable() {
    decoded_.kind = RecordKind::ChannelTable;
    if (state_.ScanMode != ScanKind::Table) {
        BeginScan(ScanKind::Table);
        decoded_.tableScanBegan = true;
    }
    state_.HeaderPending = false;  // table scans get no tree entry
    ++state_.counters.tableMode;
}

}  // namespace varistrum
