// SPDX-License-Identifier: GPL-3.0-or-later
// Cell counts per level threshold.
#include "bins/area_shares.h"

namespace varistrum {

AreaShares CellSharesAtOrAbove(const Binning& binning, const ChannelSelection& selection,
                               const LevelRamp& ramp) {
    AreaShares shares;
    const LevelRamp::Bounds& bounds = ramp.Thresholds();
    binning.ForEachSelected(selection,
                            [&](CellIndex, int, const CellChannelStatistics& statistics) {
                                ++shares.cells;
                                for (int i = 0; i < LevelRamp::kBounds; ++i)
                                    if (statistics.linearMeanDbm >= bounds[i])
                                        ++shares.cellsAtOrAbove[i];
                            });
    if (shares.cells > 0) {
        for (int i = 0; i < LevelRamp::kBounds; ++i)
            shares.shareAtOrAbove[i] =
                static_cast<double>(shares.cellsAtOrAbove[i]) / static_cast<double>(shares.cells);
    }
    return shares;
}

}  // namespace varistrum
