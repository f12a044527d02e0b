// SPDX-License-Identifier: GPL-3.0-or-later
// The threshold: every comparison at its boundary, the level and speed a row writes, and the
// rows a conversion keeps.
#include <gtest/gtest.h>

#include <array>

#include "convert/filter_counts.h"
#include "filters/threshold_stage.h"
#include "support/test_files.h"
#include "tools/log_builder.h"

namespace varistrum {
namespace {

using sim::GpsFix;
using sim::LogBuilder;

TEST(ThresholdTest, EveryComparisonAtItsBoundary) {
    struct Case {
        Comparator comparator;
        bool below, at, above;  // met by the value less 1, the value, the value plus 1
    };
    const Case cases[] = {
        {Comparator::Greater, false, false, true}, {Comparator::GreaterOrEqual, false, true, true},
        {Comparator::Equal, false, true, false},   {Comparator::LessOrEqual, true, true, false},
        {Comparator::Less, true, false, false},
    };
    for (const Case& c : cases) {
        const ThresholdRule rule{ThresholdField::Rssi, c.comparator, -90.0};
        EXPECT_EQ(rule.Meets(-91.0), c.below) << ComparatorText(c.comparator);
        EXPECT_EQ(rule.Meets(-90.0), c.at) << ComparatorText(c.comparator);
        EXPECT_EQ(rule.Meets(-89.0), c.above) << ComparatorText(c.comparator);
    }
    EXPECT_EQ((ThresholdRule{ThresholdField::Velocity, Comparator::GreaterOrEqual, 2.5}).Text(),
              "Velocity >= 2.5");
    EXPECT_EQ((ThresholdRule{}).Text(), "RSSI > -100");
    EXPECT_EQ((ThresholdRule{}).Problem(), nullptr);
    EXPECT_NE((ThresholdRule{ThresholdField::Rssi, static_cast<Comparator>(5), 0}).Problem(),
              nullptr);
    EXPECT_NE((ThresholdRule{static_cast<ThresholdField>(2), Comparator::Less, 0}).Problem(),
              nullptr);
}

// The level a row writes: the strongest of its slots, its best-server entry, its 40-lambda
// average; "no level" is none.
TEST(ThresholdTest, TheLevelARowWrites) {
    const std::array<std::uint32_t, kChannelTableSize> codes = [] {
        std::array<std::uint32_t, kChannelTableSize> c{};
        c.fill(68000);
        return c;
    }();
    const std::array<std::uint16_t, kChannelTableSize> noChannels{};
    struct Case {
        const char* name;
        DataKind mode;
        std::vector<std::int8_t> levels;
        int bestSlot = -1;
        bool bestTable = false;
        std::optional<int> written;
    };
    const Case cases[] = {
        {"samples: the strongest", DataKind::Samples, {-95, -70, -88}, -1, false, -70},
        {"no level is skipped", DataKind::Samples, {-120, -99}, -1, false, -99},
        {"only no level", DataKind::Samples, {-120, -120}, -1, false, std::nullopt},
        {"best server of a list", DataKind::List, {-95, -70, -88}, 2, false, -88},
        {"best server of a table", DataKind::Table, {-60}, -1, true, -77},
        {"no data", DataKind::None, {-60}, -1, false, std::nullopt},
    };
    for (const Case& c : cases) {
        OutputRow row;
        row.dataMode = c.mode;
        row.levels = c.levels;
        row.lastSlot = static_cast<int>(c.levels.size()) - 1;
        row.channelCodes = codes;
        row.tableChannels = noChannels;
        row.bestSlot = c.bestSlot;
        row.bestTableEntry = c.bestTable;
        row.sweepRssi = -77;
        EXPECT_EQ(WrittenLevel(row), c.written) << c.name;
    }
    // A 40-lambda row: its average, in slot 0.
    const std::int8_t average[1] = {-93};
    OutputRow averaged;
    averaged.dataMode = DataKind::Samples;
    averaged.placed = averaged.averaged = true;
    averaged.levels = average;
    averaged.lastSlot = 0;
    averaged.channelCodes = codes;
    EXPECT_EQ(WrittenLevel(averaged), -93);
}

// The speed as the "GPS Velocity (MPH)" field writes it: whole miles per hour; none without
// a good fix.
TEST(ThresholdTest, TheSpeedARowWrites) {
    struct Case {
        std::uint16_t centimetresPerSecond;
        int status;
        std::optional<double> mph;
    };
    const Case cases[] = {
        {0, 7, 0.0},
        {1000, 7, 22.0},  // 22.37 mph
        {1006, 6, 23.0},  // 22.50 rounds up
        {1000, 5, std::nullopt},
    };
    for (const Case& c : cases) {
        GpsBlock gps;
        gps.speed1 = c.centimetresPerSecond;
        gps.statusCode = c.status;
        OutputRow row;
        row.gps = &gps;
        EXPECT_EQ(WrittenVelocity(row), c.mph) << c.centimetresPerSecond << ' ' << c.status;
    }
}

// A log whose fixes each carry a speed and a sample record after them.
std::vector<std::uint8_t> SpeedsAndLevels(const std::vector<std::pair<int, int>>& steps,
                                          int status = 7) {
    LogBuilder log;
    log.Config(1, test::kBand800, test::kBand800).ScanList32(68000, 0);
    int second = 0;
    for (const auto& [centimetresPerSecond, level] : steps) {
        GpsFix fix;
        fix.seconds = second++;
        fix.speedCmPerS = static_cast<std::uint16_t>(centimetresPerSecond);
        fix.statusCode = status;
        fix.latitudeMas = 51 * 3600000 + second * 100;
        const int sample[1] = {level};
        log.Gps(fix).Samples(1, sample);
    }
    GpsFix last;
    last.seconds = second;
    last.statusCode = status;
    log.Gps(last);
    return log.Bytes();
}

TEST(ThresholdTest, AConversionWritesTheRowsThatMeetIt) {
    const auto log = SpeedsAndLevels({{0, -95}, {400, -90}, {900, -85}, {1400, -120}});
    auto settings = test::FieldSettings({GpsVelocity, DataField});
    settings.columns = {false, false, true};
    struct Case {
        ThresholdRule rule;
        const char* text;
    };
    // A row stands between two fixes and writes the speed of the later one.
    const Case cases[] = {
        {{ThresholdField::Rssi, Comparator::GreaterOrEqual, -90}, "20,-90\r\n31,-85\r\n"},
        {{ThresholdField::Rssi, Comparator::Less, -90}, "9,-95\r\n"},  // -120 is no level
        {{ThresholdField::Rssi, Comparator::Equal, -85}, "31,-85\r\n"},
        {{ThresholdField::Velocity, Comparator::Greater, 9}, "20,-90\r\n31,-85\r\n"},
        {{ThresholdField::Velocity, Comparator::LessOrEqual, 9}, "9,-95\r\n0,-120\r\n"},
    };
    for (const Case& c : cases) {
        settings.threshold = true;
        settings.thresholdRule = c.rule;
        EXPECT_EQ(test::ConvertBytes(log, settings), c.text) << c.rule.Text();
    }
}

TEST(ThresholdTest, AJobCountsItsRowsAndWarnsWhenVelocityHasNoFix) {
    test::TempDir dir;
    test::WriteFile(dir.File("fixes.klf"), SpeedsAndLevels({{0, -95}, {400, -90}, {900, -85}}));
    test::WriteFile(dir.File("nofix.klf"), SpeedsAndLevels({{0, -95}, {400, -90}}, 3));
    struct Case {
        const char* log;
        ThresholdRule rule;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"fixes.klf",
         {ThresholdField::Rssi, Comparator::Greater, -90},
         {"Information: Filters dropped 2 rows that did not meet the threshold.",
          "Information: Conversion Has Been Completed!"}},
        {"nofix.klf",
         {ThresholdField::Velocity, Comparator::GreaterOrEqual, 0},
         {"Warning: The log has no good GPS fix (2D or 3D): the Velocity threshold dropped "
          "every row.",
          "Information: Filters dropped 2 rows that did not meet the threshold.",
          "Information: Conversion Has Been Completed!"}},
        // An RSSI threshold needs no fix.
        {"nofix.klf",
         {ThresholdField::Rssi, Comparator::Less, 0},
         {"Information: Filters dropped 0 rows that did not meet the threshold.",
          "Information: Conversion Has Been Completed!"}},
    };
    for (const Case& c : cases) {
        auto settings = test::FieldSettings({GpsVelocity, DataField});
        settings.threshold = true;
        settings.thresholdRule = c.rule;
        TavrelReader reader;
        reader.SetInputFormat(8);
        test::RecordingObserver observer;
        ASSERT_EQ(RunConversionJob(reader, {dir.File(c.log)}, {dir.File("out.txt")}, settings,
                                   observer, {}),
                  JobOutcome::Completed);
        EXPECT_EQ(observer.messages, c.messages) << c.log << ' ' << c.rule.Text();
    }
}

TEST(FilterCountsTest, TheLineNamesEachFilterThatIsOn) {
    FilterCounts counts;
    EXPECT_EQ(FilterCountsText(counts), std::nullopt);
    counts.outagesOn = true;  // the outages alone keep the job's messages as they were
    counts.outages = 7;
    EXPECT_EQ(FilterCountsText(counts), std::nullopt);
    counts.standingStillOn = counts.thresholdOn = true;
    counts.standingStill = 120;
    counts.stops = 3;
    counts.stoppedSeconds = 180;
    counts.threshold = 57;
    FilterCounts other = counts;
    counts += other;
    EXPECT_EQ(FilterCountsText(counts),
              "Filters dropped 14 data records in GPS outages, 240 data records while standing "
              "still (6 stops, 360 s) and 114 rows that did not meet the threshold.");
}

}  // namespace
}  // namespace varistrum
