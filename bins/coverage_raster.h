// SPDX-License-Identifier: GPL-3.0-or-later
// Cells as a Cloud Optimized GeoTIFF: one Float32 band per statistic on the UTM grid, with a
// QGIS style file beside it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/output_set.h"
#include "bins/bin_comparison.h"
#include "bins/bin_files.h"
#include "bins/bin_statistic.h"
#include "bins/binning.h"
#include "geodata/level_ramp.h"

namespace varistrum {

// The value of pixels outside the driven cells.
inline constexpr double kRasterNoData = -9999.0;
// The largest raster (columns x rows) written, about 16,000 x 16,000 cells (a minute or two to
// write): beyond, the drive's extent needs a larger cell or a GeoPackage.
inline constexpr std::int64_t kMaxRasterCells = std::int64_t{1} << 28;

struct CoverageRasterRequest {
    ChannelChoice channel;  // each cell's strongest channel by default
    std::vector<BinStatistic> statistics = DefaultStatistics();
    LevelRamp ramp;
};

// Writes the raster (a COG) and its style into the files `added` registered in `files` (the
// caller puts them in place with Commit): the style colours band 1 with the ramp when it is a
// level, from light to dark blue when it is a count or a spread. False with a message when the
// binning has no cell, the choice names no channel of the drive, or the files cannot be
// written.
bool WriteCoverageRaster(OutputSet& files, const CoverageFiles& added, const Binning& binning,
                         const CoverageRasterRequest& request, std::string* error);

// The raster of the cells both drives cover: band 1 B - A in dB, bands 2 and 3 the samples of
// A and B; its style colours band 1 with the diverging classes.
bool WriteDifferenceRaster(OutputSet& files, const CoverageFiles& added,
                           const BinComparison& comparison, std::string* error);

// The same into `path` and its style (StylePathFor(path)), a set of their own.
bool WriteCoverageRaster(const std::string& path, const Binning& binning,
                         const CoverageRasterRequest& request, std::string* error);
bool WriteDifferenceRaster(const std::string& path, const BinComparison& comparison,
                           std::string* error);

}  // namespace varistrum
