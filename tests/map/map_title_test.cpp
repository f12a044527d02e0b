// SPDX-License-Identifier: GPL-3.0-or-later
// The saved map's title line names the filters the points went through.
#include "map/map_title.h"

#include <gtest/gtest.h>

namespace varistrum {
namespace {

TEST(MapTitleTest, NamesTheFiltersThatAreOn) {
    const MapData data;
    ConversionSettings settings;
    const std::string plain = MapTitle("drive.klf", data, MapChannels::kStrongest, settings);
    EXPECT_EQ(plain, "drive.klf | no scans | Strongest channel | no averaging | receiver 1");
    settings.dropStandingStill = true;
    settings.standStill = {0.0005, DistanceUnit::Degrees, 30};
    settings.threshold = true;
    settings.thresholdRule = {ThresholdField::Velocity, Comparator::GreaterOrEqual, 5};
    EXPECT_EQ(MapTitle("drive.klf", data, MapChannels::kStrongest, settings),
              plain + " | standing still dropped (0.0005 deg, 30 s) | Velocity >= 5");
}

}  // namespace
}  // namespace varistrum
