// SPDX-License-Identifier: GPL-3.0-or-later
// Builds log files record by record: the byte-exact test input of every reader and decoder test.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "logfile/records.h"

namespace varistrum::sim {

// The text that identifies a log file; it opens the payload of the first record.
inline constexpr std::string_view kIdentificationText = "QTXTAVREL";
// Payload of the identification record (type 0x80, ignored by the decoder).
inline constexpr std::string_view kIdentificationPayload = "QTXTAVREL CW V2.40";
inline constexpr std::uint8_t kIdentificationType = 0x80;
// Receiver byte of padding entries in list and table records: matches neither receiver.
inline constexpr std::uint8_t kNoReceiver = 0xFF;

// Header size of a variant (8: 6 bytes, 9: 10 bytes); throws std::invalid_argument otherwise.
int HeaderSize(int variant);
// Whether the variant's blocks field can express this DataEnd (variant 8 ends below 32 MiB).
bool HeaderCanHold(int variant, std::uint64_t dataEnd);
// Header with blocks = dataEnd / 512 and remainder = dataEnd % 512; throws std::out_of_range
// when the variant cannot hold it.
std::vector<std::uint8_t> EncodeHeader(int variant, std::uint64_t dataEnd,
                                       std::uint32_t unused = 0);
// Header with free field values (for odd headers such as a remainder above 511).
std::vector<std::uint8_t> EncodeHeaderFields(int variant, std::uint32_t blocks,
                                             std::uint16_t remainder, std::uint32_t unused = 0);

struct GpsFix {
    int month = 6, day = 15, year = 2026, hours = 12, minutes = 0, seconds = 0;
    std::int32_t latitudeMas = 0, longitudeMas = 0;           // position A, milliseconds of arc
    std::optional<std::int32_t> latitudeBMas, longitudeBMas;  // position B; defaults to A
    std::int32_t heightCm = 0;                                // height 3 (the altitude)
    std::uint16_t speedCmPerS = 0;                            // speed 1
    std::uint16_t heading = 0;
    int statusCode = 7;  // bits 7-5 of byte 129: 7 = 3D fix, 6 = 2D fix, below 6 no fix
    int satellites = 8;  // visible; also tracked unless satellitesTracked is set

    // Fields the conversion does not use; distinct values let decoder tests catch offset slips.
    std::int32_t height1 = 0, height2 = 0, height4 = 0;
    std::uint16_t speed2 = 0, geometry = 0;
    std::optional<int> satellitesTracked;
    std::uint8_t statusLowBits = 0;  // bits 4-0 of byte 129, not part of the status code
    std::uint8_t antennaStatus = 0;
    std::uint16_t value133 = 0;
    std::uint32_t value135 = 0;
    std::uint16_t temperatureHalfDegrees = 50;
    std::uint8_t byte141 = 0, byte142 = 0, value143 = 0, value144 = 0;
    std::array<char, 6> identification{'V', 'S', 'G', 'P', 'S', '1'};
    std::array<std::uint8_t, 72> channels{};  // 12 satellite channel entries
    std::uint32_t leadingWord = 0;            // bytes 0-3
};

struct ListEntry {
    int receiver;  // 0 = receiver 1, 1 = receiver 2
    int position;  // list position 0..9
    int rssi;
};

struct TableEntry {
    int receiver;  // 0 = receiver 1, 1 = receiver 2
    int channel;   // channel number; stored as channel - 1 in the low and signed high byte
    int rssi;
};

// Time and position of a TpPositionRecord. Month and year are plain (written as month - 1
// and year - 1900).
struct TpFix {
    int hours = 12, minutes = 0, seconds = 0, day = 15, month = 6, year = 2026;
    char latitudeHemisphere = 'N';  // 'N', anything else is south
    std::uint16_t latitudeDegrees = 0;
    std::uint32_t latitudeMillionths = 0;
    char longitudeHemisphere = 'E';  // 'E', anything else is west
    std::uint16_t longitudeDegrees = 0;
    std::uint32_t longitudeMillionths = 0;

    // Splits signed millionths of a degree into hemisphere, whole degrees and fraction.
    void SetLatitude(std::int64_t microdegrees);
    void SetLongitude(std::int64_t microdegrees);
};

// The 152-byte, big-endian payload of a GpsRecord.
std::vector<std::uint8_t> EncodeGpsBlock(const GpsFix& fix);

// Collects records in memory; the header is made when the bytes are taken, so it can carry the
// final size. Methods throw std::out_of_range for values their byte fields cannot hold.
class LogBuilder {
  public:
    // Writes the identification record unless told not to (for unidentifiable files).
    explicit LogBuilder(int variant = 8, bool identify = true);

    LogBuilder& Record(std::uint8_t type, std::span<const std::uint8_t> payload);
    LogBuilder& RawBytes(std::span<const std::uint8_t> bytes);  // as they are, e.g. damage
    LogBuilder& Gps(const GpsFix& fix);
    LogBuilder& Config(int receiverFlags, const FrequencyPlan& rx1, const FrequencyPlan& rx2);
    // A receiver data record (receiver 1 or 2): levels -128..127, then the unused byte.
    LogBuilder& Samples(int receiver, std::span<const int> rssi, std::uint8_t trailing = 0);
    LogBuilder& Rtc(int hours, int minutes, int seconds, int day = 15, int month = 6, int year = 26,
                    int marker = 0);
    LogBuilder& ScanList32(std::uint32_t rx1Code, std::uint32_t rx2Code);
    LogBuilder& ScanList10(const std::array<std::uint32_t, 10>& rx1,
                           const std::array<std::uint32_t, 10>& rx2);
    LogBuilder& ChannelList(std::span<const ListEntry> entries);    // up to 5, padded
    LogBuilder& ChannelTable(std::span<const TableEntry> entries);  // up to 4, padded
    LogBuilder& TpPosition(const TpFix& fix);
    LogBuilder& TpTime(std::int16_t speed, std::uint16_t direction);

    int Variant() const { return variant_; }
    std::size_t Size() const;  // bytes so far, header included
    std::size_t RecordCount() const { return records_; }
    std::size_t PendingSize() const { return body_.size(); }  // bytes not yet taken

    // The file with DataEnd = its size; variant 8 files beyond the header's reach get blocks
    // and remainder 0, which also means "the file's size".
    std::vector<std::uint8_t> Bytes() const;
    std::vector<std::uint8_t> Bytes(std::uint64_t dataEnd) const;  // this DataEnd (0 allowed)
    bool Save(const std::string& path) const;

    // Streaming: swaps the records written so far into `into` (its old content is dropped and
    // its storage reused). Size() keeps counting them; Bytes() is no longer available.
    void TakeRecords(std::vector<std::uint8_t>& into);

  private:
    // Appends the length field and type byte of a record and returns where its payload starts.
    std::size_t BeginRecord(std::uint8_t type, std::size_t payloadSize);
    std::vector<std::uint8_t> WithHeader(std::vector<std::uint8_t> header) const;

    int variant_;
    std::vector<std::uint8_t> body_;
    std::uint64_t handedOut_ = 0;
    std::size_t records_ = 0;
};

}  // namespace varistrum::sim
