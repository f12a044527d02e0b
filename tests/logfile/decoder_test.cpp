// SPDX-License-Identifier: GPL-3.0-or-later
// Decoder state record by record: scan starts, timing, outages, typed frequencies.
#include <gtest/gtest.h>

#include "filters/outage_drop_stage.h"
#include "filters/scan_selection_stage.h"
#include "logfile/row_assembler.h"
#include "logfile/tavrel_reader.h"
#include "logfile/typed_frequencies.h"
#include "support/test_files.h"
#include "tools/log_builder.h"

namespace varistrum {
namespace {

using sim::GpsFix;
using sim::LogBuilder;

using test::kBand800;

// What a conversion asks beyond decoding; tests set it before the first record.
struct Mode {
    const ScanSelection* scans = nullptr;  // null: every scan
    std::vector<std::int64_t> outageStarts;
    bool dropOutages = false;
};

// Decodes a built log record by record as a conversion does (decoder, record stages, row
// assembly), or as the index pass does (the decoder alone).
class Decoding {
  public:
    explicit Decoding(const LogBuilder& log, bool conversion = true) : conversion_(conversion) {
        test::WriteFile(dir_.File("f.klf"), log.Bytes());
        reader.SetInputFormat(log.Variant());
        EXPECT_EQ(reader.Open(dir_.File("f.klf")), 0);
        reader.ReadNextRecord(buffer_);  // the identification record
    }
    // Decodes the next record; what the conversion writes for it.
    DecodeResult Next() {
        if (conversion_ && !assembler_) Start();
        EXPECT_NE(reader.ReadNextRecord(buffer_), 0);
        const DecodedRecord& record = reader.DecodeRecord(buffer_);
        if (!conversion_) return DecodeNothing;
        lastKept = true;
        for (RecordStage* stage : stages_) lastKept = stage->Keep(record, S()) && lastKept;
        return assembler_->Assemble(record, S(), lastKept);
    }
    const DecoderState& S() const { return reader.State(); }
    int OutputCount() const { return assembler_->OutputCount(); }
    const OutputRow& Row(int point) {
        assembler_->FillRow(point, S(), row_);
        return row_;
    }

    Mode mode;
    std::optional<TypedCodes> typed;  // frequencies typed in for the log
    TavrelReader reader;
    bool lastKept = true;  // the stages kept the last record's data
    std::optional<OutageDropStage> outages;

  private:
    void Start() {
        if (mode.scans != nullptr) {
            selection_.emplace(*mode.scans);
            stages_.push_back(&*selection_);
        }
        if (mode.dropOutages) {
            outages.emplace(mode.outageStarts);
            stages_.push_back(&*outages);
        }
        assembler_.emplace(AssemblySettings{{}, kAverageNone, typed});
    }

    bool conversion_;
    std::optional<ScanSelectionStage> selection_;
    std::vector<RecordStage*> stages_;
    std::optional<RowAssembler> assembler_;
    OutputRow row_;
    test::TempDir dir_;
    RecordBuffer buffer_;
};

GpsFix At(int second) {
    GpsFix fix;
    fix.seconds = second;
    return fix;
}

TEST(DecoderTest, RtcTimingGivesALinePerRecordUntilGpsFixesTakeOver) {
    LogBuilder log;
    const int samples[3] = {-60, -61, -62};
    log.Config(1, kBand800, kBand800).Rtc(0, 0, 0).ScanList32(68000, 0);
    log.Samples(1, samples).Gps(At(1)).Gps(At(2)).Samples(1, samples).Gps(At(3));
    // RTC timing first: every sample record is a line of its own.
    Decoding d(log);
    d.Next();
    d.Next();
    EXPECT_EQ(d.Next(), DecodeHeaderChange);
    EXPECT_EQ(d.Next(), DecodeDataReady);
    EXPECT_EQ(d.OutputCount(), 1);
    EXPECT_EQ(d.Row(0).timing, Timing::Rtc);
    EXPECT_FALSE(d.Row(0).placed);
    EXPECT_EQ(d.Next(), DecodeNothing);    // the first fix after open
    EXPECT_EQ(d.Next(), DecodeDataReady);  // GPS timing now: no record since the last fix
    EXPECT_EQ(d.OutputCount(), 0);
    EXPECT_EQ(d.Next(), DecodeNothing);  // pending until the next fix
    EXPECT_EQ(d.Next(), DecodeDataReady);
    EXPECT_EQ(d.OutputCount(), 1);
    EXPECT_EQ(d.Row(0).timing, Timing::Gps);
    EXPECT_TRUE(d.Row(0).placed);
}

TEST(DecoderTest, GpsTimingPlacesOnlyRecordsBetweenTwoFixes) {
    LogBuilder log;
    const int samples[2] = {-60, -61};
    log.Config(1, kBand800, kBand800)
        .ScanList32(68000, 0)
        .Samples(1, samples)
        .Gps(At(1))
        .Gps(At(2));
    log.Samples(1, samples).Samples(1, samples).Gps(At(4));
    Decoding d(log);
    d.Next();
    EXPECT_EQ(d.Next(), DecodeHeaderChange);
    EXPECT_TRUE(d.S().scanStartWaiting);
    EXPECT_EQ(d.S().ScanIndex, 0);
    EXPECT_EQ(d.Next(), DecodeNothing);  // samples before the first fix
    EXPECT_EQ(d.Next(), DecodeNothing);  // first fix: starts the scan and the timing
    EXPECT_EQ(d.S().ScanIndex, 1);
    EXPECT_EQ(d.S().ScanName, "GPS 12:00:01");
    EXPECT_EQ(d.Next(), DecodeDataReady);  // no records since the last fix
    EXPECT_EQ(d.OutputCount(), 0);
    d.Next();
    d.Next();
    EXPECT_EQ(d.Next(), DecodeDataReady);
    ASSERT_EQ(d.OutputCount(), 2);
    EXPECT_EQ(d.Row(0).seconds, 2);
    EXPECT_EQ(d.Row(1).seconds, 3);  // half of the two seconds between the fixes
    EXPECT_EQ(d.Row(1).lastSlot, 1);
}

TEST(DecoderTest, InterpolationCarriesMinutesAndHoursAndCrossesMidnight) {
    LogBuilder log;
    const int samples[1] = {-60};
    GpsFix before = At(58);
    before.hours = 23;
    before.minutes = 59;
    GpsFix after = At(2);
    after.hours = 0;
    after.minutes = 0;
    log.Config(1, kBand800, kBand800)
        .ScanList32(68000, 0)
        .Gps(At(0))
        .Samples(1, samples)
        .Gps(before);
    for (int i = 0; i < 4; ++i) log.Samples(1, samples);
    log.Gps(after);
    Decoding d(log);
    for (int i = 0; i < 5; ++i) d.Next();
    for (int i = 0; i < 4; ++i) d.Next();
    EXPECT_EQ(d.Next(), DecodeDataReady);
    ASSERT_EQ(d.OutputCount(), 4);
    const int expected[4][3] = {{23, 59, 58}, {23, 59, 59}, {0, 0, 0}, {0, 0, 1}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(d.Row(k).hours, expected[k][0]) << k;
        EXPECT_EQ(d.Row(k).minutes, expected[k][1]) << k;
        EXPECT_EQ(d.Row(k).seconds, expected[k][2]) << k;
    }
}

TEST(DecoderTest, ScanNumbersMatchBetweenIndexPassAndConversion) {
    LogBuilder log;
    std::array<std::uint32_t, 10> codes{68000};
    const sim::TableEntry table[1] = {{0, 5, -70}};
    log.Config(1, kBand800, kBand800)
        .Rtc(1, 1, 1)
        .ScanList10(codes, {})
        .ChannelTable(table)
        .ChannelTable(table);
    log.ScanList10(codes, {});
    for (bool conversion : {false, true}) {
        Decoding d(log, conversion);
        d.Next();
        d.Next();
        d.Next();
        EXPECT_EQ(d.S().ScanIndex, 1);
        d.Next();
        EXPECT_EQ(d.S().ScanIndex, 2);
        EXPECT_FALSE(d.S().HeaderPending);  // table scans get no tree entry
        d.Next();
        EXPECT_EQ(d.S().ScanIndex, 2);
        d.Next();
        EXPECT_EQ(d.S().ScanIndex, 3);
        EXPECT_EQ(d.S().counters.tableMode, 2);
    }
}

// The first GPS or RTC record completes the waiting start; the tree then decides, except in a
// folder job (all scans), whose files have no tree of their own.
TEST(DecoderTest, ScanWhoseStartWaitedIsSelectedFromTheTreeUnlessAllScansAreConverted) {
    const int samples[1] = {-60};
    for (const bool byRtc : {false, true}) {
        for (const bool allScans : {false, true}) {
            LogBuilder log;
            log.Config(1, kBand800, kBand800).ScanList32(68000, 0);
            if (byRtc) {
                log.Rtc(1, 2, 3);
            } else {
                log.Gps(At(1));
            }
            log.Samples(1, samples).Gps(At(2));
            ScanSelectionSnapshot unchecked({-1, 0});
            Decoding d(log);
            if (!allScans) d.mode.scans = &unchecked;
            d.Next();
            d.Next();
            d.Next();
            EXPECT_EQ(d.S().ScanIndex, 1);
            const DecodeResult samplesResult = d.Next();
            EXPECT_EQ(d.S().counters.rx1Single, 1);  // the statistics count every record
            EXPECT_EQ(d.lastKept, allScans) << byRtc;
            const DecodeResult fixResult = d.Next();
            if (byRtc) {  // timed by the clock: a line per record
                EXPECT_EQ(samplesResult, allScans ? DecodeDataReady : DecodeNothing);
            } else {  // timed by fixes: the second fix places the record
                EXPECT_EQ(fixResult, allScans ? DecodeDataReady : DecodeNothing);
            }
        }
    }
}

TEST(DecoderTest, ListedOutageDropsDataAndCountsUntilTheNextGpsRecord) {
    LogBuilder log;
    const int samples[1] = {-60};
    const sim::TableEntry table[1] = {{0, 5, -70}};
    log.Config(1, kBand800, kBand800)
        .Gps(At(1))
        .ChannelTable(table)
        .Gps(At(5))
        .Samples(1, samples)
        .ChannelTable(table);
    log.Gps(At(40)).Samples(1, samples);
    Decoding d(log);
    d.mode.dropOutages = true;
    d.mode.outageStarts = {2};  // the second GPS record
    for (int i = 0; i < 4; ++i) d.Next();
    EXPECT_EQ(d.Next(), DecodeNothing);
    EXPECT_FALSE(d.lastKept);
    EXPECT_EQ(d.Next(), DecodeNothing);
    EXPECT_FALSE(d.lastKept);
    EXPECT_EQ(d.outages->Dropped(), 2);
    d.Next();
    d.Next();
    EXPECT_TRUE(d.lastKept);
    EXPECT_EQ(d.outages->Dropped(), 2);
}

TEST(DecoderTest, TypedFrequenciesAreCheckedAgainstTheRanges) {
    LogBuilder log;
    const FrequencyPlan band900{64000, 72000, 3200, 0};  // 800-900 MHz
    log.Config(3, band900, band900).Rtc(1, 1, 1);
    Decoding d(log);
    d.Next();
    const auto& plans = d.S().plans;
    const FrequencyRange range = ReceiverRange(plans[0]);
    EXPECT_EQ(RangeText(range), "(800.00000 - 900.00000 MHz)");
    EXPECT_EQ(ProposedFrequencyText(range), "850.00000");
    // Receiver 1 first, then receiver 2; both bounds belong to the range.
    const auto refused = CheckTypedFrequencies(plans, 850, 900.5);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->receiver, 2);
    EXPECT_EQ(RangeRefusalText(*refused), "900.5000 is not in the range of the receiver.");
    EXPECT_EQ(RangeRefusalText(*CheckTypedFrequencies(plans, 799.99, 950)),
              "799.9900 is not in the range of the receiver.");
    EXPECT_FALSE(CheckTypedFrequencies(plans, 800.0, 900.0));
    const TypedFrequencies typed = TypedFrequenciesOf(plans, 900.0, 850.0);
    EXPECT_EQ(typed.receiver1MHz, 900.0);  // as a provenance record names them
    EXPECT_EQ(typed.codes.receiver1, 72000u);
    EXPECT_EQ(ChannelNumberOf(902.0004, 12.5), 72160u);
    EXPECT_EQ(ChannelNumberOf(850, 0.0), 0u);
}

TEST(DecoderTest, TypedFrequencyTextsReadAsNumbersOrNotAtAll) {
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"850", 850.0},    {" 851.0125\t", 851.0125},
        {"+850.5", 850.5}, {"8.5e2", 850.0},
        {".5", 0.5},       {"-5", -5.0},
        {"", {}},          {"  ", {}},
        {"abc", {}},       {"850,5", {}},
        {"+-5", {}},       {"++5", {}},
        {"+", {}},         {"inf", {}},
        {"nan", {}},       {"850 MHz", {}},
        {"0x35", {}},      {"1e999", {}}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ParseFrequencyText(text), expected) << text;
}

// A file's own scan definition must not carry over into the next file's typed frequencies.
TEST(DecoderTest, TypedFrequenciesStartEveryFileAfresh) {
    LogBuilder log;
    const int samples[1] = {-60};
    std::array<std::uint32_t, 10> codes;
    codes.fill(70000);  // 875 MHz
    log.Config(1, kBand800, kBand800).Rtc(1, 1, 1).Samples(1, samples).ScanList10(codes, codes);
    log.Samples(1, samples);
    TypedCodes typed;
    {
        Decoding first(log, false);
        first.Next();  // the plans give the channel step of the typed frequencies
        typed = TypedFrequenciesOf(first.S().plans, 850, 850).codes;
        EXPECT_EQ(typed.receiver1, 68000u);
    }
    for (int file = 0; file < 2; ++file) {
        Decoding d(log);
        d.typed = typed;
        d.Next();
        d.Next();
        ASSERT_EQ(d.Next(), DecodeDataReady);
        EXPECT_EQ(d.Row(0).channelCodes[0], 68000u) << file;  // the typed value
        EXPECT_EQ(d.Row(0).channelCodes[31], 68000u) << file;
        d.Next();
        ASSERT_EQ(d.Next(), DecodeDataReady);
        EXPECT_EQ(d.Row(0).channelCodes[0], 70000u) << file;  // the file's own definition
    }
}

}  // namespace
}  // namespace varistrum
