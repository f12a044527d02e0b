// SPDX-License-Identifier: GPL-3.0-or-later
// The statistics a cell can show, by the names the outputs and options use.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bins/binning.h"

namespace varistrum {

enum class BinStatistic { LinearMean, DbMean, Median, Count, Std, Min, Max };

inline constexpr std::array<BinStatistic, 7> kAllBinStatistics = {
    BinStatistic::LinearMean, BinStatistic::DbMean, BinStatistic::Median, BinStatistic::Count,
    BinStatistic::Std,        BinStatistic::Min,    BinStatistic::Max};

// "linear-mean", "db-mean", "median", "count", "std", "min", "max".
std::string_view StatisticName(BinStatistic statistic);
// "dBm" for levels, "dB" for the spread, "" for the count.
std::string_view StatisticUnit(BinStatistic statistic);
// Whether the statistic is a level in dBm (coloured by the level ramp).
bool IsLevelStatistic(BinStatistic statistic);
double StatisticValue(const CellChannelStatistics& statistics, BinStatistic statistic);

// "linear-mean,count": names separated by commas, each once; nullopt with a message otherwise.
std::optional<std::vector<BinStatistic>> ParseStatistics(std::string_view list,
                                                         std::string* error = nullptr);
inline std::vector<BinStatistic> DefaultStatistics() {
    return {BinStatistic::LinearMean, BinStatistic::Count};
}

}  // namespace varistrum
