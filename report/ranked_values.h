// SPDX-License-Identifier: GPL-3.0-or-later
// Exact nearest-rank percentiles of any number of non-negative values (the speeds of a drive) in
// bounded memory: the values wait in a spill array, and a percentile is found digit by digit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/spill_array.h"

namespace varistrum {

class RankedValues {
  public:
    // A finite value of at least 0 (anything else counts as 0).
    void Add(double value);
    std::size_t Size() const { return bits_.size(); }
    // The nearest-rank percentile (0 < percent <= 100): the value a sorted list of them all
    // holds at rank ceil(percent / 100 * n); 0 for no values.
    double NearestRank(double percent) const;

  private:
    // Non-negative doubles sort as their bit patterns do.
    SpillArray<std::uint64_t> bits_;
};

}  // namespace varistrum
