// SPDX-License-Identifier: GPL-3.0-or-later
// Output never depends on the process locale, also where the decimal mark is a comma.
#include <gtest/gtest.h>

#include <clocale>

#include "support/test_files.h"

namespace varistrum {
namespace {

TEST(LocaleTest, CommaDecimalLocaleGivesTheSameBytes) {
    test::TempDir dir;
    const std::string log = test::Simulate(dir, "mixed", 7, 60);
    const std::vector<std::uint8_t> bytes = [&] {
        const std::string text = test::ReadFile(log);
        return std::vector<std::uint8_t>(text.begin(), text.end());
    }();
    auto settings = test::FieldSettings({LatitudeDecimalDegrees, LongitudeDecimalMinutes,
                                         GpsAltitude, StepSize, MinFrequency, DataField},
                                        true);
    // With the filters on too: a distance in degrees of arc and a threshold with decimals.
    auto filtered = settings;
    filtered.dropStandingStill = true;
    filtered.standStill = {0.0005, DistanceUnit::Degrees, 20};
    filtered.threshold = true;
    filtered.thresholdRule = {ThresholdField::Rssi, Comparator::GreaterOrEqual, -95.5};
    const std::string plain = test::ConvertBytes(bytes, settings);
    const std::string plainFiltered = test::ConvertBytes(bytes, filtered);
    ASSERT_NE(plain.find('.'), std::string::npos);
    ASSERT_LT(plainFiltered.size(), plain.size());
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    const std::string german = test::ConvertBytes(bytes, settings);
    const std::string germanFiltered = test::ConvertBytes(bytes, filtered);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(german, plain);
    EXPECT_TRUE(germanFiltered == plainFiltered);
}

}  // namespace
}  // namespace varistrum
