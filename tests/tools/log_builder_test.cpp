// SPDX-License-Identifier: GPL-3.0-or-later
// Byte-exact checks of the log builder: headers, every record encoder and its range checks.
#include "tools/log_builder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tools/drive_simulator.h"

namespace varistrum::sim {
namespace {

std::string Hex(std::span<const std::uint8_t> bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) {
        if (!text.empty()) text += ' ';
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

// The bytes a builder added after its identification record.
std::string RecordHex(const std::function<void(LogBuilder&)>& add) {
    LogBuilder plain(8);
    LogBuilder log(8);
    add(log);
    const std::vector<std::uint8_t> all = log.Bytes();
    return Hex(std::span(all).subspan(plain.Size()));
}

TEST(LogBuilderTest, RecordsHaveTheirExactBytes) {
    const std::vector<int> levels{-50, -120, 0, 127};
    const std::vector<ListEntry> list{{0, 0, -80}, {1, 9, -120}};
    const std::vector<TableEntry> table{{0, 3084, -60}, {1, 1, -90}, {0, -255, -20}};
    TpFix tp;
    tp.hours = 23;
    tp.minutes = 59;
    tp.seconds = 58;
    tp.day = 31;
    tp.month = 12;
    tp.year = 2026;
    tp.SetLatitude(-33'500'000);
    tp.SetLongitude(151'250'001);
    const std::vector<std::uint8_t> three{1, 2, 3};

    const struct {
        const char* name;
        std::function<void(LogBuilder&)> add;
        const char* hex;
    } cases[] = {
        {"unknown type, empty", [](LogBuilder& b) { b.Record(0x55, {}); }, "01 00 55"},
        {"unknown type", [&](LogBuilder& b) { b.Record(0xD0, three); }, "04 00 D0 01 02 03"},
        {"receiver 1 samples", [&](LogBuilder& b) { b.Samples(1, levels, 0xAB); },
         "06 00 02 CE 88 00 7F AB"},
        {"receiver 2 without samples", [](LogBuilder& b) { b.Samples(2, {}); }, "02 00 03 00"},
        {"rtc", [](LogBuilder& b) { b.Rtc(13, 45, 7, 15, 6, 26, 99); },
         "08 00 04 07 2D 0D 0F 06 1A 63"},
        {"scan list 32", [](LogBuilder& b) { b.ScanList32(64480, 0x11223344); },
         "09 00 05 E0 FB 00 00 44 33 22 11"},
        {"config", [](LogBuilder& b) { b.Config(3, kBand800, kBandWrap); },
         "1A 00 01 03 E0 FB 00 00 00 18 01 00 80 0C 00 00 43 12 00 00 E0 12 00 00 00 C8 01 00"},
        {"channel list, padded", [&](LogBuilder& b) { b.ChannelList(list); },
         "10 00 07 00 00 B0 01 09 88 FF 00 88 FF 00 88 FF 00 88"},
        {"channel table, signed high byte, padded", [&](LogBuilder& b) { b.ChannelTable(table); },
         "11 00 09 00 0B 0C C4 01 00 00 A6 00 00 FF EC FF 00 00 88"},
        {"tp position", [&](LogBuilder& b) { b.TpPosition(tp); },
         "15 00 C0 3A 3B 17 1F 0B 7E 53 21 00 20 A1 07 00 45 97 00 91 D0 03 00"},
        {"tp time", [](LogBuilder& b) { b.TpTime(-5, 270); }, "07 00 C1 00 00 FB FF 0E 01"},
    };
    for (const auto& c : cases) EXPECT_EQ(RecordHex(c.add), c.hex) << c.name;
}

TEST(LogBuilderTest, ScanList10PutsReceiver2AfterTheTenReceiver1Codes) {
    std::array<std::uint32_t, 10> rx1{}, rx2{};
    for (std::uint32_t i = 0; i < 10; ++i) rx1[i] = i + 1;
    rx2[0] = 0x01020304;
    rx2[9] = 0xA0B0C0D0;
    LogBuilder plain(8), log(8);
    log.ScanList10(rx1, rx2);
    const auto bytes = log.Bytes();
    const auto record = std::span(bytes).subspan(plain.Size());
    ASSERT_EQ(record.size(), 83u);
    EXPECT_EQ(Hex(record.subspan(0, 7)), "51 00 06 01 00 00 00");
    EXPECT_EQ(Hex(record.subspan(3 + 36, 4)), "0A 00 00 00");
    EXPECT_EQ(Hex(record.subspan(3 + 40, 4)), "04 03 02 01");
    EXPECT_EQ(Hex(record.subspan(3 + 76, 4)), "D0 C0 B0 A0");
}

TEST(LogBuilderTest, HeadersOfBothVariants) {
    const struct {
        int variant;
        std::optional<std::uint64_t> dataEnd;  // nullopt: the file's size
        const char* header;
    } cases[] = {
        {8, std::nullopt, "00 00 1B 00 00 00"},  // 6 + 21-byte identification record
        {9, std::nullopt, "00 00 00 00 1F 00 00 00 00 00"},
        {8, 0, "00 00 00 00 00 00"},
        {9, 0, "00 00 00 00 00 00 00 00 00 00"},
        {8, 1000, "00 00 E8 01 01 00"},
        {9, 1000, "00 00 00 00 E8 01 01 00 00 00"},
        {8, 65535ull * 512 + 511, "00 00 FF 01 FF FF"},
        {9, 70000ull * 512 + 3, "00 00 00 00 03 00 70 11 01 00"},
    };
    for (const auto& c : cases) {
        LogBuilder log(c.variant);
        const auto bytes = c.dataEnd ? log.Bytes(*c.dataEnd) : log.Bytes();
        const std::size_t headerSize = c.variant == 8 ? 6 : 10;
        EXPECT_EQ(Hex(std::span(bytes).first(headerSize)), c.header) << c.variant;
        // The identification text follows the first record's type byte: at 9 or at 13.
        const std::string text(bytes.begin() + headerSize + 3, bytes.begin() + headerSize + 12);
        EXPECT_EQ(text, "QTXTAVREL") << c.variant;
    }
    EXPECT_THROW(LogBuilder(8).Bytes(65536ull * 512), std::out_of_range);
    EXPECT_THROW(LogBuilder(7), std::invalid_argument);
    EXPECT_EQ(Hex(EncodeHeaderFields(8, 2, 600, 0x0106)), "06 01 58 02 02 00");
    EXPECT_EQ(LogBuilder(8, false).Size(), 6u);
}

TEST(LogBuilderTest, Variant8FileBeyondItsHeaderGetsFileSizeHeader) {
    LogBuilder log(8);
    log.RawBytes(std::vector<std::uint8_t>(65536u * 512u, 0));
    const auto bytes = log.Bytes();
    EXPECT_EQ(Hex(std::span(bytes).first(6)), "00 00 00 00 00 00");
    EXPECT_TRUE(HeaderCanHold(9, bytes.size()));
}

TEST(LogBuilderTest, GpsBlockIsBigEndianAtItsOffsets) {
    GpsFix fix;
    fix.month = 12;
    fix.day = 31;
    fix.year = 2026;
    fix.hours = 23;
    fix.minutes = 59;
    fix.seconds = 58;
    fix.latitudeMas = -1'800'000;
    fix.longitudeMas = 0x12345678;
    fix.latitudeBMas = 1;
    fix.longitudeBMas = -1;
    fix.heightCm = 4321;
    fix.height1 = 11;
    fix.height2 = 22;
    fix.height4 = -44;
    fix.speedCmPerS = 0xABCD;
    fix.speed2 = 0x0203;
    fix.heading = 0x0102;
    fix.statusCode = 6;
    fix.statusLowBits = 0x1F;
    fix.satellites = 9;
    fix.satellitesTracked = 7;
    fix.temperatureHalfDegrees = 0x0123;
    fix.identification = {'A', 'B', 'C', 'D', 'E', 'F'};
    const auto block = EncodeGpsBlock(fix);
    ASSERT_EQ(block.size(), 152u);
    const struct {
        std::size_t offset, size;
        const char* hex;
    } fields[] = {
        {4, 4, "0C 1F 07 EA"},  {8, 3, "17 3B 3A"},
        {15, 4, "FF E4 88 C0"}, {19, 4, "12 34 56 78"},
        {23, 4, "00 00 00 0B"}, {27, 4, "00 00 00 16"},
        {31, 4, "00 00 00 01"}, {35, 4, "FF FF FF FF"},
        {39, 4, "00 00 10 E1"}, {43, 4, "FF FF FF D4"},
        {47, 4, "AB CD 02 03"}, {51, 2, "01 02"},
        {55, 2, "09 07"},       {129, 1, "DF"},
        {139, 2, "01 23"},      {145, 7, "41 42 43 44 45 46 00"},
    };
    for (const auto& f : fields)
        EXPECT_EQ(Hex(std::span(block).subspan(f.offset, f.size)), f.hex) << f.offset;

    // The reader's own decoding agrees with the encoding.
    const GpsBlock decoded = GpsBlock::Decode(block);
    EXPECT_EQ(decoded.SecondOfDay(), 23 * 3600 + 59 * 60 + 58);
    EXPECT_EQ(decoded.latitudeA.milliArcSeconds, -1'800'000);
    EXPECT_EQ(decoded.longitudeB.milliArcSeconds, -1);
    EXPECT_EQ(decoded.height3, 4321);
    EXPECT_EQ(decoded.statusCode, 6);
    EXPECT_EQ(decoded.temperature, 0x0123 >> 1);
    EXPECT_EQ(decoded.latitudeHemisphere, 'S');

    GpsFix plain;  // position B defaults to A
    plain.latitudeMas = 7;
    plain.longitudeMas = -7;
    const auto b = EncodeGpsBlock(plain);
    EXPECT_EQ(Hex(std::span(b).subspan(31, 8)), "00 00 00 07 FF FF FF F9");
}

TEST(LogBuilderTest, ValuesOutsideTheirFieldsThrowAndLeaveNoHalfRecord) {
    const std::vector<int> tooLoud{-50, 128};
    const std::vector<ListEntry> sixEntries(6, ListEntry{0, 0, -80});
    const std::vector<TableEntry> fiveEntries(5, TableEntry{0, 1, -80});
    const std::vector<TableEntry> farChannel{{0, 32770, -80}};
    GpsFix badStatus;
    badStatus.statusCode = 8;
    TpFix oldYear;
    oldYear.year = 1899;
    const std::function<void(LogBuilder&)> cases[] = {
        [&](LogBuilder& b) { b.Samples(3, {}); },
        [&](LogBuilder& b) { b.Samples(1, tooLoud); },
        [&](LogBuilder& b) { b.ChannelList(sixEntries); },
        [&](LogBuilder& b) { b.ChannelTable(fiveEntries); },
        [&](LogBuilder& b) { b.ChannelTable(farChannel); },
        [&](LogBuilder& b) { b.Rtc(256, 0, 0); },
        [&](LogBuilder& b) { b.Gps(badStatus); },
        [&](LogBuilder& b) { b.TpPosition(oldYear); },
        [&](LogBuilder& b) { b.Config(256, {}, {}); },
        [&](LogBuilder& b) { b.Record(0x55, std::vector<std::uint8_t>(65535)); },
    };
    int index = 0;
    for (const auto& add : cases) {
        LogBuilder log(8);
        const std::size_t before = log.Size();
        EXPECT_THROW(add(log), std::out_of_range) << "case " << index;
        EXPECT_EQ(log.Size(), before) << "case " << index;
        ++index;
    }
}

TEST(LogBuilderTest, TakenRecordsAddUpToTheWholeFile) {
    const std::vector<int> levels(100, -70);
    LogBuilder whole(9), streamed(9);
    std::vector<std::uint8_t> joined, piece;
    for (int i = 0; i < 3; ++i) {
        whole.Samples(1, levels).Rtc(1, 2, i);
        streamed.Samples(1, levels).Rtc(1, 2, i);
        streamed.TakeRecords(piece);
        joined.insert(joined.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(streamed.Size(), whole.Size());
    EXPECT_EQ(streamed.RecordCount(), whole.RecordCount());
    EXPECT_EQ(streamed.PendingSize(), 0u);
    const auto bytes = whole.Bytes();
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 10, bytes.end()), joined);
    EXPECT_THROW(streamed.Bytes(), std::logic_error);
}

TEST(LogBuilderTest, SaveWritesTheBytes) {
    LogBuilder log(8);
    log.Rtc(10, 20, 30);
    const std::string path = ::testing::TempDir() + "log_builder_save.klf";
    ASSERT_TRUE(log.Save(path));
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<std::uint8_t> read(log.Size() + 1);
    read.resize(std::fread(read.data(), 1, read.size(), file));
    std::fclose(file);
    std::remove(path.c_str());
    EXPECT_EQ(read, log.Bytes());
    EXPECT_FALSE(log.Save(::testing::TempDir() + "no-such-dir/x.klf"));
}

}  // namespace
}  // namespace varistrum::sim
