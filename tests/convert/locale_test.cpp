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
    const std::string plain = test::ConvertBytes(bytes, settings);
    ASSERT_NE(plain.find('.'), std::string::npos);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    const std::string german = test::ConvertBytes(bytes, settings);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(german, plain);
}

}  // namespace
}  // namespace varistrum
