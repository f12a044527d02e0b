// SPDX-License-Identifier: GPL-3.0-or-later
// Byte encoding of the log file's header and records.
#include "tools/log_builder.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace varistrum::sim {

namespace {

void Check(bool ok, const char* what) {
    if (!ok) throw std::out_of_range(what);
}

std::uint8_t Byte(int value, const char* what) {
    Check(value >= 0 && value <= 255, what);
    return static_cast<std::uint8_t>(value);
}

std::uint8_t Level(int value) {
    Check(value >= -128 && value <= 127, "RSSI outside -128..127");
    return static_cast<std::uint8_t>(value & 0xFF);
}

void PutLe16(std::uint8_t* at, std::uint32_t v) {
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutLe32(std::uint8_t* at, std::uint32_t v) {
    PutLe16(at, v & 0xFFFF);
    PutLe16(at + 2, v >> 16);
}

void PutBe16(std::uint8_t* at, std::uint32_t v) {
    at[0] = static_cast<std::uint8_t>(v >> 8);
    at[1] = static_cast<std::uint8_t>(v);
}

void PutBe32(std::uint8_t* at, std::uint32_t v) {
    PutBe16(at, v >> 16);
    PutBe16(at + 2, v & 0xFFFF);
}

void PutPlan(std::uint8_t* at, const FrequencyPlan& plan) {
    PutLe32(at, plan.first);
    PutLe32(at + 4, plan.last);
    PutLe16(at + 8, plan.step);
    PutLe16(at + 10, plan.flags);
}

void EncodeGpsInto(const GpsFix& fix, std::uint8_t* b) {
    std::memset(b, 0, GpsBlock::kSize);
    Check(fix.statusCode >= 0 && fix.statusCode <= 7, "GPS status code outside 0..7");
    Check(fix.year >= 0 && fix.year <= 0xFFFF, "GPS year outside 0..65535");
    PutBe32(b, fix.leadingWord);
    b[4] = Byte(fix.month, "GPS month");
    b[5] = Byte(fix.day, "GPS day");
    PutBe16(b + 6, static_cast<std::uint32_t>(fix.year));
    b[8] = Byte(fix.hours, "GPS hours");
    b[9] = Byte(fix.minutes, "GPS minutes");
    b[10] = Byte(fix.seconds, "GPS seconds");
    PutBe32(b + 15, static_cast<std::uint32_t>(fix.latitudeMas));
    PutBe32(b + 19, static_cast<std::uint32_t>(fix.longitudeMas));
    PutBe32(b + 23, static_cast<std::uint32_t>(fix.height1));
    PutBe32(b + 27, static_cast<std::uint32_t>(fix.height2));
    PutBe32(b + 31, static_cast<std::uint32_t>(fix.latitudeBMas.value_or(fix.latitudeMas)));
    PutBe32(b + 35, static_cast<std::uint32_t>(fix.longitudeBMas.value_or(fix.longitudeMas)));
    PutBe32(b + 39, static_cast<std::uint32_t>(fix.heightCm));
    PutBe32(b + 43, static_cast<std::uint32_t>(fix.height4));
    PutBe16(b + 47, fix.speedCmPerS);
    PutBe16(b + 49, fix.speed2);
    PutBe16(b + 51, fix.heading);
    PutBe16(b + 53, fix.geometry);
    b[55] = Byte(fix.satellites, "GPS satellites");
    b[56] = Byte(fix.satellitesTracked.value_or(fix.satellites), "GPS satellites tracked");
    std::memcpy(b + 57, fix.channels.data(), fix.channels.size());
    b[129] = static_cast<std::uint8_t>((fix.statusCode << 5) | (fix.statusLowBits & 0x1F));
    b[130] = fix.antennaStatus;
    PutBe16(b + 133, fix.value133);
    PutBe32(b + 135, fix.value135);
    PutBe16(b + 139, fix.temperatureHalfDegrees);
    b[141] = fix.byte141;
    b[142] = fix.byte142;
    b[143] = fix.value143;
    b[144] = fix.value144;
    std::memcpy(b + 145, fix.identification.data(), fix.identification.size());
}

void SplitDegrees(std::int64_t micro, char positive, char negative, char& hemisphere,
                  std::uint16_t& degrees, std::uint32_t& millionths) {
    const std::int64_t magnitude = micro < 0 ? -micro : micro;
    Check(magnitude / 1000000 <= 0xFFFF, "TP degrees outside 0..65535");
    hemisphere = micro < 0 ? negative : positive;
    degrees = static_cast<std::uint16_t>(magnitude / 1000000);
    millionths = static_cast<std::uint32_t>(magnitude % 1000000);
}

}  // namespace

int HeaderSize(int variant) {
    if (variant == kFormatTavrel) return 6;
    if (variant == kFormatTavrelPcCard) return 10;
    throw std::invalid_argument("log file variant must be 8 or 9");
}

bool HeaderCanHold(int variant, std::uint64_t dataEnd) {
    const std::uint64_t maxBlocks = HeaderSize(variant) == 6 ? 0xFFFF : 0xFFFFFFFF;
    return dataEnd / 512 <= maxBlocks;
}

std::vector<std::uint8_t> EncodeHeader(int variant, std::uint64_t dataEnd, std::uint32_t unused) {
    Check(HeaderCanHold(variant, dataEnd), "DataEnd beyond the header's reach");
    return EncodeHeaderFields(variant, static_cast<std::uint32_t>(dataEnd / 512),
                              static_cast<std::uint16_t>(dataEnd % 512), unused);
}

std::vector<std::uint8_t> EncodeHeaderFields(int variant, std::uint32_t blocks,
                                             std::uint16_t remainder, std::uint32_t unused) {
    std::vector<std::uint8_t> header(static_cast<std::size_t>(HeaderSize(variant)));
    if (variant == kFormatTavrel) {
        Check(blocks <= 0xFFFF && unused <= 0xFFFF, "variant 8 header fields are 16-bit");
        PutLe16(&header[0], unused);
        PutLe16(&header[2], remainder);
        PutLe16(&header[4], blocks);
    } else {
        PutLe32(&header[0], unused);
        PutLe16(&header[4], remainder);
        PutLe32(&header[6], blocks);
    }
    return header;
}

void TpFix::SetLatitude(std::int64_t microdegrees) {
    SplitDegrees(microdegrees, 'N', 'S', latitudeHemisphere, latitudeDegrees, latitudeMillionths);
}

void TpFix::SetLongitude(std::int64_t microdegrees) {
    SplitDegrees(microdegrees, 'E', 'W', longitudeHemisphere, longitudeDegrees,
                 longitudeMillionths);
}

std::vector<std::uint8_t> EncodeGpsBlock(const GpsFix& fix) {
    std::vector<std::uint8_t> block(GpsBlock::kSize);
    EncodeGpsInto(fix, block.data());
    return block;
}

LogBuilder::LogBuilder(int variant, bool identify) : variant_(variant) {
    HeaderSize(variant);  // validates
    if (identify) {
        const auto* text = reinterpret_cast<const std::uint8_t*>(kIdentificationPayload.data());
        Record(kIdentificationType, {text, kIdentificationPayload.size()});
    }
}

std::size_t LogBuilder::BeginRecord(std::uint8_t type, std::size_t payloadSize) {
    Check(payloadSize < 0xFFFF, "record payload longer than 65534 bytes");
    const std::size_t at = body_.size();
    body_.resize(at + 3 + payloadSize);
    PutLe16(&body_[at], static_cast<std::uint32_t>(payloadSize + 1));
    body_[at + 2] = type;
    ++records_;
    return at + 3;
}

LogBuilder& LogBuilder::Record(std::uint8_t type, std::span<const std::uint8_t> payload) {
    const std::size_t at = BeginRecord(type, payload.size());
    if (!payload.empty()) std::memcpy(&body_[at], payload.data(), payload.size());
    return *this;
}

LogBuilder& LogBuilder::RawBytes(std::span<const std::uint8_t> bytes) {
    body_.insert(body_.end(), bytes.begin(), bytes.end());
    return *this;
}

LogBuilder& LogBuilder::Gps(const GpsFix& fix) {
    std::array<std::uint8_t, GpsBlock::kSize> block{};
    EncodeGpsInto(fix, block.data());  // before BeginRecord: a bad field leaves no half record
    return Record(GpsRecord, block);
}

LogBuilder& LogBuilder::Config(int receiverFlags, const FrequencyPlan& rx1,
                               const FrequencyPlan& rx2) {
    std::array<std::uint8_t, 25> payload{};
    payload[0] = Byte(receiverFlags, "receiver flags");
    PutPlan(&payload[1], rx1);
    PutPlan(&payload[13], rx2);
    return Record(ConfigRecord, payload);
}

LogBuilder& LogBuilder::Samples(int receiver, std::span<const int> rssi, std::uint8_t trailing) {
    Check(receiver == 1 || receiver == 2, "receiver must be 1 or 2");
    Check(rssi.size() + 1 < 0xFFFF, "too many samples for one record");
    for (int level : rssi) Level(level);
    const std::size_t at =
        BeginRecord(receiver == 1 ? Receiver1DataRecord : Receiver2DataRecord, rssi.size() + 1);
    std::uint8_t* out = &body_[at];
    for (int level : rssi) *out++ = static_cast<std::uint8_t>(level & 0xFF);
    *out = trailing;
    return *this;
}

LogBuilder& LogBuilder::Rtc(int hours, int minutes, int seconds, int day, int month, int year,
                            int marker) {
    const std::array<std::uint8_t, 7> payload{
        Byte(seconds, "RTC seconds"), Byte(minutes, "RTC minutes"), Byte(hours, "RTC hours"),
        Byte(day, "RTC day"),         Byte(month, "RTC month"),     Byte(year, "RTC year"),
        Byte(marker, "RTC marker")};
    return Record(RtcRecord, payload);
}

LogBuilder& LogBuilder::ScanList32(std::uint32_t rx1Code, std::uint32_t rx2Code) {
    std::array<std::uint8_t, 8> payload{};
    PutLe32(&payload[0], rx1Code);
    PutLe32(&payload[4], rx2Code);
    return Record(ScanList32Record, payload);
}

LogBuilder& LogBuilder::ScanList10(const std::array<std::uint32_t, 10>& rx1,
                                   const std::array<std::uint32_t, 10>& rx2) {
    std::array<std::uint8_t, 80> payload{};
    for (std::size_t i = 0; i < 10; ++i) {
        PutLe32(&payload[4 * i], rx1[i]);
        PutLe32(&payload[40 + 4 * i], rx2[i]);
    }
    return Record(ScanList10Record, payload);
}

LogBuilder& LogBuilder::ChannelList(std::span<const ListEntry> entries) {
    Check(entries.size() <= 5, "a channel list record holds 5 entries");
    std::array<std::uint8_t, 15> payload{};
    for (std::size_t i = 0; i < 5; ++i) {
        std::uint8_t* e = &payload[3 * i];
        if (i < entries.size()) {
            e[0] = Byte(entries[i].receiver, "list receiver");
            e[1] = Byte(entries[i].position, "list position");
            e[2] = Level(entries[i].rssi);
        } else {
            e[0] = kNoReceiver;
            e[2] = Level(kNoLevel);
        }
    }
    return Record(ChannelListRecord, payload);
}

LogBuilder& LogBuilder::ChannelTable(std::span<const TableEntry> entries) {
    Check(entries.size() <= 4, "a channel table record holds 4 entries");
    std::array<std::uint8_t, 16> payload{};
    for (std::size_t i = 0; i < 4; ++i) {
        std::uint8_t* e = &payload[4 * i];
        if (i < entries.size()) {
            const int stored = entries[i].channel - 1;  // the reader adds 1 back
            Check(stored >= -32768 && stored <= 32767, "table channel outside the 16-bit range");
            e[0] = Byte(entries[i].receiver, "table receiver");
            e[1] = static_cast<std::uint8_t>(stored & 0xFF);
            e[2] = static_cast<std::uint8_t>((stored >> 8) & 0xFF);  // signed high byte
            e[3] = Level(entries[i].rssi);
        } else {
            e[0] = kNoReceiver;
            e[3] = Level(kNoLevel);
        }
    }
    return Record(ChannelTableRecord, payload);
}

LogBuilder& LogBuilder::TpPosition(const TpFix& fix) {
    std::array<std::uint8_t, 20> p{};  // the block's bytes 1-20; byte 0 is the type byte
    p[0] = Byte(fix.seconds, "TP seconds");
    p[1] = Byte(fix.minutes, "TP minutes");
    p[2] = Byte(fix.hours, "TP hours");
    p[3] = Byte(fix.day, "TP day");
    p[4] = Byte(fix.month - 1, "TP month");
    p[5] = Byte(fix.year - 1900, "TP year");
    p[6] = static_cast<std::uint8_t>(fix.latitudeHemisphere);
    PutLe16(&p[7], fix.latitudeDegrees);
    PutLe32(&p[9], fix.latitudeMillionths);
    p[13] = static_cast<std::uint8_t>(fix.longitudeHemisphere);
    PutLe16(&p[14], fix.longitudeDegrees);
    PutLe32(&p[16], fix.longitudeMillionths);
    return Record(TpPositionRecord, p);
}

LogBuilder& LogBuilder::TpTime(std::int16_t speed, std::uint16_t direction) {
    std::array<std::uint8_t, 6> p{};  // bytes 1-2 of the block are not used
    PutLe16(&p[2], static_cast<std::uint16_t>(speed));
    PutLe16(&p[4], direction);
    return Record(TpTimeRecord, p);
}

std::size_t LogBuilder::Size() const {
    return static_cast<std::size_t>(HeaderSize(variant_) + handedOut_ + body_.size());
}

std::vector<std::uint8_t> LogBuilder::WithHeader(std::vector<std::uint8_t> header) const {
    if (handedOut_ != 0) throw std::logic_error("records were handed out by TakeRecords");
    header.insert(header.end(), body_.begin(), body_.end());
    return header;
}

std::vector<std::uint8_t> LogBuilder::Bytes() const {
    const std::uint64_t size = Size();
    return WithHeader(HeaderCanHold(variant_, size) ? EncodeHeader(variant_, size)
                                                    : EncodeHeader(variant_, 0));
}

std::vector<std::uint8_t> LogBuilder::Bytes(std::uint64_t dataEnd) const {
    return WithHeader(EncodeHeader(variant_, dataEnd));
}

bool LogBuilder::Save(const std::string& path) const {
    const std::vector<std::uint8_t> bytes = Bytes();
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                         &std::fclose);
    if (!file) return false;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return false;
    return std::fclose(file.release()) == 0;
}

void LogBuilder::TakeRecords(std::vector<std::uint8_t>& into) {
    into.clear();
    std::swap(into, body_);
    handedOut_ += into.size();
}

}  // namespace varistrum::sim
