// SPDX-License-Identifier: GPL-3.0-or-later
// The title line of a saved map picture: what the picture shows and how it was made.
#pragma once

#include <cstdint>
#include <string>

#include "convert/conversion_settings.h"
#include "map/map_collector.h"

namespace varistrum {

// "drive.klf | scans 1-4, 7 | Strongest channel | 40-lambda averaging (dBm) | receiver 1 |
// GPS outages of 30 s or more dropped": the log's name, the scans that have points, the channel
// shown, the reduction, the receiver and the filters in force. The scans are named as
// numbers and ranges, at most a dozen, then their count.
std::string MapTitle(const std::string& logName, const MapData& data, std::uint16_t channel,
                     const ConversionSettings& settings);

}  // namespace varistrum
