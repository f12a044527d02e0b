// SPDX-License-Identifier: GPL-3.0-or-later
// Cells as a Cloud Optimized GeoTIFF: one Float32 band per statistic on the UTM grid, with a
// QGIS style file beside it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bins/bin_comparison.h"
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

// Writes `path` (a COG) and its style (StylePathFor(path)): the style colours band 1 with the
// ramp when it is a level, from light to dark blue when it is a count or a spread. False with
// a message when the binning has no cell, the choice names no channel of the drive, or the
// files cannot be written.
bool WriteCoverageRaster(const std::string& path, const Binning& binning,
                         const CoverageRasterRequest& request, std::string* error);

// Writes `path` (a COG) of the cells both drives cover: band 1 B - A in dB, bands 2 and 3 the
// samples of A and B; its style colours band 1 with the diverging classes.
bool WriteDifferenceRaster(const std::string& path, const BinComparison& comparison,
                           std::string* error);

}  // namespace varistrum
