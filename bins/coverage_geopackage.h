// SPDX-License-Identifier: GPL-3.0-or-later
// Cells as a GeoPackage polygon layer `bins` (squares on the UTM grid) with every statistic as
// a field and a default QGIS style stored in the GeoPackage's `layer_styles` table.
#pragma once

#include <string>

#include "base/output_set.h"
#include "bins/bin_comparison.h"
#include "bins/bin_files.h"
#include "bins/binning.h"
#include "geodata/level_ramp.h"

namespace varistrum {

inline constexpr const char* kBinsLayer = "bins";

struct CoverageLayerRequest {
    ChannelChoice channel;  // each cell's strongest channel by default
    LevelRamp ramp;
};

// Writes the GeoPackage `added` registered in `files` (the caller puts it in place with
// Commit): one square per cell of the chosen channel, styled by its linear mean on the level
// ramp. False with a message when the binning has no cell, the choice names no channel of the
// drive, or the file cannot be written.
bool WriteCoverageGeoPackage(OutputSet& files, const CoverageFiles& added, const Binning& binning,
                             const CoverageLayerRequest& request, std::string* error);

// One square per cell both drives cover, with B - A, both means and both counts, styled with
// the diverging classes of the difference.
bool WriteDifferenceGeoPackage(OutputSet& files, const CoverageFiles& added,
                               const BinComparison& comparison, std::string* error);

// The same into `path`, a set of its own.
bool WriteCoverageGeoPackage(const std::string& path, const Binning& binning,
                             const CoverageLayerRequest& request, std::string* error);
bool WriteDifferenceGeoPackage(const std::string& path, const BinComparison& comparison,
                               std::string* error);

}  // namespace varistrum
