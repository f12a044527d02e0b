// SPDX-License-Identifier: GPL-3.0-or-later
// Field texts of an output line, read from the decoder state.
#include "convert/field_formatter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/number_format.h"

namespace varistrum {

namespace {

constexpr double kMetresPerCentimetre = 0.01;  // GPS height to the Altitude field

enum CoordinatePart { kDecimalDegrees, kDegrees, kMinutes, kDecimalMinutes, kSeconds };
enum TimePart { kClock, kHour, kMinute, kSecond };

template <class Out>
void AppendDelimited(Out& out, char delimiter, bool& first) {
    if (!first) out.push_back(delimiter);
    first = false;
}

template <class Out>
void AppendClock(Out& out, int hours, int minutes, int seconds) {
    AppendInt(out, hours, 2);
    out.push_back(':');
    AppendInt(out, minutes, 2);
    out.push_back(':');
    AppendInt(out, seconds, 2);
}

template <class Out>
void AppendDate(Out& out, int a, int b, int c, int lastWidth = 2) {
    AppendInt(out, a, 2);
    out.push_back('/');
    AppendInt(out, b, 2);
    out.push_back('/');
    AppendInt(out, c, lastWidth);
}

// Whole degrees and millionths, negative for any hemisphere but the positive one; zero (also
// before any TP block) has no sign.
template <class Out>
void AppendTpCoordinate(Out& out, char hemisphere, char positive, std::uint16_t degrees,
                        std::uint32_t millionths) {
    if (hemisphere != positive && (degrees != 0 || millionths != 0)) out.push_back('-');
    AppendInt(out, degrees);
    out.push_back('.');
    AppendInt(out, millionths, 6);
}

}  // namespace

char* FrequencyTexts::FormatAndKeep(Entry& e, std::uint64_t valueBits, char* at, double mhz) {
    char* end = WriteFixed(at, mhz, 5);
    const auto length = static_cast<std::size_t>(end - at);
    e.valid = length <= kTextSize;
    if (e.valid) {
        std::memcpy(e.text, at, length);
        e.length = static_cast<std::uint8_t>(length);
        e.valueBits = valueBits;
    }
    return end;
}

template <class Out>
void FieldFormatter::AppendLatitudeOrLongitude(int part, const GpsCoordinate& block,
                                               double rowValue, Out& out) const {
    if (!row_.placed) {
        switch (part) {
            case kDecimalDegrees:
                AppendFixed(out, block.decimalDegrees, 6);
                return;
            case kDegrees:
                AppendInt(out, block.degrees);
                return;
            case kMinutes:
                AppendInt(out, block.minutes);
                return;
            case kDecimalMinutes:
                AppendFixed(out, block.decimalMinutes, 6);
                return;
            default:
                AppendInt(out, block.seconds);
                return;
        }
    }
    const double v = rowValue;
    const double whole = std::trunc(v);
    const double m = (v - whole) * 60;
    switch (part) {
        case kDecimalDegrees:
            AppendFixed(out, v, 6);
            return;
        case kDegrees:
            AppendInt(out, static_cast<std::int64_t>(std::fabs(whole)));
            return;
        case kMinutes:
            AppendInt(out, static_cast<std::int64_t>(std::fabs(std::trunc(m))));
            return;
        case kDecimalMinutes:
            AppendFixed(out, std::fabs(m), 6);
            return;
        default:
            AppendInt(out,
                      static_cast<std::int64_t>(std::fabs(std::trunc((m - std::trunc(m)) * 60))));
            return;
    }
}

template <class Out>
void FieldFormatter::AppendPointTime(int part, Out& out) const {
    const int h = row_.hours;
    const int m = row_.minutes;
    const int sec = row_.seconds;
    switch (part) {
        case kClock:
            AppendClock(out, h, m, sec);
            return;
        case kHour:
            AppendInt(out, h, 2);
            return;
        case kMinute:
            AppendInt(out, m, 2);
            return;
        default:
            AppendInt(out, sec, 2);
            return;
    }
}

template <class Out>
void FieldFormatter::AppendField(int tag, Out& out) const {
    const GpsBlock& g = *row_.gps;
    const RtcClock& rtc = *row_.rtc;
    const TpPositionBlock& tp = *row_.tpPosition;
    const double rowLatitude = row_.latitude;
    const double rowLongitude = row_.longitude;
    // clang-format off: one line per field reads as the table it is
    switch (tag) {
        case DataField:
            AppendDataBlock(out);
            return;
        case LineBreakField:
            out.append(kLineEnd);
            return;
        case LatitudeDecimalDegrees:
            AppendLatitudeOrLongitude(kDecimalDegrees, g.latitudeA, rowLatitude, out);
            return;
        case LatitudeDegrees:
            AppendLatitudeOrLongitude(kDegrees, g.latitudeA, rowLatitude, out);
            return;
        case LatitudeMinutes:
            AppendLatitudeOrLongitude(kMinutes, g.latitudeA, rowLatitude, out);
            return;
        case LatitudeDecimalMinutes:
            AppendLatitudeOrLongitude(kDecimalMinutes, g.latitudeA, rowLatitude, out);
            return;
        case LatitudeSeconds:
            AppendLatitudeOrLongitude(kSeconds, g.latitudeA, rowLatitude, out);
            return;
        case LatitudeHemisphere:
            out.push_back(g.latitudeHemisphere);
            return;
        case LongitudeDecimalDegrees:
            AppendLatitudeOrLongitude(kDecimalDegrees, g.longitudeA, rowLongitude, out);
            return;
        case LongitudeDegrees:
            AppendLatitudeOrLongitude(kDegrees, g.longitudeA, rowLongitude, out);
            return;
        case LongitudeMinutes:
            AppendLatitudeOrLongitude(kMinutes, g.longitudeA, rowLongitude, out);
            return;
        case LongitudeDecimalMinutes:
            AppendLatitudeOrLongitude(kDecimalMinutes, g.longitudeA, rowLongitude, out);
            return;
        case LongitudeSeconds:
            AppendLatitudeOrLongitude(kSeconds, g.longitudeA, rowLongitude, out);
            return;
        case LongitudeHemisphere:
            out.push_back(g.longitudeHemisphere);
            return;
        case GpsStatus:
            out.append(ReceiverStatusTexts[static_cast<std::size_t>(g.statusCode & 7)]);
            return;
        case GpsTime:
            AppendPointTime(kClock, out);
            return;
        case GpsHour:
            AppendPointTime(kHour, out);
            return;
        case GpsMinute:
            AppendPointTime(kMinute, out);
            return;
        case GpsSecond:
            AppendPointTime(kSecond, out);
            return;
        case GpsDate:
            AppendDate(out, g.month, g.day, g.year, 4);
            return;
        case GpsMonth:
            AppendInt(out, g.month, 2);
            return;
        case GpsDay:
            AppendInt(out, g.day, 2);
            return;
        case GpsYear:
            AppendInt(out, g.year, 2);
            return;
        case GpsAltitude:
            AppendFixed(out, g.height3 * kMetresPerCentimetre, 0);
            return;
        case GpsVelocity:
            AppendFixed(out, g.SpeedMph(), 0);
            return;
        case MarkerValue:
            AppendInt(out, rtc.marker % 100, 2);
            return;
        case RecordNumber:
            AppendInt(out, row_.number);
            return;
        case RtcDate:
            AppendDate(out, rtc.month, rtc.day, rtc.year);
            return;
        case RtcMonth:
            AppendInt(out, rtc.month, 2);
            return;
        case RtcDay:
            AppendInt(out, rtc.day, 2);
            return;
        case RtcYear:
            AppendInt(out, rtc.year, 2);
            return;
        case RtcTime:
            AppendClock(out, rtc.hours, rtc.minutes, rtc.seconds);
            return;
        case RtcHour:
            AppendInt(out, rtc.hours, 2);
            return;
        case RtcMinute:
            AppendInt(out, rtc.minutes, 2);
            return;
        case RtcSecond:
            AppendInt(out, rtc.seconds, 2);
            return;
        case MinFrequency:
            AppendFixed(out, row_.plan.MinMHz(), 5);
            return;
        case MaxFrequency:
            AppendFixed(out, row_.plan.MaxMHz(), 5);
            return;
        case StepSize:
            AppendFixed(out, row_.plan.StepKHz(), 2);
            return;
        case ReceiverField:
            AppendInt(out, row_.receiver);
            return;
        case TpLatitude:
            AppendTpCoordinate(out, tp.latitudeHemisphere, 'N', tp.latitudeDegrees,
                               tp.latitudeMillionths);
            return;
        case TpLongitude:
            AppendTpCoordinate(out, tp.longitudeHemisphere, 'E', tp.longitudeDegrees,
                               tp.longitudeMillionths);
            return;
        case TpDate:
            AppendDate(out, tp.monthMinus1 + 1, tp.day, tp.yearMinus1900 + 1900);
            return;
        case TpTime:
            AppendClock(out, tp.hours, tp.minutes, tp.seconds);
            return;
        case TpSpeed:
            AppendInt(out, row_.tpTime->speed);
            return;
        case TpDirection:
            AppendInt(out, row_.tpTime->direction);
            return;
        default:
            return;  // fields without a writer are empty
    }
    // clang-format on
}

// The plain slot writer: the header's data block tests use it, and the data lines must give
// exactly its text.
void FieldFormatter::AppendSlots(std::string& out, int firstSlot, int lastSlot) const {
    const bool table = row_.dataMode == DataKind::Table;
    const FrequencyPlan& plan = row_.plan;
    bool first = true;
    for (int j = firstSlot; j <= lastSlot; ++j) {
        const std::uint16_t channelNumber = row_.TableChannelAt(j);
        const std::uint32_t code = row_.CodeAt(j);
        if (channelNumber == 0 && code == 0 && !table) continue;
        const bool hasChannel = code != 0 || table;
        if (columns_.frequency && hasChannel) {
            AppendDelimited(out, delimiter_, first);
            AppendFixed(
                out,
                table ? plan.CodeToMHz(plan.CodeOfChannel(channelNumber)) : plan.CodeToMHz(code),
                5);
        }
        if (columns_.channel && hasChannel) {
            AppendDelimited(out, delimiter_, first);
            AppendInt(out, table ? channelNumber : plan.ChannelOfCode(code));
        }
        if (columns_.rssi && (row_.placed || hasChannel)) {
            AppendDelimited(out, delimiter_, first);
            AppendInt(out, row_.LevelAt(j));
        }
    }
}

// The data lines' slot writer: the same text as AppendSlot, built differently. Everything of a
// slot before its level (its "prefix": delimiter, frequency, delimiter, channel, delimiter)
// depends only on the slot's channel number and code, which a single-frequency block repeats
// for every sample: the prefix is made again only when they change, every slot copies it and
// adds its level from a table.
void FieldFormatter::AppendSlots(TextBuilder& out, int firstSlot, int lastSlot) const {
    const bool table = row_.dataMode == DataKind::Table;
    const FrequencyPlan& plan = row_.plan;
    const DataColumns columns = columns_;
    const char delimiter = delimiter_;

    struct Prefix {
        bool made = false;
        std::uint32_t code = 0;
        std::uint16_t channelNumber = 0;
        bool skipped = false;  // the slot writes nothing
        bool writesLevel = false;
        std::size_t length = 0;  // of text, which starts with a delimiter unless empty
        char text[3 + kMaxFixedText + kMaxIntText];
    } prefix;
    const auto makePrefix = [&](int slot, std::uint32_t code, std::uint16_t channelNumber) {
        prefix.made = true;
        prefix.code = code;
        prefix.channelNumber = channelNumber;
        prefix.skipped = channelNumber == 0 && code == 0 && !table;
        const bool hasChannel = code != 0 || table;
        prefix.writesLevel = columns.rssi && (row_.placed || hasChannel);
        char* at = prefix.text;
        if (!prefix.skipped && columns.frequency && hasChannel) {
            *at++ = delimiter;
            const double mhz =
                table ? plan.CodeToMHz(plan.CodeOfChannel(channelNumber)) : plan.CodeToMHz(code);
            at = frequencies_ != nullptr ? frequencies_->Write(at, slot, mhz)
                                         : WriteFixed(at, mhz, 5);
        }
        if (!prefix.skipped && columns.channel && hasChannel) {
            *at++ = delimiter;
            at = WriteInt(at, table ? channelNumber : plan.ChannelOfCode(code));
        }
        if (!prefix.skipped && prefix.writesLevel) *at++ = delimiter;
        prefix.length = static_cast<std::size_t>(at - prefix.text);
    };

    constexpr std::size_t kShortPrefix = 32;
    constexpr std::size_t kSlotRoom = sizeof prefix.text + 4;  // a prefix and a level

    // The block's tables, read through plain pointers: the loop stores through a char pointer,
    // which may alias anything, so members would be loaded again for every slot. Slots past a
    // table read its last entry.
    static constexpr std::uint32_t kNoCode = 0;
    static constexpr std::uint16_t kNoChannel = 0;
    const std::uint32_t* codes = row_.channelCodes.empty() ? &kNoCode : row_.channelCodes.data();
    const int lastCode = std::max(static_cast<int>(row_.channelCodes.size()) - 1, 0);
    const std::uint16_t* channelNumbers =
        row_.tableChannels.empty() ? &kNoChannel : row_.tableChannels.data();
    const int lastChannelNumber = std::max(static_cast<int>(row_.tableChannels.size()) - 1, 0);
    const std::int8_t* levels = row_.levels.data();
    const std::size_t levelCount = row_.levels.size();
    const bool placed = row_.placed;
    const auto levelAt = [&](int j) -> std::int8_t {
        if (placed) return static_cast<std::size_t>(j) < levelCount ? levels[j] : 0;
        return levelCount == 0 ? 0 : levels[std::min(static_cast<std::size_t>(j), levelCount - 1)];
    };

    // The cursor stays in a register: room is asked for many slots at a time.
    char* at = out.Room(kSlotRoom);
    char* limit = at + kSlotRoom;
    bool first = true;  // the block's first text has no delimiter before it
    for (int j = firstSlot; j <= lastSlot; ++j) {
        const std::uint16_t channelNumber = channelNumbers[std::min(j, lastChannelNumber)];
        const std::uint32_t code = codes[std::min(j, lastCode)];
        if (!prefix.made || prefix.code != code || prefix.channelNumber != channelNumber)
            makePrefix(j, code, channelNumber);
        const std::size_t length = prefix.length;
        if (prefix.skipped || length == 0) continue;
        const bool writesLevel = prefix.writesLevel;
        if (static_cast<std::size_t>(limit - at) < kSlotRoom) {
            out.CommitTo(at);
            constexpr std::size_t kChunk = 64 * kSlotRoom;
            at = out.Room(kChunk);
            limit = at + kChunk;
        }
        const std::size_t skip = first ? 1 : 0;
        first = false;
        if (length <= kShortPrefix) {
            std::memcpy(at, prefix.text + skip, kShortPrefix);  // a fixed-size copy is inlined
        } else {
            std::memcpy(at, prefix.text + skip, length - skip);
        }
        at += length - skip;
        if (writesLevel) at = kByteIntTexts.Write(at, levelAt(j));
    }
    out.CommitTo(at);
}

template <class Out>
void FieldFormatter::AppendBestServerEntry(Out& out) const {
    const FrequencyPlan& plan = row_.plan;
    bool first = true;
    if (columns_.frequency) {
        AppendDelimited(out, delimiter_, first);
        AppendFixed(out, plan.CodeToMHz(plan.CodeOfChannel(row_.sweepChannel)), 5);
    }
    if (columns_.channel) {
        AppendDelimited(out, delimiter_, first);
        AppendInt(out, row_.sweepChannel);
    }
    if (columns_.rssi) {
        AppendDelimited(out, delimiter_, first);
        AppendInt(out, row_.sweepRssi);
    }
}

template <class Out>
void FieldFormatter::AppendDataBlock(Out& out) const {
    int firstSlot = 0, lastSlot = row_.lastSlot;
    switch (row_.dataMode) {
        case DataKind::Samples:
            break;
        case DataKind::List:
            if (row_.bestSlot >= 0) firstSlot = lastSlot = row_.bestSlot;
            break;
        case DataKind::Table:
            if (row_.bestTableEntry) {
                AppendBestServerEntry(out);
                return;
            }
            break;
        default:
            return;
    }
    AppendSlots(out, firstSlot, lastSlot);
}

template void FieldFormatter::AppendField(int, std::string&) const;
template void FieldFormatter::AppendField(int, TextBuilder&) const;
template void FieldFormatter::AppendDataBlock(std::string&) const;
template void FieldFormatter::AppendDataBlock(TextBuilder&) const;

void FieldFormatter::AppendDataBlockTitles(std::string& out) const {
    int repeat = 0;
    switch (row_.dataMode) {
        case DataKind::Samples:
            repeat = 1;
            break;
        case DataKind::List:
            repeat = row_.bestSlot >= 0 ? 1 : 10;
            break;
        case DataKind::Table:
            repeat = row_.bestTableEntry ? 1 : 4;
            break;
        default:
            return;
    }
    const DataColumns columns = columns_;
    const char delimiter = delimiter_;
    bool first = true;
    for (int i = 0; i < repeat; ++i) {
        if (columns.frequency) {
            AppendDelimited(out, delimiter, first);
            out.append("\"Frequency\"");
        }
        if (columns.channel) {
            AppendDelimited(out, delimiter, first);
            out.append("\"Channel\"");
        }
        if (columns.rssi) {
            AppendDelimited(out, delimiter, first);
            out.append("\"RSSI\"");
        }
    }
}

}  // namespace varistrum
