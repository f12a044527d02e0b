// SPDX-License-Identifier: GPL-3.0-or-later
// The Hata models against worked values, their choice by frequency, the refused environment and
// the range warnings.
#include "calibration/hata.h"

#include <gtest/gtest.h>

#include <cmath>

namespace varistrum {
namespace {

TEST(Hata, WorkedValues) {
    struct Case {
        double mhz, baseM, mobileM, distanceM;
        HataEnvironment environment;
        HataModel model;
        double db;
    } const cases[] = {
        // Base 30 m, mobile 1.5 m, 1 km.
        {900.0, 30.0, 1.5, 1000.0, HataEnvironment::Urban, HataModel::OkumuraHata, 126.40},
        {1800.0, 30.0, 1.5, 1000.0, HataEnvironment::Urban, HataModel::Cost231Hata, 136.20},
        {1800.0, 30.0, 1.5, 1000.0, HataEnvironment::Suburban, HataModel::Cost231Hata, 136.20},
        {1800.0, 30.0, 1.5, 1000.0, HataEnvironment::Metropolitan, HataModel::Cost231Hata, 139.20},
        // The same worked out by hand for the other corrections and distances.
        {900.0, 30.0, 1.5, 10000.0, HataEnvironment::Urban, HataModel::OkumuraHata, 161.63},
        {900.0, 30.0, 1.5, 1000.0, HataEnvironment::Suburban, HataModel::OkumuraHata, 116.46},
        {900.0, 30.0, 1.5, 1000.0, HataEnvironment::Open, HataModel::OkumuraHata, 97.90},
        {900.0, 30.0, 1.5, 1000.0, HataEnvironment::Metropolitan, HataModel::OkumuraHata, 126.42},
        {200.0, 30.0, 1.5, 1000.0, HataEnvironment::Metropolitan, HataModel::OkumuraHata, 109.34},
    };
    for (const Case& c : cases) {
        const auto terms = HataTermsFor(c.mhz, c.baseM, c.mobileM, c.environment);
        ASSERT_TRUE(terms) << c.mhz;
        EXPECT_EQ(terms->model, c.model) << c.mhz;
        EXPECT_NEAR(terms->PathLossDb(c.distanceM), c.db, 0.005)
            << c.mhz << " MHz " << HataEnvironmentName(c.environment) << " " << c.distanceM;
    }
}

TEST(Hata, ModelByFrequencyAndRefusals) {
    const std::pair<double, HataModel> bands[] = {
        {150.0, HataModel::OkumuraHata},  {1500.0, HataModel::OkumuraHata},
        {1500.5, HataModel::Cost231Hata}, {2000.0, HataModel::Cost231Hata},
        {2600.0, HataModel::Cost231Hata}, {80.0, HataModel::OkumuraHata}};
    for (const auto& [mhz, model] : bands) EXPECT_EQ(HataModelFor(mhz), model) << mhz;

    std::string refusal;
    EXPECT_FALSE(HataTermsFor(1800.0, 30.0, 1.5, HataEnvironment::Open, &refusal));
    EXPECT_NE(refusal.find("no open-area"), std::string::npos) << refusal;
    EXPECT_TRUE(HataTermsFor(900.0, 30.0, 1.5, HataEnvironment::Open));
    EXPECT_FALSE(HataTermsFor(900.0, 0.0, 1.5, HataEnvironment::Urban, &refusal));
    EXPECT_FALSE(HataTermsFor(900.0, 30.0, -1.0, HataEnvironment::Urban, &refusal));

    const std::pair<const char*, std::optional<HataEnvironment>> names[] = {
        {"urban", HataEnvironment::Urban}, {"suburban", HataEnvironment::Suburban},
        {"open", HataEnvironment::Open},   {"metropolitan", HataEnvironment::Metropolitan},
        {"Urban", std::nullopt},           {"", std::nullopt}};
    for (const auto& [text, environment] : names)
        EXPECT_EQ(ParseHataEnvironment(text), environment) << text;
}

TEST(Hata, RangeWarnings) {
    struct Case {
        HataModel model;
        double mhz, baseM, mobileM;
        std::vector<std::string> contains;
    } const cases[] = {
        {HataModel::OkumuraHata, 900.0, 30.0, 1.5, {}},
        {HataModel::OkumuraHata, 1500.0, 200.0, 10.0, {}},
        {HataModel::OkumuraHata, 100.0, 30.0, 1.5, {"100 MHz is outside Okumura-Hata's 150-1500"}},
        {HataModel::Cost231Hata,
         2400.0,
         30.0,
         1.5,
         {"2400 MHz is outside COST-231 Hata's 1500-2000"}},
        {HataModel::OkumuraHata, 900.0, 25.0, 0.5, {"25 m is outside", "0.5 m is outside"}},
        {HataModel::Cost231Hata, 1800.0, 250.0, 12.0, {"250 m", "12 m"}},
    };
    for (const Case& c : cases) {
        const auto warnings = HataRangeWarnings(c.model, c.mhz, c.baseM, c.mobileM);
        ASSERT_EQ(warnings.size(), c.contains.size()) << c.mhz;
        for (std::size_t i = 0; i < warnings.size(); ++i)
            EXPECT_NE(warnings[i].find(c.contains[i]), std::string::npos) << warnings[i];
    }
    EXPECT_EQ(HataDistanceWarning(0, 10), "");
    EXPECT_EQ(HataDistanceWarning(3, 10), "3 of 10 points lie outside the model's 1-20 km");
}

}  // namespace
}  // namespace varistrum
