// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding of the log file's header and fixed-layout blocks.
#include "logfile/records.h"

#include <cstdlib>

namespace varistrum {

std::optional<int> MinimumPayload(std::uint8_t type) {
    switch (type) {
        case GpsRecord:
            return GpsBlock::kSize;
        case ConfigRecord:
            return 25;
        case Receiver1DataRecord:
        case Receiver2DataRecord:
            return 1;  // the unused trailing byte
        case RtcRecord:
            return 7;
        case ScanList32Record:
            return 8;
        case ScanList10Record:
            return 80;
        case ChannelListRecord:
            return 15;
        case ChannelTableRecord:
            return 16;
        case TpPositionRecord:
            return 20;
        case TpTimeRecord:
            return 6;
        default:
            return std::nullopt;
    }
}

bool ReadLogHeader(int format, ByteSpan fileStart, std::uint64_t fileSize, LogHeader& header) {
    std::uint64_t blocks = 0, remainder = 0;
    if (format == kFormatTavrelPcCard) {
        if (!Fits(fileStart, 0, 10)) return false;
        remainder = U16LE(fileStart, 4);
        blocks = U32LE(fileStart, 6);
        header.headerSize = 10;
    } else {
        if (!Fits(fileStart, 0, 6)) return false;
        remainder = U16LE(fileStart, 2);
        blocks = U16LE(fileStart, 4);
        header.headerSize = 6;
    }
    header.dataEnd = blocks * 512 + remainder;
    if (header.dataEnd == 0) header.dataEnd = fileSize;
    return true;
}

FrequencyPlan FrequencyPlan::Decode(ByteSpan b) {
    FrequencyPlan plan;
    plan.first = U32LE(b, 0);
    plan.last = U32LE(b, 4);
    plan.step = U16LE(b, 8);
    plan.flags = U16LE(b, 10);
    return plan;
}

std::int64_t FrequencyPlan::ChannelCount() const {
    const std::int64_t d = static_cast<std::int64_t>(last) - first;
    if (!Wraps()) return d + 1;
    return d + 1 > 34 ? d - 33 : d + 991;
}

std::int64_t FrequencyPlan::ChannelOfCode(std::int64_t code) const {
    std::int64_t n = code - first + 1;
    if (Wraps()) n = n > 34 ? code - first - 33 : code - first + 991;
    return n < 0 ? 0 : n;
}

std::int64_t FrequencyPlan::CodeOfChannel(std::int64_t channel) const {
    if (Wraps()) channel = channel < 991 ? channel + 34 : channel - 990;
    return channel + first - 1;
}

GpsCoordinate GpsCoordinate::FromMilliArcSeconds(std::int32_t value) {
    GpsCoordinate c;
    c.milliArcSeconds = value;
    const std::int32_t d = value / 3600000;
    const std::int32_t r = value % 3600000;
    c.decimalDegrees = d + r * (1.0 / 3600000.0);
    c.degrees = std::abs(d);
    const std::int32_t rest = std::abs(r);
    c.minutes = rest / 60000;
    const std::int32_t r2 = rest % 60000;
    c.decimalMinutes = c.minutes + r2 / 60000.0;
    c.seconds = r2 / 1000;
    return c;
}

GpsBlock GpsBlock::Decode(ByteSpan b) {
    GpsBlock g;
    g.month = U8(b, 4);
    g.day = U8(b, 5);
    g.year = U16BE(b, 6);
    g.hours = U8(b, 8);
    g.minutes = U8(b, 9);
    g.seconds = U8(b, 10);
    g.latitudeA = GpsCoordinate::FromMilliArcSeconds(S32BE(b, 15));
    g.longitudeA = GpsCoordinate::FromMilliArcSeconds(S32BE(b, 19));
    g.height1 = S32BE(b, 23);
    g.height2 = S32BE(b, 27);
    g.latitudeB = GpsCoordinate::FromMilliArcSeconds(S32BE(b, 31));
    g.longitudeB = GpsCoordinate::FromMilliArcSeconds(S32BE(b, 35));
    g.height3 = S32BE(b, 39);
    g.height4 = S32BE(b, 43);
    g.speed1 = U16BE(b, 47);
    g.speed2 = U16BE(b, 49);
    g.heading = U16BE(b, 51);
    g.geometry = U16BE(b, 53);
    g.satellitesVisible = U8(b, 55);
    g.satellitesTracked = U8(b, 56);
    for (std::size_t i = 0; i < g.channels.size(); ++i) g.channels[i] = U8(b, 57 + i);
    g.statusCode = U8(b, 129) >> 5;
    g.antennaStatus = U8(b, 130);
    g.value133 = U16BE(b, 133);
    g.value135 = U32BE(b, 135);
    g.temperature = U16BE(b, 139) >> 1;
    const std::uint8_t bits = U8(b, 141);
    g.flag141a = (bits & 0x80) != 0;
    g.flag141b = (bits & 0x40) != 0;
    g.count141 = bits & 0x3F;
    g.flag142 = U8(b, 142) != 0;
    g.value143 = U8(b, 143);
    g.value144 = U8(b, 144);
    for (std::size_t i = 0; i < 6; ++i) g.identification[i] = static_cast<char>(U8(b, 145 + i));
    g.latitudeHemisphere = g.latitudeA.decimalDegrees > 0.0 ? 'N' : 'S';
    g.longitudeHemisphere = g.longitudeA.decimalDegrees > 0.0 ? 'E' : 'W';
    return g;
}

RtcClock RtcClock::Decode(ByteSpan b) {
    RtcClock c;
    c.seconds = U8(b, 0);
    c.minutes = U8(b, 1);
    c.hours = U8(b, 2);
    c.day = U8(b, 3);
    c.month = U8(b, 4);
    c.year = U8(b, 5);
    c.marker = U8(b, 6);
    return c;
}

TpPositionBlock TpPositionBlock::Decode(ByteSpan b) {
    TpPositionBlock t;
    t.seconds = U8(b, 1);
    t.minutes = U8(b, 2);
    t.hours = U8(b, 3);
    t.day = U8(b, 4);
    t.monthMinus1 = U8(b, 5);
    t.yearMinus1900 = U8(b, 6);
    t.latitudeHemisphere = static_cast<char>(U8(b, 7));
    t.latitudeDegrees = U16LE(b, 8);
    t.latitudeMillionths = U32LE(b, 10);
    t.longitudeHemisphere = static_cast<char>(U8(b, 14));
    t.longitudeDegrees = U16LE(b, 15);
    t.longitudeMillionths = U32LE(b, 17);
    return t;
}

TpTimeBlock TpTimeBlock::Decode(ByteSpan b) {
    TpTimeBlock t;
    t.speed = S16LE(b, 3);
    t.direction = U16LE(b, 5);
    return t;
}

}  // namespace varistrum
