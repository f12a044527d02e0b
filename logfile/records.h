// SPDX-License-Identifier: GPL-3.0-or-later
// Byte layouts of the log file: header variants, record types and the blocks they carry.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "logfile/bytes.h"

namespace varistrum {

// Input Format index of a log file: 8 the 6-byte header, 9 the 10-byte (PC card) header.
inline constexpr int kFormatNone = 0;
inline constexpr int kFormatTavrel = 8;
inline constexpr int kFormatTavrelPcCard = 9;

inline constexpr int kMaxRecordLength = 4096;  // longer length fields mark a damaged record
inline constexpr std::int8_t kNoLevel = -120;  // dBm written for "no level"

enum RecordType : std::uint8_t {
    GpsRecord = 0,
    ConfigRecord = 1,
    Receiver1DataRecord = 2,
    Receiver2DataRecord = 3,
    RtcRecord = 4,
    ScanList32Record = 5,
    ScanList10Record = 6,
    ChannelListRecord = 7,
    ChannelTableRecord = 9,
    TpPositionRecord = 0xC0,
    TpTimeRecord = 0xC1,
};

// Least payload (bytes after the type byte) a record type needs to be decoded;
// nullopt for types that carry no meaning and are skipped.
std::optional<int> MinimumPayload(std::uint8_t type);

struct LogHeader {
    std::uint32_t headerSize = 0;  // also where the first record starts
    std::uint64_t dataEnd = 0;     // end of the record area, from the file's start
};

// Reads the header of the given variant; false when the file is too short for it.
bool ReadLogHeader(int format, ByteSpan fileStart, std::uint64_t fileSize, LogHeader& header);

// A receiver's frequency plan. Channel values are frequency codes: MHz = code x step / 256 x 0.001.
struct FrequencyPlan {
    std::uint32_t first = 0;  // lowest channel value
    std::uint32_t last = 0;   // highest channel value
    std::uint16_t step = 0;   // kHz with 8 fraction bits
    std::uint16_t flags = 0;  // bit 0: the band wraps (991-1023 precede 1)

    static FrequencyPlan Decode(ByteSpan twelveBytes);
    bool Wraps() const { return (flags & 1) != 0; }
    double StepKHz() const { return step / 256.0; }
    double CodeToMHz(std::int64_t code) const {
        return static_cast<double>(code) * StepKHz() * 0.001;
    }
    double MinMHz() const { return CodeToMHz(first); }
    double MaxMHz() const { return CodeToMHz(last); }
    std::int64_t ChannelCount() const;
    // Channel number of a frequency code (0 when it lies below the plan).
    std::int64_t ChannelOfCode(std::int64_t code) const;
    // Frequency code of a channel number (the inverse of ChannelOfCode).
    std::int64_t CodeOfChannel(std::int64_t channel) const;
};

// One latitude or longitude in milliseconds of arc with its decoded parts.
struct GpsCoordinate {
    std::int32_t milliArcSeconds = 0;
    double decimalDegrees = 0.0;
    int degrees = 0;  // whole degrees, without sign
    int minutes = 0;
    double decimalMinutes = 0.0;
    int seconds = 0;

    static GpsCoordinate FromMilliArcSeconds(std::int32_t value);
};

// The 152-byte GPS block; big-endian, unlike the rest of the file.
// The receiver's fix status (GpsBlock::statusCode, bits 7-5 of its status byte); the codes
// below a 2D fix mean no usable position.
enum class GpsFixStatus : int { TwoDFix = 6, ThreeDFix = 7 };

struct GpsBlock {
    static constexpr int kSize = 152;
    static constexpr double kMphPerCentimetrePerSecond = 0.02237;

    int month = 0, day = 0, year = 0;
    int hours = 0, minutes = 0, seconds = 0;
    GpsCoordinate latitudeA, longitudeA, latitudeB, longitudeB;
    double height1 = 0.0, height2 = 0.0;
    std::int32_t height3 = 0;  // centimetres
    std::int32_t height4 = 0;
    std::uint16_t speed1 = 0;  // centimetres per second
    std::uint16_t speed2 = 0;
    std::uint16_t heading = 0;
    std::uint16_t geometry = 0;
    int satellitesVisible = 0, satellitesTracked = 0;
    std::array<std::uint8_t, 72> channels{};
    int statusCode = 0;  // bits 7-5 of the receiver status byte
    int antennaStatus = 0;
    std::uint16_t value133 = 0;
    std::uint32_t value135 = 0;
    int temperature = 0;  // degrees (stored in half degrees)
    bool flag141a = false, flag141b = false;
    int count141 = 0;
    bool flag142 = false;
    int value143 = 0, value144 = 0;
    std::array<char, 7> identification{};
    char latitudeHemisphere = 'S';
    char longitudeHemisphere = 'W';

    static GpsBlock Decode(ByteSpan payload);
    int SecondOfDay() const { return hours * 3600 + minutes * 60 + seconds; }
    // The speed in miles per hour, as the "GPS Velocity (MPH)" field takes it (before rounding).
    double SpeedMph() const { return speed1 * kMphPerCentimetrePerSecond; }
    // A 2D or a 3D fix: only these bound a GPS outage.
    bool HasFix() const { return statusCode >= static_cast<int>(GpsFixStatus::TwoDFix); }
};

// One of the 5 entries of a ChannelListRecord: the level at a position of a receiver's list.
struct ListEntry {
    int receiver = 0;  // 0 or 1
    int position = 0;
    std::int8_t rssi = 0;
};
inline ListEntry ListEntryAt(ByteSpan payload, std::size_t e) {
    return {U8(payload, 3 * e), U8(payload, 3 * e + 1), S8(payload, 3 * e + 2)};
}

// One of the 4 entries of a ChannelTableRecord: a channel number (low + 256 x high + 1) of a
// receiver and its level.
struct TableEntry {
    int receiver = 0;  // 0 or 1
    std::uint16_t channel = 0;
    std::int8_t rssi = 0;
};
inline TableEntry TableEntryAt(ByteSpan payload, std::size_t e) {
    return {U8(payload, 4 * e),
            static_cast<std::uint16_t>(U8(payload, 4 * e + 1) + 256 * S8(payload, 4 * e + 2) + 1),
            S8(payload, 4 * e + 3)};
}

// Real-time clock stamp of an RtcRecord.
struct RtcClock {
    int seconds = 0, minutes = 0, hours = 0, day = 0, month = 0, year = 0, marker = 0;
    static RtcClock Decode(ByteSpan payload);
};

// TP position block: the whole TpPositionRecord from its type byte on (21 bytes).
struct TpPositionBlock {
    int seconds = 0, minutes = 0, hours = 0, day = 0, monthMinus1 = 0, yearMinus1900 = 0;
    char latitudeHemisphere = 0;
    std::uint16_t latitudeDegrees = 0;
    std::uint32_t latitudeMillionths = 0;
    char longitudeHemisphere = 0;
    std::uint16_t longitudeDegrees = 0;
    std::uint32_t longitudeMillionths = 0;

    static TpPositionBlock Decode(ByteSpan record);
};

// TP time block: the whole TpTimeRecord from its type byte on (7 bytes).
struct TpTimeBlock {
    std::int16_t speed = 0;
    std::uint16_t direction = 0;
    static TpTimeBlock Decode(ByteSpan record);
};

}  // namespace varistrum
