// SPDX-License-Identifier: GPL-3.0-or-later
// QGIS styles (QML documents) of the binning's outputs: the level ramp for levels, a blue
// gradient for counts and spreads, and a diverging ramp for differences between drives.
#pragma once

#include <string>
#include <string_view>

#include "geodata/level_ramp.h"

namespace varistrum {

// The classes of a difference B - A, weakest B first: red where B is weaker (as red means weak
// on the level ramp), white within 1 dB, blue where B is stronger.
inline constexpr int kDifferenceClasses = 7;
int DifferenceClassOf(double differenceDb);
RgbColour DifferenceColour(int differenceClass);
// "B more than 6 dB weaker", ..., "within 1 dB", ..., "B more than 6 dB stronger".
std::string DifferenceLabel(int differenceClass);

// A raster style colouring band 1 with the ramp's six stepped bands.
std::string LevelRasterStyle(const LevelRamp& ramp);
// A raster style colouring band 1 from light (minimum) to dark blue (maximum).
std::string GradientRasterStyle(double minimum, double maximum);
// A raster style colouring band 1, a difference in dB, with the diverging classes.
std::string DifferenceRasterStyle();

// A polygon style: the level ramp's bands of the field (a level in dBm), each band holding its
// lower bound as on the map.
std::string LevelPolygonStyle(const LevelRamp& ramp, std::string_view field);
// A polygon style: the diverging classes of the field (a difference in dB).
std::string DifferencePolygonStyle(std::string_view field);

}  // namespace varistrum
