// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration's side of the runner: the settings its passes run with, the noise floors of a
// log's rows of every kind, and the local means of 40-lambda rows only.
#include "calibration/calibration_output.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace varistrum {
namespace {

// 806-896 MHz in 12.5 kHz steps; code 69784 is 872.3 MHz, channel 5305.
const FrequencyPlan kPlan{64480, 71680, 3200, 0};

struct RowData {
    std::vector<std::int8_t> levels;
    std::array<std::uint32_t, kChannelTableSize> codes{};
    std::array<std::uint16_t, kChannelTableSize> table{};
};

OutputRow RowOf(RowData& data, DataKind mode) {
    OutputRow row;
    row.dataMode = mode;
    row.plan = kPlan;
    row.levels = data.levels;
    row.channelCodes = data.codes;
    row.tableChannels = data.table;
    return row;
}

TEST(CalibrationOutput, SettingsAreLinearFortyLambdaWhateverTheDataChoices) {
    ConversionSettings data;
    data.averageType = kAverageBestServer;
    data.averageLinearPower = false;
    data.delimiterChoice = kOther;
    data.otherDelimiter = "5";  // a delimiter the text would refuse
    data.split = true;
    data.toStandardOutput = true;
    data.dropOutages = true;
    data.outageSeconds = 20;
    data.convertAllScans = false;
    data.receivers = {false, true};
    data.dropStandingStill = true;
    data.threshold = true;  // a level threshold would censor the fit
    const ConversionSettings main = CalibrationSettingsOf(data);
    EXPECT_EQ(main.averageType, kAverageLambda);
    EXPECT_TRUE(main.averageLinearPower);
    EXPECT_FALSE(main.Problem().has_value());
    EXPECT_FALSE(main.split);
    EXPECT_FALSE(main.toStandardOutput);
    // The data choices stay.
    EXPECT_TRUE(main.dropOutages);
    EXPECT_EQ(main.outageSeconds, 20);
    EXPECT_FALSE(main.convertAllScans);
    EXPECT_TRUE(main.receivers.receiver2);
    EXPECT_TRUE(main.dropStandingStill);
    EXPECT_FALSE(main.threshold);
    // The floor pass reads every level of the receiver as it was logged.
    const ConversionSettings floor = NoiseFloorSettingsOf(data);
    EXPECT_EQ(floor.averageType, kAverageNone);
    EXPECT_TRUE(floor.convertAllScans);
    EXPECT_FALSE(floor.dropOutages);
    EXPECT_FALSE(floor.dropStandingStill);
    EXPECT_TRUE(floor.receivers.receiver2);
    EXPECT_FALSE(floor.Problem().has_value());
}

TEST(CalibrationOutput, FloorsAreTheLowestLevelOfEachChannelInRowsOfEveryKind) {
    ChannelFloorSink sink;
    RowData samples{{-70, -95, -120, -88}};
    samples.codes.fill(69784);  // one channel in every slot
    samples.codes[3] = 0;       // a slot without a frequency
    RowData list{{-60, -101, -99}};
    list.codes[0] = 69784;
    list.codes[1] = 69785;
    list.codes[2] = 69786;
    RowData table{{-104, -90}};
    table.table[0] = 5306;
    table.table[1] = 5305;
    for (auto [data, mode] : {std::pair{&samples, DataKind::Samples},
                              std::pair{&list, DataKind::List}, std::pair{&table, DataKind::Table}})
        sink.AcceptRow(RowOf(*data, mode));
    RowData none{{-125}};
    sink.AcceptRow(RowOf(none, DataKind::None));  // no data block: nothing
    const ChannelFloors floors = sink.TakeFloors();
    EXPECT_EQ(floors.Of(5305), -95.0);  // -120 is "no level", and slot 3 has no channel
    EXPECT_EQ(floors.Of(5306), -104.0);
    EXPECT_EQ(floors.Of(5307), -99.0);
    EXPECT_FALSE(floors.Of(0).has_value());
}

TEST(CalibrationOutput, OnlyFortyLambdaRowsAreLocalMeans) {
    RowData data{{-87}};
    data.codes.fill(69784);
    OutputRow row = RowOf(data, DataKind::Samples);
    row.averaged = true;
    row.placed = true;
    row.averagedDbm = -86.75;
    row.scanNumber = 4;
    row.latitude = 48.2;
    row.longitude = 16.3;
    const auto mean = LocalMeanOf(row);
    ASSERT_TRUE(mean.has_value());
    EXPECT_EQ(mean->levelDbm, -86.75);  // unrounded, not the written -86
    EXPECT_EQ(mean->frequencyMHz, 872.3);
    EXPECT_EQ(mean->channel, 5305);
    EXPECT_EQ(mean->channelStepKHz, 12.5);
    EXPECT_EQ(mean->scan, 4);
    EXPECT_EQ(mean->latitude, 48.2);
    struct Case {
        bool averaged, placed;
        DataKind mode;
    } const others[] = {{false, true, DataKind::Samples},
                        {true, false, DataKind::Samples},
                        {true, true, DataKind::List}};
    for (const Case& c : others) {
        OutputRow other = row;
        other.averaged = c.averaged;
        other.placed = c.placed;
        other.dataMode = c.mode;
        EXPECT_FALSE(LocalMeanOf(other).has_value());
    }
}

}  // namespace
}  // namespace varistrum
