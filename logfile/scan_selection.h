// SPDX-License-Identifier: GPL-3.0-or-later
// How the decoder learns whether the user checked a scan of the index tree.
#pragma once

#include <optional>
#include <vector>

namespace varistrum {

class ScanSelection {
  public:
    virtual ~ScanSelection() = default;
    // Check state of scan n (1-based); nullopt when the scan has no tree entry.
    virtual std::optional<bool> ScanChecked(int scanIndex) const = 0;
};

// A frozen copy of the check states, taken when a conversion starts.
class ScanSelectionSnapshot : public ScanSelection {
  public:
    ScanSelectionSnapshot() = default;
    // states[n] for scan n: -1 no entry, 0 unchecked, 1 checked (index 0 unused).
    explicit ScanSelectionSnapshot(std::vector<signed char> states) : states_(std::move(states)) {}

    // states[n] of every scan, as given.
    const std::vector<signed char>& States() const { return states_; }

    std::optional<bool> ScanChecked(int scanIndex) const override {
        if (scanIndex < 0 || static_cast<std::size_t>(scanIndex) >= states_.size())
            return std::nullopt;
        const signed char s = states_[static_cast<std::size_t>(scanIndex)];
        if (s < 0) return std::nullopt;
        return s != 0;
    }

  private:
    std::vector<signed char> states_;
};

}  // namespace varistrum
