// SPDX-License-Identifier: GPL-3.0-or-later
// Cell-by-cell differences of two drives and their summary.
#include "bins/bin_comparison.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "base/number_format.h"

namespace varistrum {

std::optional<BinComparison> BinComparison::Make(const Binning& a, const Binning& b,
                                                 const ChannelChoice& choice, std::string* error) {
    const auto fail = [&](std::string message) -> std::optional<BinComparison> {
        if (error != nullptr) *error = std::move(message);
        return std::nullopt;
    };
    if (a.Empty()) return fail("drive A: " + a.WhyEmpty());
    if (!(a.Grid().zone == b.Grid().zone) || a.Grid().cellMetres != b.Grid().cellMetres)
        return fail("the drives were binned on different grids (UTM zone " + a.Grid().zone.Name() +
                    " and " + b.Grid().zone.Name() + "): bin drive B on drive A's grid");
    std::string problem;
    const auto selectionA = a.Select(choice, &problem);
    if (!selectionA) return fail("drive A: " + problem);
    const auto selectionB = b.Select(choice, &problem);
    if (!selectionB) return fail("drive B: " + problem);
    if (!choice.strongest && !(a.Channels()[static_cast<std::size_t>(selectionA->channel)] ==
                               b.Channels()[static_cast<std::size_t>(selectionB->channel)]))
        return fail("drive A has " + a.ChannelName(selectionA->channel) + ", drive B " +
                    b.ChannelName(selectionB->channel) + ": say which frequency");

    BinComparison comparison;
    comparison.a_ = &a;
    comparison.b_ = &b;
    comparison.selectionA_ = *selectionA;
    comparison.selectionB_ = *selectionB;
    ComparisonSummary& summary = comparison.summary_;
    std::vector<double> differences;
    double sum = 0.0;
    a.ForEachSelected(*selectionA, [&](CellIndex cell, int, const CellChannelStatistics& inA) {
        const auto inB = b.FindSelected(cell, *selectionB);
        if (!inB) {
            ++summary.cellsOnlyA;
            return;
        }
        const double difference = inB->linearMeanDbm - inA.linearMeanDbm;
        comparison.both_.push_back(cell);
        differences.push_back(difference);
        sum += difference;
        if (difference > kComparisonMarginDb) ++summary.cellsBetter;
        if (difference < -kComparisonMarginDb) ++summary.cellsWorse;
    });
    b.ForEachSelected(*selectionB, [&](CellIndex cell, int, const CellChannelStatistics&) {
        if (!a.FindSelected(cell, *selectionA)) ++summary.cellsOnlyB;
    });
    summary.cellsBoth = static_cast<std::int64_t>(differences.size());
    if (!differences.empty()) {
        const double n = static_cast<double>(differences.size());
        summary.meanDifferenceDb = sum / n;
        std::sort(differences.begin(), differences.end());
        const std::size_t middle = differences.size() / 2;
        summary.medianDifferenceDb = differences.size() % 2
                                         ? differences[middle]
                                         : (differences[middle - 1] + differences[middle]) / 2;
        summary.shareBetter = static_cast<double>(summary.cellsBetter) / n;
        summary.shareWorse = static_cast<double>(summary.cellsWorse) / n;
    }
    return comparison;
}

std::optional<DifferenceCell> BinComparison::Find(CellIndex cell) const {
    DifferenceCell d;
    d.cell = cell;
    const auto inA = a_->FindSelected(cell, selectionA_, &d.channelA);
    if (!inA) return std::nullopt;
    const auto inB = b_->FindSelected(cell, selectionB_, &d.channelB);
    if (!inB) return std::nullopt;
    d.meanADbm = inA->linearMeanDbm;
    d.meanBDbm = inB->linearMeanDbm;
    d.differenceDb = d.meanBDbm - d.meanADbm;
    d.countA = inA->count;
    d.countB = inB->count;
    return d;
}

void BinComparison::ForEachCell(const std::function<void(const DifferenceCell&)>& visit) const {
    for (const CellIndex cell : both_) visit(*Find(cell));
}

std::string BinComparison::Json() const {
    const ComparisonSummary& s = summary_;
    const auto number = [](double value) {
        return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
    };
    nlohmann::ordered_json json;
    json["grid"] = {{"utm_zone", Grid().zone.Name()},
                    {"epsg", Grid().zone.Epsg()},
                    {"cell_m", Grid().cellMetres}};
    json["channel"] = ChannelText();
    json["cells_both"] = s.cellsBoth;
    json["cells_only_a"] = s.cellsOnlyA;
    json["cells_only_b"] = s.cellsOnlyB;
    json["mean_difference_db"] = number(s.meanDifferenceDb);
    json["median_difference_db"] = number(s.medianDifferenceDb);
    json["margin_db"] = kComparisonMarginDb;
    json["cells_better"] = s.cellsBetter;
    json["cells_worse"] = s.cellsWorse;
    json["share_better"] = number(s.shareBetter);
    json["share_worse"] = number(s.shareWorse);
    return json.dump(2);
}

std::string BinComparison::Text() const {
    const ComparisonSummary& s = summary_;
    const auto signedDb = [](std::string& text, double value) {
        if (!std::isfinite(value)) {
            text += "-";
            return;
        }
        if (value >= 0) text += '+';
        AppendFixed(text, value, 2);
        text += " dB";
    };
    const auto percent = [](std::string& text, double share) {
        if (!std::isfinite(share)) {
            text += "-";
            return;
        }
        AppendFixed(text, share * 100.0, 1);
        text += " %";
    };
    std::string text = "cells both drives cover: " + std::to_string(s.cellsBoth) +
                       " (only A: " + std::to_string(s.cellsOnlyA) +
                       ", only B: " + std::to_string(s.cellsOnlyB) + "; " + ChannelText() + ")\n";
    text += "mean difference B - A: ";
    signedDb(text, s.meanDifferenceDb);
    text += "\nmedian difference B - A: ";
    signedDb(text, s.medianDifferenceDb);
    text += "\nB more than 3 dB stronger: ";
    percent(text, s.shareBetter);
    text += " of the cells both cover (" + std::to_string(s.cellsBetter) + ")";
    text += "\nB more than 3 dB weaker: ";
    percent(text, s.shareWorse);
    text += " of the cells both cover (" + std::to_string(s.cellsWorse) + ")\n";
    return text;
}

}  // namespace varistrum
