// SPDX-License-Identifier: GPL-3.0-or-later
// Cell statistics against sample-by-sample arithmetic, the counts of samples left out, times,
// the strongest channel, channel choice and the memory bound.
#include "bins/binning.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace varistrum {
namespace {

constexpr double kLat = 52.5, kLon = 13.4;  // zone 33N

BinSample At(double latitude, double longitude, int channel, int level, double mhz = 851.0) {
    BinSample s;
    s.latitude = latitude;
    s.longitude = longitude;
    s.channel = channel;
    s.frequencyMHz = mhz;
    s.levelDbm = level;
    return s;
}

Binning BinAll(const std::vector<BinSample>& samples, BinOptions options = {}) {
    Binner binner(options);
    binner.Add(samples);
    auto binning = binner.Finish();
    EXPECT_TRUE(binning) << binner.Error();
    return binning ? std::move(*binning) : Binning();
}

CellChannelStatistics OnlyCell(const Binning& binning) {
    EXPECT_EQ(binning.CellChannelCount(), 1u);
    CellChannelStatistics found;
    binning.ForEachCell([&](const BinCell& cell) { found = cell.channels[0].statistics; });
    return found;
}

// Levels of one cell: the statistics equal plain arithmetic on the samples, whether the
// histogram stays inline, moves its window or spills into a wide one.
TEST(Binning, CellStatisticsEqualSampleArithmetic) {
    std::vector<std::vector<int>> cases = {
        {-80},
        {-90, -80, -70},
        {-90, -80, -70, -60},  // even count: median between the middle two
        {-128, 127, -60},      // the extremes of a logged level
        {-100, -99, -98, -90, -85, -80, -75, -71, -101},  // window moved, then still fits
        {-110, -60, -75, -109, -61},                      // a spread over 30 dB
    };
    cases.push_back(std::vector<int>(300, -77));  // more than 255 samples of one level
    cases.back().insert(cases.back().end(), {-79, -75, -90});
    std::vector<int> ramp;
    for (int i = 0; i < 600; ++i) ramp.push_back(-120 + (i * 7) % 97 + (i % 5 == 0 ? 1 : 0));
    std::replace(ramp.begin(), ramp.end(), -120, -119);
    cases.push_back(ramp);
    for (const std::vector<int>& levels : cases) {
        std::vector<BinSample> samples;
        for (const int level : levels) samples.push_back(At(kLat, kLon, 5, level));
        const CellChannelStatistics s = OnlyCell(BinAll(samples));
        const double n = static_cast<double>(levels.size());
        double power = 0.0, sum = 0.0;
        for (const int v : levels) {
            power += std::pow(10.0, v / 10.0);
            sum += v;
        }
        const double mean = sum / n;
        double squares = 0.0;
        for (const int v : levels) squares += (v - mean) * (v - mean);
        std::vector<int> sorted = levels;
        std::sort(sorted.begin(), sorted.end());
        SCOPED_TRACE(levels.size());
        EXPECT_EQ(s.count, levels.size());
        EXPECT_NEAR(s.linearMeanDbm, 10.0 * std::log10(power / n), 1e-9);
        EXPECT_NEAR(s.dbMeanDbm, mean, 1e-9);
        EXPECT_NEAR(s.stdDb, std::sqrt(squares / n), 1e-9);
        EXPECT_EQ(s.medianDbm, (sorted[(sorted.size() - 1) / 2] + sorted[sorted.size() / 2]) / 2.0);
        EXPECT_EQ(s.minDbm, sorted.front());
        EXPECT_EQ(s.maxDbm, sorted.back());
    }
}

// Every sample is counted once, by the first reason it cannot be binned.
TEST(Binning, SamplesLeftOutAreCounted) {
    const std::vector<BinSample> samples = {
        At(kLat, kLon, 1, -80),  At(NAN, kLon, 1, -80),   At(kLat, INFINITY, 1, -80),
        At(91.0, kLon, 1, -80),  At(kLat, 181.0, 1, -80), At(84.5, kLon, 1, -80),
        At(-80.5, kLon, 1, -80), At(kLat, kLon, 1, -120), At(kLat, kLon, 1, -129),
        At(kLat, kLon, 1, 128),  At(NAN, kLon, 1, -120),
    };
    const Binning binning = BinAll(samples);
    const BinCounts& c = binning.Counts();
    EXPECT_EQ(c.binned, 1);
    EXPECT_EQ(c.withoutPosition, 5);
    EXPECT_EQ(c.beyondUtmReach, 2);
    EXPECT_EQ(c.noLevel, 1);
    EXPECT_EQ(c.levelOutOfRange, 2);
    ASSERT_EQ(binning.Warnings().size(), 1u);
    EXPECT_NE(binning.Warnings()[0].find("2 positions above 84 N or below 80 S"),
              std::string::npos);
}

TEST(Binning, PositionsBeyondUtmAreRefused) {
    const Binning binning = BinAll({At(84.2, 10.0, 1, -80), At(-81.0, 10.0, 1, -80)});
    EXPECT_TRUE(binning.Empty());
    EXPECT_NE(binning.WhyEmpty().find("above 84 N or below 80 S"), std::string::npos);
    // The first position UTM reaches fixes the zone.
    const Binning later = BinAll({At(85.0, 10.0, 1, -80), At(60.39, 5.32, 1, -80)});
    EXPECT_EQ(later.Grid().zone, (UtmZone{32, false}));
    EXPECT_EQ(later.CellCount(), 1u);
}

TEST(Binning, FirstAndLastTimeInLogOrder) {
    std::vector<BinSample> samples(5, At(kLat, kLon, 1, -80));
    samples[1].timeKnown = samples[2].timeKnown = samples[3].timeKnown = true;
    samples[1].time = 1700000000;
    samples[1].timeIsGps = true;
    samples[2].time = 1600000000;  // a clock that stepped back
    samples[3].time = 1700000005;
    const CellChannelStatistics s = OnlyCell(BinAll(samples));
    EXPECT_EQ(IsoTimeText(s.first), "2023-11-14T22:13:20Z");
    EXPECT_EQ(IsoTimeText(s.last), "2023-11-14T22:13:25");  // receiver clock: no zone
    const CellChannelStatistics none = OnlyCell(BinAll({At(kLat, kLon, 1, -80)}));
    EXPECT_FALSE(none.first.known);
    EXPECT_EQ(IsoTimeText(none.first), "");
    EXPECT_EQ(IsoTimeText({951782400, true, false}), "2000-02-29T00:00:00");
    EXPECT_EQ(IsoTimeText({-1, true, true}), "1969-12-31T23:59:59Z");
}

TEST(Binning, StrongestChannelIsPerCellByLinearMean) {
    // Channel 2's dB mean is lower, its power mean higher; channels 4 and 3 tie.
    const Binning binning = BinAll({At(kLat, kLon, 1, -70), At(kLat, kLon, 1, -70),
                                    At(kLat, kLon, 2, -60), At(kLat, kLon, 2, -95),
                                    At(kLat + 0.01, kLon, 4, -80), At(kLat + 0.01, kLon, 3, -80)});
    ASSERT_EQ(binning.CellCount(), 2u);
    std::vector<int> strongest;
    binning.ForEachCell([&](const BinCell& cell) {
        const int channel = cell.channels[static_cast<std::size_t>(cell.strongest)].channel;
        strongest.push_back(binning.Channels()[static_cast<std::size_t>(channel)].channel);
        EXPECT_EQ(binning.StrongestChannel(cell.cell), channel);
    });
    EXPECT_EQ(strongest, (std::vector<int>{2, 3}));
}

TEST(Binning, ChannelChoiceNamesOneChannel) {
    const Binning binning = BinAll(
        {At(kLat, kLon, 7, -80, 851.0), At(kLat, kLon, 7, -80, 451.0), At(kLat, kLon, 9, -80)});
    std::string error;
    EXPECT_FALSE(binning.Select(ChannelChoice::Channel(7), &error));
    EXPECT_NE(error.find("2 frequencies"), std::string::npos) << error;
    ChannelChoice exact = ChannelChoice::Channel(7);
    exact.frequencyMHz = 451.0;
    const auto selection = binning.Select(exact);
    ASSERT_TRUE(selection);
    EXPECT_EQ(binning.ChannelName(selection->channel), "channel 7 (451 MHz)");
    EXPECT_FALSE(binning.Select(ChannelChoice::Channel(8), &error));
    EXPECT_NE(error.find("channels: 7, 7, 9"), std::string::npos) << error;
    EXPECT_FALSE(ChannelChoice::Parse("7a"));
    EXPECT_TRUE(ChannelChoice::Parse("strongest")->strongest);
}

TEST(Binning, CellSizeOutsideFiveToThousandMetresIsRefused) {
    const auto sized = [](double metres) {
        BinOptions options;
        options.cellMetres = metres;
        return options;
    };
    for (const double metres : {4.99, 1000.01, static_cast<double>(NAN), 0.0}) {
        Binner binner(sized(metres));
        EXPECT_FALSE(binner.Add(At(kLat, kLon, 1, -80)));
        EXPECT_NE(binner.Error().find("5 to 1000 m"), std::string::npos);
    }
    for (const double metres : {5.0, 1000.0}) EXPECT_FALSE(Binner(sized(metres)).Failed());
}

// A drive along a line of cells stops at its budget, whether narrow levels fill it or widely
// spread ones, with a message naming the count and a larger cell.
TEST(Binning, StopsAtItsBudget) {
    std::vector<BinSample> narrow, wide;
    for (int i = 0; i < 40000; ++i) narrow.push_back(At(kLat + i * 0.0003, kLon, 1 + i % 4, -80));
    for (int i = 0; i < 5000; ++i) {  // levels 70 dB apart: a wide histogram each
        wide.push_back(At(kLat - i * 0.0003, kLon, 1, -40));
        wide.push_back(At(kLat - i * 0.0003, kLon, 1, -110));
    }
    for (const auto* samples : {&narrow, &wide}) {
        BinOptions options;
        options.memoryBudgetBytes = 2 << 20;
        Binner binner(options);
        binner.Add(*samples);
        EXPECT_FALSE(binner.Finish());
        EXPECT_EQ(binner.Error().rfind("binning stopped at ", 0), 0u) << binner.Error();
        EXPECT_NE(binner.Error().find("more than the 2 MB a binning may use; choose a larger "
                                      "cell, such as 50 m"),
                  std::string::npos)
            << binner.Error();
        EXPECT_LE(binner.MemoryBytes(), options.memoryBudgetBytes);
    }
    const Binning fits = BinAll(narrow);
    EXPECT_EQ(fits.CellChannelCount(), 40000u);
    EXPECT_LE(fits.MemoryBytes(), 40000 * kCellChannelBytes);
    const Binning spread = BinAll(wide);
    EXPECT_EQ(spread.WideHistogramCount(), 5000u);
    EXPECT_LE(spread.MemoryBytes(), 5000 * (kCellChannelBytes + kWideHistogramBytes));
}

TEST(Binning, ZoneComesFromFirstFixOrOptions) {
    // Norway's widened zone from the first fix; a drive that leaves it warns once.
    const Binning norway =
        BinAll({At(60.39, 5.32, 1, -80), At(60.39, 13.5, 1, -80), At(60.39, 13.6, 1, -80)});
    EXPECT_EQ(norway.Grid().zone.Epsg(), 32632);
    ASSERT_EQ(norway.Warnings().size(), 1u);
    EXPECT_NE(norway.Warnings()[0].find("3 degrees from the central meridian of UTM zone 32N"),
              std::string::npos);
    BinOptions fixed;
    fixed.zone = UtmZone{33, false};
    EXPECT_EQ(BinAll({At(60.39, 5.32, 1, -80)}, fixed).Grid().zone.Epsg(), 32633);
}

}  // namespace
}  // namespace varistrum
