// SPDX-License-Identifier: GPL-3.0-or-later
// Drive against drive and coverage by area, on cells made by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "bins/area_shares.h"
#include "bins/bin_comparison.h"
#include "bins/bin_styles.h"

namespace varistrum {
namespace {

// One cell per entry, 1.1 km apart along a meridian, each holding the given levels of channel 1.
Binning Drive(const std::vector<std::vector<int>>& cells, std::optional<UtmZone> zone = {},
              int firstCell = 0, double mhz = 851.0) {
    BinOptions options;
    options.zone = zone;
    Binner binner(options);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        for (const int level : cells[i]) {
            BinSample s;
            s.latitude = 47.0 + 0.01 * (firstCell + static_cast<int>(i));
            s.longitude = 8.5;
            s.channel = 1;
            s.frequencyMHz = mhz;
            s.levelDbm = level;
            binner.Add(s);
        }
    }
    return *binner.Finish();
}

TEST(Comparison, SummaryOfDifferences) {
    // A: cells 0-4; B: cells 1-6. Differences in cells 1-4: +5, -4, +0.5, +3 (not "more than").
    const Binning a = Drive({{-90}, {-90}, {-80}, {-100}, {-70}});
    const Binning b = Drive({{-85}, {-84}, {-100, -99}, {-67}, {-60}, {-60}}, a.Grid().zone, 1);
    std::string error;
    const auto comparison = BinComparison::Make(a, b, ChannelChoice::Channel(1), &error);
    ASSERT_TRUE(comparison) << error;
    const ComparisonSummary& s = comparison->Summary();
    const double middle = 10.0 * std::log10((std::pow(10.0, -10.0) + std::pow(10.0, -9.9)) / 2.0);
    const double third = middle + 100.0;
    EXPECT_EQ(s.cellsBoth, 4);
    EXPECT_EQ(s.cellsOnlyA, 1);
    EXPECT_EQ(s.cellsOnlyB, 2);
    EXPECT_NEAR(s.meanDifferenceDb, (5.0 - 4.0 + third + 3.0) / 4.0, 1e-9);
    EXPECT_NEAR(s.medianDifferenceDb, (third + 3.0) / 2.0, 1e-9);
    EXPECT_EQ(s.cellsBetter, 1);
    EXPECT_EQ(s.cellsWorse, 1);
    EXPECT_DOUBLE_EQ(s.shareBetter, 0.25);
    const auto json = nlohmann::json::parse(comparison->Json());
    EXPECT_EQ(json["cells_only_b"], 2);
    EXPECT_EQ(json["grid"]["epsg"], 32632);
    EXPECT_DOUBLE_EQ(json["share_worse"].get<double>(), 0.25);
    EXPECT_NE(comparison->Text().find("B more than 3 dB weaker: 25.0 %"), std::string::npos)
        << comparison->Text();
    int cells = 0;
    comparison->ForEachCell([&](const DifferenceCell& d) {
        EXPECT_NEAR(d.differenceDb, d.meanBDbm - d.meanADbm, 1e-12);
        EXPECT_EQ(d.countA, 1u);
        ++cells;
    });
    EXPECT_EQ(cells, 4);
}

TEST(Comparison, RefusesWhatCannotBeCompared) {
    const Binning a = Drive({{-90}});
    std::string error;
    EXPECT_FALSE(BinComparison::Make(a, Drive({{-90}}, UtmZone{31, false}), {}, &error));
    EXPECT_NE(error.find("different grids"), std::string::npos);
    EXPECT_FALSE(
        BinComparison::Make(a, Drive({{-90}}, a.Grid().zone), ChannelChoice::Channel(2), &error));
    EXPECT_NE(error.find("drive A: channel 2"), std::string::npos) << error;
    EXPECT_FALSE(BinComparison::Make(a, Drive({{-90}}, a.Grid().zone, 0, 451.0),
                                     ChannelChoice::Channel(1), &error));
    EXPECT_NE(error.find("drive B channel 1 (451 MHz)"), std::string::npos) << error;
    const Binning none = Drive({{-120}});
    EXPECT_FALSE(BinComparison::Make(none, a, {}, &error));
    EXPECT_NE(error.find("without a level"), std::string::npos) << error;
    // No cell in common: a comparison whose figures say so.
    const auto apart = BinComparison::Make(a, Drive({{-90}}, a.Grid().zone, 5), {});
    ASSERT_TRUE(apart);
    EXPECT_EQ(apart->Summary().cellsBoth, 0);
    EXPECT_TRUE(std::isnan(apart->Summary().meanDifferenceDb));
    EXPECT_TRUE(nlohmann::json::parse(apart->Json())["median_difference_db"].is_null());
}

// The diverging classes agree with the summary's "more than 3 dB" and are white within 1 dB.
TEST(Comparison, DifferenceClassesAtTheirEdges) {
    const std::pair<double, int> cases[] = {{-6.01, 0}, {-6.0, 1}, {-3.01, 1}, {-3.0, 2},
                                            {-1.01, 2}, {-1.0, 3}, {1.0, 3},   {1.01, 4},
                                            {3.0, 4},   {3.01, 5}, {6.0, 5},   {6.01, 6}};
    for (const auto& [difference, expected] : cases)
        EXPECT_EQ(DifferenceClassOf(difference), expected) << difference;
    EXPECT_EQ(DifferenceColour(3), (RgbColour{255, 255, 255}));
    EXPECT_GT(DifferenceColour(0).red, DifferenceColour(0).blue);
    EXPECT_GT(DifferenceColour(6).blue, DifferenceColour(6).red);
}

TEST(AreaShares, CountCellsAtOrAboveEachThreshold) {
    // Linear means: -115, exactly -110, about -96.0, -70 (levels -70 and -70).
    const Binning drive = Drive({{-115}, {-110}, {-100, -94}, {-70, -70}});
    const AreaShares shares = CellSharesAtOrAbove(drive, {}, LevelRamp());
    EXPECT_EQ(shares.cells, 4);
    EXPECT_EQ(shares.cellsAtOrAbove, (std::array<std::int64_t, 5>{3, 2, 1, 1, 1}));
    // The shares add up with the cells' own values against every threshold.
    for (int i = 0; i < LevelRamp::kBounds; ++i) {
        int counted = 0;
        drive.ForEachSelected({}, [&](CellIndex, int, const CellChannelStatistics& s) {
            counted += s.linearMeanDbm >= LevelRamp().Thresholds()[i];
        });
        EXPECT_DOUBLE_EQ(shares.shareAtOrAbove[i], counted / 4.0);
    }
    EXPECT_EQ(CellSharesAtOrAbove(Drive({{-120}}), {}, LevelRamp()).shareAtOrAbove[0], 0.0);
}

}  // namespace
}  // namespace varistrum
