// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the 40-lambda engine: sample placement, bin boundaries, averages and restarts.
#include "averaging/averaging_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

namespace varistrum {
namespace {

constexpr double kRadius = 6378137.0;
constexpr double kDegreesPerMetre = 180.0 / (std::numbers::pi * kRadius);
// At 300 MHz the wavelength is exactly 1 m, so spacing and bin length can be given in metres.
constexpr double kOneMetreWaveMHz = 300.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

double North(double metres) {
    return metres * kDegreesPerMetre;
}

std::vector<LocatedSample> Drain(AveragingEngine& engine) {
    std::vector<LocatedSample> points;
    LocatedSample p;
    while (engine.NextAveragedPoint(p.latitude, p.longitude, p.value) == 0) points.push_back(p);
    return points;
}

// One value measured at the fix the engine is at, then the next fix: the value lies on the
// earlier fix.
bool MeasureThenMove(AveragingEngine& engine, double value, double lat, double lon) {
    engine.AddValue(value);
    return engine.AddPosition(lat, lon);
}

std::vector<double> Values(const std::vector<LocatedSample>& points) {
    std::vector<double> values;
    for (const LocatedSample& p : points) values.push_back(p.value);
    return values;
}

TEST(AveragingEngineGeometry, GreatCircleDistanceOfKnownPairs) {
    const double pi = std::numbers::pi;
    struct Case {
        double lat1, lon1, lat2, lon2, metres;
    } cases[] = {
        {0, 0, 1, 0, kRadius * pi / 180},  // one degree of latitude on the equator
        {0, 0, 0, 1, kRadius * pi / 180},  // one degree of longitude on the equator
        {45, 7, 45, 7, 0},                 // same point
        {0, 0, 90, 0, kRadius * pi / 2},   // equator to pole
        {-82, -180, 82, 0, kRadius * pi},  // antipodes where rounding lifts h above 1
    };
    for (const Case& c : cases) {
        const double d = AveragingEngine::GreatCircleDistance(c.lat1, c.lon1, c.lat2, c.lon2);
        EXPECT_NEAR(d, c.metres, 1e-6) << c.lat1 << "," << c.lon1 << " " << c.lat2 << "," << c.lon2;
    }
}

TEST(AveragingEngineBins, AverageIsMeanDbmAtMidpointOfFirstAndLastSample) {
    struct Sample {
        double north, east, value;
    };
    struct Case {
        const char* name;
        std::vector<double> beforeFirstFix;
        std::vector<Sample> bin;
        double mean;
    } cases[] = {
        {"mean of dBm, not of power", {}, {{1, 0, -60}, {2, 0, -80}}, -70},
        {"fractional mean", {}, {{1, 0, -60}, {3, 0, -61}}, -60.5},
        {"midpoint, not centroid", {}, {{1, 1, -70}, {2, 2, -70}, {3, 3, -70}, {30, 20, -70}}, -70},
        {"single sample", {}, {{5, 5, -90}}, -90},
        {"values before the first fix are dropped",
         {-10, -10, -10},
         {{1, 0, -60}, {2, 0, -80}},
         -70},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AveragingEngine engine;
        engine.StartAveraging(kOneMetreWaveMHz, 0.4, 40);
        for (double v : c.beforeFirstFix) engine.AddValue(v);
        EXPECT_FALSE(engine.AddPosition(0, 0));
        EXPECT_EQ(engine.PendingValueCount(), 0u);
        engine.AddPosition(North(c.bin[0].north), North(c.bin[0].east));
        for (std::size_t i = 0; i < c.bin.size(); ++i) {
            const bool last = i + 1 == c.bin.size();
            const Sample next = last ? Sample{100, 0, 0} : c.bin[i + 1];
            EXPECT_FALSE(
                MeasureThenMove(engine, c.bin[i].value, North(next.north), North(next.east)));
        }
        EXPECT_TRUE(MeasureThenMove(engine, 0, North(200), 0));  // lies 100 m out: closes the bin
        const std::vector<LocatedSample> points = Drain(engine);
        ASSERT_EQ(points.size(), 1u);
        EXPECT_EQ(points[0].value, c.mean);
        EXPECT_DOUBLE_EQ(points[0].latitude,
                         (North(c.bin.front().north) + North(c.bin.back().north)) * 0.5);
        EXPECT_DOUBLE_EQ(points[0].longitude,
                         (North(c.bin.front().east) + North(c.bin.back().east)) * 0.5);
    }
}

TEST(AveragingEngineBins, SpacingAndBinLengthBoundariesAreInclusive) {
    ASSERT_EQ(300000000.0 / (kOneMetreWaveMHz * 1000000.0), 1.0);
    // Each value lies exactly on a fix, so the engine measures exactly these distances.
    const double d01 = AveragingEngine::GreatCircleDistance(0, 0, North(1), 0);
    const double d02 = AveragingEngine::GreatCircleDistance(0, 0, North(2.5), 0);
    const double above01 = std::nextafter(d01, kInf);
    const double above02 = std::nextafter(d02, kInf);
    struct Case {
        const char* name;
        double spacing, bin;
        bool closedAtSecondSample;
        std::vector<double> averages;
    } cases[] = {
        {"sample exactly one bin length out closes the bin", 0.4, d02, true, {-60, -80}},
        {"sample just short of one bin length does not", 0.4, above02, false, {-70}},
        {"sample exactly one spacing from the last is taken", d01, 1000, false, {-70}},
        {"sample just short of one spacing is dropped", above01, 1000, false, {-80}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AveragingEngine engine;
        engine.StartAveraging(kOneMetreWaveMHz, c.spacing, c.bin);
        engine.AddPosition(0, 0);
        engine.AddPosition(North(1), 0);
        EXPECT_FALSE(MeasureThenMove(engine, -60, North(2.5), 0));
        EXPECT_EQ(MeasureThenMove(engine, -80, North(2000), 0), c.closedAtSecondSample);
        EXPECT_TRUE(MeasureThenMove(engine, 0, North(3000), 0));
        EXPECT_EQ(Values(Drain(engine)), c.averages);
    }
}

TEST(AveragingEngineBins, SampleThatClosesABinStartsTheNextOnce) {
    AveragingEngine engine;
    engine.StartAveraging(kOneMetreWaveMHz, 0.4, 40);
    engine.AddPosition(0, 0);
    engine.AddPosition(North(1), 0);
    EXPECT_FALSE(MeasureThenMove(engine, -60, North(50), 0));
    EXPECT_TRUE(MeasureThenMove(engine, -50, North(51), 0));
    EXPECT_FALSE(MeasureThenMove(engine, -90, North(200), 0));
    EXPECT_TRUE(MeasureThenMove(engine, 0, North(300), 0));
    const std::vector<LocatedSample> points = Drain(engine);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].value, -60);
    EXPECT_EQ(points[0].latitude, North(1));
    EXPECT_EQ(points[1].value, -70);  // -50 counted twice would give -63.3
    EXPECT_DOUBLE_EQ(points[1].latitude, (North(50) + North(51)) * 0.5);
}

TEST(AveragingEngineBins, ValuesBetweenFixesAreSpreadEvenlyFromTheEarlierFix) {
    AveragingEngine engine;
    engine.StartAveraging(kOneMetreWaveMHz, 0, 0);  // every sample is a bin of its own
    engine.AddPosition(10.0, 20.0);
    for (double v : {-1.0, -2.0, -3.0}) engine.AddValue(v);
    EXPECT_TRUE(engine.AddPosition(10.3, 20.6));
    EXPECT_TRUE(MeasureThenMove(engine, -4, 11.0, 21.0));
    const std::vector<LocatedSample> points = Drain(engine);
    const LocatedSample expected[] = {{10.0, 20.0, -1}, {10.1, 20.2, -2}, {10.2, 20.4, -3}};
    ASSERT_EQ(points.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(points[i].latitude, expected[i].latitude, 1e-12) << i;
        EXPECT_NEAR(points[i].longitude, expected[i].longitude, 1e-12) << i;
        EXPECT_EQ(points[i].value, expected[i].value) << i;
    }
}

TEST(AveragingEngineValues, LevelsAreTruncatedTowardZeroAndClampedToInt32) {
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    constexpr double kMin = std::numeric_limits<std::int32_t>::min();
    const struct {
        double in, out;
    } cases[] = {{-60.9, -60},          {60.9, 60},    {-0.9, 0},      {2147483647.5, kMax},
                 {-2147483648.9, kMin}, {1e300, kMax}, {-1e300, kMin}, {kInf, kMax},
                 {-kInf, kMin},         {kNaN, 0}};
    for (const auto& c : cases) {
        AveragingEngine engine;
        engine.StartAveraging(kOneMetreWaveMHz, 0, 0);
        engine.AddPosition(0, 0);
        EXPECT_EQ(engine.AddValue(c.in), 1);
        EXPECT_EQ(engine.AddValue(c.in), 2);
        engine.AddPosition(0, 0.001);
        MeasureThenMove(engine, 0, 0, 0.002);
        const std::vector<LocatedSample> points = Drain(engine);
        ASSERT_FALSE(points.empty()) << c.in;
        EXPECT_EQ(points[0].value, c.out) << c.in;
    }
}

TEST(AveragingEngineLifecycle, EmptyQueueGivesNoLevelAtOrigin) {
    AveragingEngine engine;
    double lat = 1, lon = 2, value = 3;
    EXPECT_EQ(engine.NextAveragedPoint(lat, lon, value), -1);
    EXPECT_EQ(lat, 0.0);
    EXPECT_EQ(lon, 0.0);
    EXPECT_EQ(value, -120.0);
}

// Before any start both distances are 0: each sample closes the bin of the one before it.
TEST(AveragingEngineLifecycle, UnstartedOrResetEngineAveragesEachSampleAlone) {
    for (bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "after Reset" : "fresh");
        AveragingEngine engine;
        if (reset) {
            engine.StartAveraging(900, 0.4, 40);
            engine.AddPosition(5, 5);
            MeasureThenMove(engine, -1, 5.1, 5.1);
            engine.AddValue(-2);
            engine.Reset();
        }
        EXPECT_FALSE(engine.IsActive());
        EXPECT_EQ(engine.PendingValueCount(), 0u);
        engine.AddPosition(0, 0);
        for (int k = 0; k < 4; ++k) {
            EXPECT_TRUE(MeasureThenMove(engine, -51 - k, 0.001 * (k + 1), 0.002 * (k + 1))) << k;
            const std::vector<LocatedSample> points = Drain(engine);
            if (k == 0) {
                EXPECT_TRUE(points.empty());
                continue;
            }
            ASSERT_EQ(points.size(), 1u) << k;
            EXPECT_EQ(points[0].latitude, 0.001 * (k - 1)) << k;
            EXPECT_EQ(points[0].longitude, 0.002 * (k - 1)) << k;
            EXPECT_EQ(points[0].value, -51 - (k - 1)) << k;
        }
    }
}

TEST(AveragingEngineLifecycle, RestartDiscardsPartialBinPendingValuesAndAverages) {
    AveragingEngine engine;
    engine.StartAveraging(kOneMetreWaveMHz, 0.4, 40);
    engine.AddPosition(0, 0);
    engine.AddPosition(North(1), 0);
    MeasureThenMove(engine, -10, North(2), 0);
    MeasureThenMove(engine, -10, North(100), 0);
    EXPECT_TRUE(MeasureThenMove(engine, -10, North(101), 0));  // -10 at 100 m opens a new bin
    engine.AddValue(-10);
    engine.StartAveraging(kOneMetreWaveMHz, 0.4, 40);
    EXPECT_TRUE(engine.IsActive());
    EXPECT_EQ(engine.PendingValueCount(), 0u);
    EXPECT_TRUE(Drain(engine).empty());
    // The next fix anchors a new route; nothing of the old one may leak into its first average.
    // 101 m is 41 m from the new anchor but 1 m from where the old bin began.
    engine.AddPosition(North(60), 0);
    engine.AddPosition(North(61), 0);
    MeasureThenMove(engine, -60, North(62), 0);
    MeasureThenMove(engine, -80, North(101), 0);
    EXPECT_TRUE(MeasureThenMove(engine, 0, North(150), 0));
    EXPECT_EQ(Values(Drain(engine)), std::vector<double>{-70});
}

TEST(AveragingEngineLifecycle, UnusableFrequencyLeavesEngineUntouched) {
    for (double bad : {0.0, -0.0, -900.0, kNaN, kInf, -kInf, 1e-320}) {
        SCOPED_TRACE(bad);
        AveragingEngine unstarted;
        unstarted.StartAveraging(bad, 0.4, 40);
        EXPECT_FALSE(unstarted.IsActive());

        AveragingEngine engine;
        engine.StartAveraging(kOneMetreWaveMHz, 0.4, 40);
        engine.AddPosition(0, 0);
        engine.AddPosition(North(1), 0);
        MeasureThenMove(engine, -60, North(2), 0);
        engine.AddValue(-80);
        engine.StartAveraging(bad, 1, 1);
        EXPECT_TRUE(engine.IsActive());
        EXPECT_EQ(engine.PendingValueCount(), 1u);
        EXPECT_FALSE(engine.AddPosition(North(100), 0));  // bin length still 40 m
        EXPECT_TRUE(MeasureThenMove(engine, 0, North(200), 0));
        EXPECT_EQ(Values(Drain(engine)), std::vector<double>{-70});
    }
}

}  // namespace
}  // namespace varistrum
