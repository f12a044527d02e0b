// SPDX-License-Identifier: GPL-3.0-or-later
// Statistic names, units and values.
#include "bins/bin_statistic.h"

#include <algorithm>

namespace varistrum {

std::string_view StatisticName(BinStatistic statistic) {
    switch (statistic) {
        case BinStatistic::LinearMean:
            return "linear-mean";
        case BinStatistic::DbMean:
            return "db-mean";
        case BinStatistic::Median:
            return "median";
        case BinStatistic::Count:
            return "count";
        case BinStatistic::Std:
            return "std";
        case BinStatistic::Min:
            return "min";
        case BinStatistic::Max:
            return "max";
    }
    return "";
}

std::string_view StatisticUnit(BinStatistic statistic) {
    if (statistic == BinStatistic::Count) return "";
    return statistic == BinStatistic::Std ? "dB" : "dBm";
}

bool IsLevelStatistic(BinStatistic statistic) {
    return statistic != BinStatistic::Count && statistic != BinStatistic::Std;
}

double StatisticValue(const CellChannelStatistics& s, BinStatistic statistic) {
    switch (statistic) {
        case BinStatistic::LinearMean:
            return s.linearMeanDbm;
        case BinStatistic::DbMean:
            return s.dbMeanDbm;
        case BinStatistic::Median:
            return s.medianDbm;
        case BinStatistic::Count:
            return static_cast<double>(s.count);
        case BinStatistic::Std:
            return s.stdDb;
        case BinStatistic::Min:
            return s.minDbm;
        case BinStatistic::Max:
            return s.maxDbm;
    }
    return 0.0;
}

std::optional<std::vector<BinStatistic>> ParseStatistics(std::string_view list,
                                                         std::string* error) {
    std::vector<BinStatistic> statistics;
    const auto fail = [&](std::string message) -> std::optional<std::vector<BinStatistic>> {
        if (error != nullptr) *error = std::move(message);
        return std::nullopt;
    };
    while (true) {
        const std::size_t comma = list.find(',');
        std::string_view name = list.substr(0, comma);
        while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
        const auto known = std::find_if(kAllBinStatistics.begin(), kAllBinStatistics.end(),
                                        [&](BinStatistic s) { return StatisticName(s) == name; });
        if (known == kAllBinStatistics.end())
            return fail("unknown statistic \"" + std::string(name) +
                        "\": choose from linear-mean, db-mean, median, count, std, min, max");
        if (std::find(statistics.begin(), statistics.end(), *known) != statistics.end())
            return fail("statistic \"" + std::string(name) + "\" is named twice");
        statistics.push_back(*known);
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return statistics;
}

}  // namespace varistrum
