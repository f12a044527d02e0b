// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the point under the cursor and telling what it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "map/map_collector.h"

namespace varistrum {

// The drawn point of channel `group` nearest to `at`, within `radius` pixels; the last drawn
// (the one on top) of equally near ones.
std::optional<std::size_t> NearestPoint(const MapData& data, std::uint16_t group,
                                        const MapViewport& view, ScreenPoint at, double radius);

// The tooltip of a point: scan, time, channel, frequency, level and sample count, one a line.
std::string PointDescription(const MapData& data, std::uint16_t group, std::size_t index);

// "lat 52.520008, lon 13.404954" for the status bar.
std::string PositionText(GeoPosition position);

}  // namespace varistrum
