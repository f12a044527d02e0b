// SPDX-License-Identifier: GPL-3.0-or-later
// Drive against drive: two binnings on one grid, B minus A cell by cell.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "bins/binning.h"

namespace varistrum {

// B is "better" or "worse" than A in a cell beyond this difference.
inline constexpr double kComparisonMarginDb = 3.0;

struct DifferenceCell {
    CellIndex cell;
    double differenceDb = 0.0;  // B's linear mean minus A's
    double meanADbm = 0.0, meanBDbm = 0.0;
    std::uint64_t countA = 0, countB = 0;
    int channelA = 0, channelB = 0;  // indices into each binning's Channels()
};

struct ComparisonSummary {
    std::int64_t cellsBoth = 0;
    std::int64_t cellsOnlyA = 0;
    std::int64_t cellsOnlyB = 0;
    std::int64_t cellsBetter = 0;  // B more than 3 dB stronger
    std::int64_t cellsWorse = 0;   // B more than 3 dB weaker
    // Not a number when no cell is covered by both.
    double meanDifferenceDb = std::numeric_limits<double>::quiet_NaN();
    double medianDifferenceDb = std::numeric_limits<double>::quiet_NaN();
    double shareBetter = std::numeric_limits<double>::quiet_NaN();  // of cellsBoth, 0 to 1
    double shareWorse = std::numeric_limits<double>::quiet_NaN();
};

// Compares the cells of one channel choice (a channel, or each cell's strongest in each drive).
// Both binnings must outlive the comparison.
class BinComparison {
  public:
    // nullopt with a message when the binnings are on different grids, drive A has no cell,
    // either drive lacks the chosen channel, or the drives have it on different frequencies.
    static std::optional<BinComparison> Make(const Binning& a, const Binning& b,
                                             const ChannelChoice& choice,
                                             std::string* error = nullptr);

    const ComparisonSummary& Summary() const { return summary_; }
    const BinGrid& Grid() const { return a_->Grid(); }
    const Binning& A() const { return *a_; }
    const Binning& B() const { return *b_; }
    // "strongest channel" or "channel 7 (851.0125 MHz)" (A's naming).
    std::string ChannelText() const { return a_->SelectionName(selectionA_); }
    // The cells both drives cover, in the order drive A entered them.
    void ForEachCell(const std::function<void(const DifferenceCell&)>& visit) const;
    // One cell's difference; nullopt where the drives do not both cover it.
    std::optional<DifferenceCell> Find(CellIndex cell) const;

    // The figures for scripts: a JSON object (no line break at its end).
    std::string Json() const;
    // The figures for people, one per line (LF), for a terminal.
    std::string Text() const;

  private:
    BinComparison() = default;
    const Binning* a_ = nullptr;
    const Binning* b_ = nullptr;
    ChannelSelection selectionA_, selectionB_;
    std::vector<CellIndex> both_;
    ComparisonSummary summary_;
};

}  // namespace varistrum
