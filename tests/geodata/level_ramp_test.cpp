// SPDX-License-Identifier: GPL-3.0-or-later
// The stepped level colours: bands hold their lower bound, thresholds are checked.
#include "geodata/level_ramp.h"

#include <gtest/gtest.h>

namespace varistrum {
namespace {

TEST(LevelRampTest, EachLevelFallsInTheBandOfItsLowerBound) {
    const LevelRamp ramp;
    const struct {
        double dbm;
        const char* colour;
    } cases[] = {
        {-140.0, "#a50026"}, {-110.01, "#a50026"}, {-110.0, "#f46d43"}, {-100.5, "#f46d43"},
        {-100.0, "#fdae61"}, {-90.0, "#fee08b"},   {-80.0, "#a6d96a"},  {-70.01, "#a6d96a"},
        {-70.0, "#1a9850"},  {0.0, "#1a9850"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LevelRamp::HexText(ramp.ColourOf(c.dbm)), c.colour) << c.dbm;
    }
}

TEST(LevelRampTest, ThresholdsAreFiveIncreasingLevels) {
    std::string error;
    const auto ramp = LevelRamp::Parse("-120, -105.5,-95,-85,+-60", &error);
    EXPECT_FALSE(ramp);  // "+-60" is not a number
    const auto good = LevelRamp::Parse("-120,-105.5,-95,-85,-60", &error);
    ASSERT_TRUE(good);
    EXPECT_EQ(good->Text(), "-120,-105.5,-95,-85,-60");
    EXPECT_EQ(good->BandOf(-105.5), 2);
    EXPECT_EQ(good->BandLabel(0), "below -120 dBm");
    EXPECT_EQ(good->BandLabel(2), "-105.5 to -95 dBm");
    EXPECT_EQ(good->BandLabel(5), "-60 dBm and above");
    for (const char* bad :
         {"", "-110,-100,-90,-80", "-110,-100,-90,-80,-70,-60", "-110,-100,-100,-80,-70",
          "-70,-80,-90,-100,-110", "-110,,-90,-80,-70", "-110,-100,-90,-80,x",
          "-110,-100,-90,-80,inf", "-110,-100,nan,-80,-70"}) {
        error.clear();
        EXPECT_FALSE(LevelRamp::Parse(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
}  // namespace varistrum
