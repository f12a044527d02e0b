// SPDX-License-Identifier: GPL-3.0-or-later
// Coverage by area: the share of cells at or above each level threshold.
#pragma once

#include <array>
#include <cstdint>

#include "bins/binning.h"
#include "geodata/level_ramp.h"

namespace varistrum {

struct AreaShares {
    std::int64_t cells = 0;  // cells where the selection has a level
    // Per threshold of the ramp, weakest first: cells whose linear mean is at or above it.
    std::array<std::int64_t, LevelRamp::kBounds> cellsAtOrAbove{};
    // The same as shares of `cells` (0 to 1); 0 when there is no cell.
    std::array<double, LevelRamp::kBounds> shareAtOrAbove{};
};

// The cells of one channel (or of each cell's strongest) counted against the ramp's
// thresholds by their linear means.
AreaShares CellSharesAtOrAbove(const Binning& binning, const ChannelSelection& selection,
                               const LevelRamp& ramp);

}  // namespace varistrum
