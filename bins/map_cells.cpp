// SPDX-License-Identifier: GPL-3.0-or-later
// Cells onto the map's world square, in batches through PROJ.
#include "bins/map_cells.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "base/number_format.h"
#include "map/level_statistics.h"

namespace varistrum {

namespace {

constexpr std::size_t kBatch = 2048;

std::string MetresText(double metres) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, metres);
    return std::string(text, result.ptr);
}

// Places cells on the world square: collects them and projects their corners in batches.
class CellPlacer {
  public:
    CellPlacer(const BinGrid& grid, MapCellLayer& layer)
        : grid_(grid), layer_(layer), utm_(grid.zone) {
        x_.reserve(2 * kBatch);
        y_.reserve(2 * kBatch);
        values_.reserve(kBatch);
    }
    void Add(CellIndex cell, double value) {
        // The north-west and south-east corners.
        x_.push_back(grid_.West(cell));
        y_.push_back(grid_.North(cell));
        x_.push_back(grid_.East(cell));
        y_.push_back(grid_.South(cell));
        values_.push_back(static_cast<float>(value));
        if (values_.size() == kBatch) Flush();
    }
    void Flush() {
        if (values_.empty()) return;
        utm_.Unproject(x_.data(), y_.data(), x_.size());
        for (std::size_t i = 0; i < values_.size(); ++i) {
            const double west = x_[2 * i], north = y_[2 * i];
            const double east = x_[2 * i + 1], south = y_[2 * i + 1];
            if (!std::isfinite(west) || !std::isfinite(north) || !std::isfinite(east) ||
                !std::isfinite(south))
                continue;
            layer_.cells.push_back({ToFixed(ProjectToWorld(west, north)),
                                    ToFixed(ProjectToWorld(east, south)), values_[i]});
        }
        x_.clear();
        y_.clear();
        values_.clear();
    }

  private:
    const BinGrid& grid_;
    MapCellLayer& layer_;
    UtmProjector utm_;
    std::vector<double> x_, y_;
    std::vector<float> values_;
};

std::string PercentText(double share) {
    std::string text;
    AppendFixed(text, share * 100.0, 1);
    return text + " %";
}

}  // namespace

MapCellLayer LevelCellsOf(const Binning& binning, const ChannelSelection& selection,
                          BinStatistic statistic) {
    MapCellLayer layer;
    layer.colouring = CellColouring::Level;
    layer.cellMetres = binning.Grid().cellMetres;
    std::string name(StatisticName(statistic));
    for (char& c : name) c = c == '-' ? ' ' : c;  // "linear mean"
    layer.what = "cells of " + MetresText(layer.cellMetres) + " m, " + name;
    if (selection.strongest) layer.what += " of each cell's strongest channel";
    if (binning.Empty()) return layer;
    CellPlacer placer(binning.Grid(), layer);
    binning.ForEachSelected(selection, [&](CellIndex cell, int, const CellChannelStatistics& s) {
        placer.Add(cell, StatisticValue(s, statistic));
    });
    placer.Flush();
    return layer;
}

MapCellLayer DifferenceCellsOf(const BinComparison& comparison) {
    MapCellLayer layer;
    layer.colouring = CellColouring::Difference;
    layer.cellMetres = comparison.Grid().cellMetres;
    layer.what = "cells of " + MetresText(layer.cellMetres) + " m, " + comparison.ChannelText();
    CellPlacer placer(comparison.Grid(), layer);
    comparison.ForEachCell([&](const DifferenceCell& d) { placer.Add(d.cell, d.differenceDb); });
    placer.Flush();
    return layer;
}

std::vector<std::string> AreaShareLines(const AreaShares& shares, const LevelRamp& ramp) {
    std::vector<std::string> lines;
    for (int i = 0; i < LevelRamp::kBounds; ++i)
        lines.push_back(PercentText(shares.shareAtOrAbove[static_cast<std::size_t>(i)]) + " of " +
                        std::to_string(shares.cells) + " cells at or above " +
                        LevelText(ramp.Thresholds()[static_cast<std::size_t>(i)]) + " dBm");
    return lines;
}

std::vector<std::string> ComparisonLines(const BinComparison& comparison) {
    std::vector<std::string> lines;
    std::istringstream text(comparison.Text());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

}  // namespace varistrum
