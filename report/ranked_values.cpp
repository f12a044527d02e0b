// SPDX-License-Identifier: GPL-3.0-or-later
// Nearest-rank selection over values in a spill array.
#include "report/ranked_values.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

namespace varistrum {

namespace {

// Up to this many values are sorted in memory; more are selected by 16-bit digits, from the
// highest, with one count per digit value (512 KiB) and a pass over the values per digit.
constexpr std::size_t kSortedAtMost = 1 << 16;
constexpr int kDigitBits = 16;

}  // namespace

void RankedValues::Add(double value) {
    if (!(value > 0.0) || !std::isfinite(value)) value = 0.0;
    bits_.push_back(std::bit_cast<std::uint64_t>(value));
}

double RankedValues::NearestRank(double percent) const {
    const std::size_t size = bits_.size();
    if (size == 0) return 0.0;
    const double n = static_cast<double>(size);
    auto rank = static_cast<std::size_t>(percent / 100.0 * n);
    if (static_cast<double>(rank) < percent / 100.0 * n) ++rank;  // the ceiling
    rank = std::clamp<std::size_t>(rank, 1, size);
    if (size <= kSortedAtMost) {
        std::vector<std::uint64_t> sorted(size);
        bits_.CopyOut(0, size, sorted.data());
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(rank - 1),
                         sorted.end());
        return std::bit_cast<double>(sorted[rank - 1]);
    }
    // The digits known so far (`known` bits from the top) and the rank within the values that
    // share them.
    std::uint64_t prefix = 0;
    int known = 0;
    std::vector<std::size_t> counts(std::size_t{1} << kDigitBits);
    for (int shift = 64 - kDigitBits; shift >= 0; shift -= kDigitBits) {
        std::fill(counts.begin(), counts.end(), 0);
        for (std::size_t i = 0; i < size; ++i) {
            const std::uint64_t bits = bits_[i];
            if (known > 0 && bits >> (64 - known) != prefix) continue;
            ++counts[(bits >> shift) & ((std::uint64_t{1} << kDigitBits) - 1)];
        }
        std::size_t digit = 0;
        while (rank > counts[digit]) rank -= counts[digit++];
        prefix = prefix << kDigitBits | digit;
        known += kDigitBits;
    }
    return std::bit_cast<double>(prefix);
}

}  // namespace varistrum
