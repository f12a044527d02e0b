// SPDX-License-Identifier: GPL-3.0-or-later
// Cells as a map draws them: each cell's corners on the map's world square and its value, for a
// binning's channel or for a comparison of two drives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bins/area_shares.h"
#include "bins/bin_comparison.h"
#include "bins/bin_statistic.h"
#include "bins/binning.h"
#include "map/web_mercator.h"

namespace varistrum {

// What a map's cells are coloured by: a level with the level ramp, or a difference between two
// drives with the diverging classes.
enum class CellColouring { Level, Difference };

struct MapCell {
    FixedPoint northWest;  // the corner nearest the world square's origin
    FixedPoint southEast;
    float value = 0.0f;  // dBm, or dB for a difference
};

struct MapCellLayer {
    std::vector<MapCell> cells;
    CellColouring colouring = CellColouring::Level;
    double cellMetres = 0.0;
    // For the legend: "cells of 25 m, linear mean", "cells of 25 m, B - A".
    std::string what;
    bool Empty() const { return cells.empty(); }
};

// The cells of a selection of a binning, valued by `statistic` (a level: linear mean, median, ...).
// Cells whose corners PROJ cannot place are left out.
MapCellLayer LevelCellsOf(const Binning& binning, const ChannelSelection& selection,
                          BinStatistic statistic);
// The cells both drives of a comparison cover, valued by B - A.
MapCellLayer DifferenceCellsOf(const BinComparison& comparison);

// "88.0 % of 1234 cells at or above -90 dBm", one line for each threshold of the ramp, weakest
// first.
std::vector<std::string> AreaShareLines(const AreaShares& shares, const LevelRamp& ramp);
// The comparison's figures as lines for a panel.
std::vector<std::string> ComparisonLines(const BinComparison& comparison);

}  // namespace varistrum
