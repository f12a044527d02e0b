// SPDX-License-Identifier: GPL-3.0-or-later
// Averaging in linear power: Rayleigh fading, constant levels, spikes, and whole conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "averaging/averaging_engine.h"
#include "support/test_files.h"
#include "tools/steady_drive.h"

namespace varistrum {
namespace {

constexpr double kDegreesPerMetre = 180.0 / (std::numbers::pi * 6378137.0);
constexpr double kOneMetreWaveMHz = 300.0;  // 40 m bins, samples at least 0.4 m apart

// The averages of both domains over the same samples: `perMetre` levels a metre northwards.
struct BothDomains {
    std::vector<double> db, linear;
};

template <class NextLevel>
BothDomains AverageBoth(int metres, int perMetre, NextLevel&& next) {
    AveragingEngine db, linear;
    linear.SetLinearPower(true);
    BothDomains out;
    for (AveragingEngine* engine : {&db, &linear}) {
        engine->StartAveraging(kOneMetreWaveMHz, kLambdaSampleSpacing, kLambdaBinLength);
        engine->AddPosition(0.0, 0.0);
    }
    for (int m = 1; m <= metres; ++m) {
        for (int i = 0; i < perMetre; ++i) {
            const double level = next();
            db.AddValue(level);
            linear.AddValue(level);
        }
        const double latitude = m * kDegreesPerMetre;
        db.AddPosition(latitude, 0.0);
        linear.AddPosition(latitude, 0.0);
        double lat = 0.0, lon = 0.0, value = 0.0;
        while (db.NextAveragedPoint(lat, lon, value) == 0) out.db.push_back(value);
        while (linear.NextAveragedPoint(lat, lon, value) == 0) out.linear.push_back(value);
    }
    return out;
}

// Under Rayleigh fading the power is exponentially distributed; the mean of its dB values lies
// 10 x Euler's constant / ln 10 = 2.507 dB below the dB value of its mean.
TEST(PowerAverageTest, RayleighFadingReadsAboutTwoAndAHalfDecibelsHigherInPower) {
    std::mt19937_64 random(20261208);
    const auto rayleighLevel = [&] {
        const double uniform = static_cast<double>(random() >> 11) * 0x1.0p-53;
        const double power = -std::log(1.0 - uniform);
        return std::max(-128.0, static_cast<double>(std::lround(-80.0 + 10.0 * std::log10(power))));
    };
    const BothDomains averages = AverageBoth(410000, 2, rayleighLevel);
    ASSERT_GE(averages.db.size(), 10000u);
    ASSERT_EQ(averages.db.size(), averages.linear.size());
    double difference = 0.0;
    for (std::size_t i = 0; i < averages.db.size(); ++i) {
        EXPECT_GE(averages.linear[i], averages.db[i]);  // a power mean is never below
        difference += averages.linear[i] - averages.db[i];
    }
    difference /= static_cast<double>(averages.db.size());
    EXPECT_NEAR(difference, 2.5, 0.2);
}

TEST(PowerAverageTest, ConstantLevelsGiveThemselvesInBothDomains) {
    for (const double level : {-128.0, -120.0, -70.0, -33.0, 0.0, 25.0, 127.0}) {
        const BothDomains averages = AverageBoth(200, 3, [&] { return level; });
        ASSERT_FALSE(averages.db.empty());
        for (std::size_t i = 0; i < averages.db.size(); ++i) {
            EXPECT_EQ(averages.db[i], level);
            EXPECT_EQ(averages.linear[i], level);
        }
    }
}

// One strong sample among weak ones moves the power mean far more than the dB mean.
TEST(PowerAverageTest, ASpikeRaisesThePowerMeanMost) {
    int count = 0;
    const BothDomains averages = AverageBoth(41, 2, [&] { return ++count == 40 ? -50.0 : -90.0; });
    ASSERT_FALSE(averages.db.empty());
    // The first bin holds 79 samples (the one on its start is not taken).
    EXPECT_NEAR(averages.db[0], (78 * -90.0 - 50.0) / 79, 1e-9);
    EXPECT_NEAR(averages.linear[0], 10 * std::log10((78e-9 + 1e-5) / 79), 1e-8);
    EXPECT_DOUBLE_EQ(PowerMeanDbm(MilliwattsOf(-70.0)), -70.0);
}

TEST(PowerAverageTest, ConversionsOfConstantLevelsAreTheSameInBothDomains) {
    sim::SteadyDriveOptions drive;
    drive.seconds = 120;
    drive.constantLevel = -77;
    const auto log = sim::SteadyDriveLog(drive);
    ConversionSettings settings = test::FieldSettings({5, 11, 0});
    settings.averageType = kAverageLambda;
    const std::string db = test::ConvertBytes(log, settings);
    settings.averageLinearPower = true;
    EXPECT_EQ(test::ConvertBytes(log, settings), db);
    EXPECT_GT(db.size(), 1000u);

    drive.constantLevel.reset();  // a ramp of levels: the domains differ
    const auto ramp = sim::SteadyDriveLog(drive);
    const std::string linearRamp = test::ConvertBytes(ramp, settings);
    settings.averageLinearPower = false;
    EXPECT_NE(linearRamp, test::ConvertBytes(ramp, settings));
}

}  // namespace
}  // namespace varistrum
