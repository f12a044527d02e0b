// SPDX-License-Identifier: GPL-3.0-or-later
// Threshold: a row is written only when its level or its GPS speed, as the text writes it,
// meets a comparison with a value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "filters/row_stage.h"

namespace varistrum {

enum class ThresholdField : int { Rssi = 0, Velocity = 1 };
// In the order of the dialog's list: >, >=, =, <=, <.
enum class Comparator : int {
    Greater = 0,
    GreaterOrEqual = 1,
    Equal = 2,
    LessOrEqual = 3,
    Less = 4
};

struct ThresholdRule {
    ThresholdField field = ThresholdField::Rssi;
    Comparator comparator = Comparator::Greater;
    double value = -100.0;

    bool Meets(double measured) const;
    // "RSSI > -90", "Velocity >= 5"
    std::string Text() const;
    // Why the rule cannot be used (an unknown field or comparator, a value that is no finite
    // number); nullptr when it can.
    const char* Problem() const;
    bool operator==(const ThresholdRule&) const = default;
};

// ">", ">=", "=", "<=", "<"
const char* ComparatorText(Comparator comparator);

// The level a row writes: its best-server entry, its 40-lambda average, else the strongest of
// the levels its data block writes; nullopt when it writes none but "no level" (-120 dBm).
std::optional<int> WrittenLevel(const OutputRow& row);
// The whole miles per hour the "GPS Velocity (MPH)" field writes for the row's last GPS record;
// nullopt when that record holds no good fix (2D or 3D).
std::optional<double> WrittenVelocity(const OutputRow& row);

class ThresholdStage : public RowStage {
  public:
    explicit ThresholdStage(const ThresholdRule& rule) : rule_(rule) {}
    bool Pass(OutputRow& row) override;
    const ThresholdRule& Rule() const { return rule_; }
    // Rows that did not meet the rule so far.
    std::int64_t Dropped() const { return dropped_; }

  private:
    ThresholdRule rule_;
    std::int64_t dropped_ = 0;
};

}  // namespace varistrum
