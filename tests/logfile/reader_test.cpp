// SPDX-License-Identifier: GPL-3.0-or-later
// Record framing: header variants, the end of the record area, damaged records and resync.
#include <gtest/gtest.h>

#include <random>

#include "averaging/averaging_engine.h"
#include "logfile/identify.h"
#include "logfile/tavrel_reader.h"
#include "support/test_files.h"
#include "tools/log_builder.h"

namespace varistrum {
namespace {

using sim::LogBuilder;
using test::TempDir;
using test::WriteFile;

struct ReadRecord {
    int result;
    std::vector<std::uint8_t> bytes;
};

// Every ReadNextRecord result with the record it delivered, up to the end.
std::vector<ReadRecord> ReadAll(const std::vector<std::uint8_t>& file, int format,
                                DamageCounters* damage = nullptr) {
    TempDir dir;
    WriteFile(dir.File("f.klf"), file);
    TavrelReader reader;
    reader.SetInputFormat(format);
    EXPECT_EQ(reader.Open(dir.File("f.klf")), 0);
    std::vector<ReadRecord> records;
    RecordBuffer buffer;
    for (int result; (result = reader.ReadNextRecord(buffer)) != 0;) {
        const ByteSpan r = buffer.Record();
        records.push_back({result, std::vector<std::uint8_t>(r.begin(), r.end())});
    }
    if (damage) *damage = reader.Damage();
    reader.Close();
    return records;
}

TEST(ReaderTest, BothHeaderVariantsDeliverEveryRecordIncludingTheLast) {
    for (int variant : {8, 9}) {
        LogBuilder log(variant);
        log.Rtc(1, 2, 3).ScanList32(100, 200);
        const auto records = ReadAll(log.Bytes(), variant);
        ASSERT_EQ(records.size(), 3u) << variant;  // identification, RTC, scan definition
        EXPECT_EQ(records[0].bytes[0], 0x80);
        EXPECT_EQ(records[1].bytes[0], RtcRecord);
        EXPECT_EQ(records[2].result, 2 + 9);
        EXPECT_EQ(records[2].bytes[0], ScanList32Record);
        EXPECT_EQ(IdentifyLogFile([&] {
                      static TempDir dir;
                      WriteFile(dir.File("id.klf"), log.Bytes());
                      return dir.File("id.klf");
                  }()),
                  variant);
    }
}

TEST(ReaderTest, DataEndComesFromTheHeaderOrTheFileSize) {
    LogBuilder log(8);
    log.Rtc(1, 2, 3).Rtc(4, 5, 6);
    const std::size_t full = log.Size();
    EXPECT_EQ(ReadAll(log.Bytes(0), 8).size(), 3u);            // 0: the file's size
    EXPECT_EQ(ReadAll(log.Bytes(full), 8).size(), 3u);         // exactly the end
    EXPECT_EQ(ReadAll(log.Bytes(full - 1), 8).size(), 2u);     // the last record overruns it
    EXPECT_EQ(ReadAll(log.Bytes(full + 1000), 8).size(), 3u);  // beyond the file: the file ends it
}

TEST(ReaderTest, LengthsUpTo4096AreReadLongerOnesAreDamaged) {
    LogBuilder log(8);
    std::vector<int> samples(4094, -70);  // length = samples + 2 = 4096
    log.Samples(1, samples);
    auto records = ReadAll(log.Bytes(), 8);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].result, 4098);

    std::vector<std::uint8_t> bytes = log.Bytes();
    bytes[bytes.size() - 4098] = 0x01;  // length field 4097
    bytes[bytes.size() - 4097] = 0x10;
    DamageCounters damage;
    records = ReadAll(bytes, 8, &damage);
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records[1].result, 4);
    EXPECT_EQ(records[1].bytes, std::vector<std::uint8_t>{0x80});  // decodes as nothing
    EXPECT_EQ(damage.damagedRecords, 1);
}

TEST(ReaderTest, ZeroLengthAndShortPayloadsCountAsDamaged) {
    LogBuilder log(8);
    const std::uint8_t shortGps[10] = {};
    log.Record(GpsRecord, shortGps);  // far shorter than a GPS block
    log.Rtc(1, 2, 3);
    DamageCounters damage;
    auto records = ReadAll(log.Bytes(), 8, &damage);
    EXPECT_EQ(records.size(), 3u);
    EXPECT_EQ(damage.damagedRecords, 1);

    LogBuilder zero(8);
    const std::uint8_t nothing[2] = {0, 0};
    zero.RawBytes(nothing);
    for (int i = 0; i < 8; ++i) zero.Rtc(1, 2, i);
    records = ReadAll(zero.Bytes(), 8, &damage);
    EXPECT_EQ(damage.damagedRecords, 1);
    EXPECT_EQ(damage.skippedBytes, 2);
    ASSERT_EQ(records.size(), 10u);  // identification, the damage, eight RTC records
    EXPECT_EQ(records.back().bytes[0], RtcRecord);
}

// Inserting a run of 0xFF between two records changes nothing decoded from the file.
TEST(ReaderTest, ResynchronisesAfterARunOfDamagedBytes) {
    auto build = [](int run) {
        LogBuilder log(8);
        log.Rtc(1, 1, 1).ScanList32(70000, 70100);
        std::vector<std::uint8_t> junk(static_cast<std::size_t>(run), 0xFF);
        log.RawBytes(junk);
        sim::GpsFix fix;
        for (int i = 0; i < 10; ++i) {
            fix.seconds = i;
            log.Gps(fix);
            const int samples[3] = {-60, -61, -62 - i};
            log.Samples(1, samples);
        }
        return log.Bytes();
    };
    const auto clean = ReadAll(build(0), 8);
    for (int run : {1, 2, 3, 7, 100, 5000}) {
        DamageCounters damage;
        auto damaged = ReadAll(build(run), 8, &damage);
        std::vector<ReadRecord> kept;
        for (auto& r : damaged) {
            if (r.bytes != std::vector<std::uint8_t>{0x80} || r.result != 4) kept.push_back(r);
        }
        ASSERT_EQ(kept.size(), clean.size()) << run;
        for (std::size_t i = 0; i < kept.size(); ++i)
            EXPECT_EQ(kept[i].bytes, clean[i].bytes) << run;
        EXPECT_GE(damage.damagedRecords, 1);
        EXPECT_EQ(damage.skippedBytes, run) << run;
    }
}

// After a damaged length, fewer than eight records that frame up to the end count only when
// that end is the DataEnd the header gives: a file cut short ends at no record boundary.
TEST(ReaderTest, AShortChainAfterDamageMustEndAtTheHeadersDataEnd) {
    LogBuilder log(8);
    log.Rtc(1, 1, 1);
    const std::uint8_t damagedLength[2] = {0xFF, 0xFF};
    log.RawBytes(damagedLength).Rtc(2, 2, 2);
    const std::size_t size = log.Size();
    const struct {
        std::uint64_t dataEnd;
        std::size_t records;
        std::int64_t skipped;
    } cases[] = {
        {size, 4, 2},         // ends at DataEnd: the last RTC record is read
        {0, 4, 2},            // DataEnd 0 is the file's size
        {size + 100, 3, 12},  // the file ends before its DataEnd: nothing more is trusted
    };
    for (const auto& c : cases) {
        DamageCounters damage;
        const auto records = ReadAll(log.Bytes(c.dataEnd), 8, &damage);
        ASSERT_EQ(records.size(), c.records) << c.dataEnd;
        EXPECT_EQ(records[2].result, 4);
        if (c.records == 4) {
            EXPECT_EQ(records[3].bytes[0], RtcRecord);
        }
        EXPECT_EQ(damage.skippedBytes, c.skipped) << c.dataEnd;
    }
}

TEST(ReaderTest, TruncationAtEveryOffsetReadsAPrefixWithoutCrashing) {
    LogBuilder log(9);
    sim::GpsFix fix;
    log.Rtc(1, 1, 1).Gps(fix);
    const int samples[5] = {-50, -60, -70, -80, -90};
    log.Samples(1, samples).Samples(2, samples).ScanList32(1, 2);
    const auto full = log.Bytes();
    const auto complete = ReadAll(full, 9);
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        std::vector<std::uint8_t> truncated(full.begin(),
                                            full.begin() + static_cast<std::ptrdiff_t>(cut));
        const auto records = ReadAll(truncated, 9);
        ASSERT_LE(records.size(), complete.size());
        for (std::size_t i = 0; i < records.size(); ++i)
            ASSERT_EQ(records[i].bytes, complete[i].bytes);
    }
}

TEST(ReaderTest, OpenFailsOnAMissingPath) {
    TavrelReader reader;
    EXPECT_EQ(reader.Open("/nonexistent/file.klf"), -1);
    RecordBuffer buffer;
    EXPECT_EQ(reader.ReadNextRecord(buffer), 0);
}

TEST(ReaderTest, IdentifiesOnlyFilesWithTheIdentificationText) {
    TempDir dir;
    WriteFile(dir.File("text.klf"), std::string("just some text, not a log file at all"));
    EXPECT_EQ(IdentifyLogFile(dir.File("text.klf")), 0);
    EXPECT_EQ(IdentifyLogFile(dir.File("missing.klf")), 0);
    WriteFile(dir.File("empty.klf"), std::string());
    EXPECT_EQ(IdentifyLogFile(dir.File("empty.klf")), 0);
    EXPECT_EQ(InputFormatName(9), "QTX Tavrel (PC CARD)");
}

TEST(RecordLayoutTest, CoordinatesPlansAndCatalog) {
    const GpsCoordinate south = GpsCoordinate::FromMilliArcSeconds(-1800000);
    EXPECT_DOUBLE_EQ(south.decimalDegrees, -0.5);
    EXPECT_EQ(south.degrees, 0);
    EXPECT_EQ(south.minutes, 30);
    const GpsCoordinate north =
        GpsCoordinate::FromMilliArcSeconds(145234567);  // 40 deg 20' 34.567"
    EXPECT_EQ(north.degrees, 40);
    EXPECT_EQ(north.minutes, 20);
    EXPECT_EQ(north.seconds, 34);
    EXPECT_NEAR(north.decimalMinutes, 20.5761167, 1e-6);

    FrequencyPlan plan{64480, 71680, 3200, 0};  // 806..896 MHz in 12.5 kHz steps
    EXPECT_DOUBLE_EQ(plan.MinMHz(), 806.0);
    EXPECT_DOUBLE_EQ(plan.MaxMHz(), 896.0);
    EXPECT_EQ(plan.ChannelOfCode(64480), 1);
    EXPECT_EQ(plan.CodeOfChannel(1), 64480);
    EXPECT_EQ(plan.ChannelOfCode(100), 0);  // below the plan
    EXPECT_EQ(plan.ChannelCount(), 7201);
    FrequencyPlan wrap{100, 200, 7680, 1};
    EXPECT_EQ(wrap.ChannelOfCode(100), 991);
    EXPECT_EQ(wrap.ChannelOfCode(133), 1024);
    EXPECT_EQ(wrap.ChannelOfCode(134), 1);
    EXPECT_EQ(wrap.CodeOfChannel(1), 134);
    EXPECT_EQ(wrap.CodeOfChannel(991), 100);
    EXPECT_EQ(wrap.ChannelCount(), 67);

    EXPECT_EQ(OfferedFields().size(), 43u);
    const auto names = OfferedFieldNames();
    EXPECT_EQ(names[0], "<< DATA >>");
    EXPECT_EQ(names[1], "CR / LF");
    EXPECT_EQ(names[2], "Latitude (Decimal Degrees)");
    EXPECT_EQ(FieldName(55), "TP Direction (deg from N)");
    EXPECT_EQ(FieldTagOf("Record Number"), 32);
}

}  // namespace
}  // namespace varistrum
