// SPDX-License-Identifier: GPL-3.0-or-later
// Simulated input files of the micro-benchmarks and a reader set up as a conversion sets it up.
#pragma once

#include <string>

#include "convert/conversion_settings.h"
#include "logfile/tavrel_reader.h"

namespace varistrum::bench {

// Path of a simulated log of the scenario ("bench", "table", ...) of about `sizeMb` MiB (or, for
// sizeMb 0, of `seconds` of driving), written once per program run into a temporary folder.
std::string SimulatedFile(const std::string& scenario, double sizeMb, double seconds = 600);

// The typical field set: latitude and longitude in decimal degrees, GPS time, record number
// and the "<< DATA >>" block with frequency and RSSI.
ConversionSettings TypicalSettings();

// Prepares `reader` for a conversion with `settings` and opens `path` (as ConvertFile does).
bool OpenForConversion(TavrelReader& reader, const std::string& path,
                       const ConversionSettings& settings);

}  // namespace varistrum::bench
