// SPDX-License-Identifier: GPL-3.0-or-later
// The threshold on the written level or speed of each row.
#include "filters/threshold_stage.h"

#include <charconv>
#include <cmath>

#include "base/number_format.h"

namespace varistrum {

namespace {

// Whether the text writes a level in slot `j` of a row's data block (the slot writer's rule).
bool WritesLevel(const OutputRow& row, int j) {
    const bool table = row.dataMode == DataKind::Table;
    const std::uint32_t code = row.CodeAt(j);
    if (row.TableChannelAt(j) == 0 && code == 0 && !table) return false;
    return row.placed || code != 0 || table;
}

std::optional<int> Level(int level) {
    if (level == kNoLevel) return std::nullopt;
    return level;
}

}  // namespace

const char* ComparatorText(Comparator comparator) {
    switch (comparator) {
        case Comparator::Greater:
            return ">";
        case Comparator::GreaterOrEqual:
            return ">=";
        case Comparator::Equal:
            return "=";
        case Comparator::LessOrEqual:
            return "<=";
        case Comparator::Less:
            return "<";
    }
    return "?";
}

bool ThresholdRule::Meets(double measured) const {
    switch (comparator) {
        case Comparator::Greater:
            return measured > value;
        case Comparator::GreaterOrEqual:
            return measured >= value;
        case Comparator::Equal:
            return measured == value;
        case Comparator::LessOrEqual:
            return measured <= value;
        case Comparator::Less:
            return measured < value;
    }
    return false;
}

std::string ThresholdRule::Text() const {
    std::string text = field == ThresholdField::Velocity ? "Velocity " : "RSSI ";
    text += ComparatorText(comparator);
    text += ' ';
    AppendShortest(text, value);
    return text;
}

const char* ThresholdRule::Problem() const {
    if (field != ThresholdField::Rssi && field != ThresholdField::Velocity)
        return "The threshold's field must be RSSI or Velocity.";
    if (static_cast<int>(comparator) < 0 || static_cast<int>(comparator) > 4)
        return "The threshold's comparison must be >, >=, =, <= or <.";
    if (!std::isfinite(value)) return "The threshold's value must be a number.";
    return nullptr;
}

std::optional<int> WrittenLevel(const OutputRow& row) {
    int firstSlot = 0, lastSlot = row.lastSlot;
    switch (row.dataMode) {
        case DataKind::Samples:
            break;
        case DataKind::List:
            if (row.bestSlot >= 0) firstSlot = lastSlot = row.bestSlot;
            break;
        case DataKind::Table:
            if (row.bestTableEntry) return Level(row.sweepRssi);
            break;
        default:
            return std::nullopt;
    }
    std::optional<int> strongest;
    for (int j = firstSlot; j <= lastSlot; ++j) {
        if (!WritesLevel(row, j)) continue;
        const int level = row.LevelAt(j);
        if (level != kNoLevel && (!strongest || level > *strongest)) strongest = level;
    }
    return strongest;
}

std::optional<double> WrittenVelocity(const OutputRow& row) {
    if (!row.gps->HasFix()) return std::nullopt;
    // The field's own text read back, so that the comparison sees exactly the written number.
    char text[kMaxFixedText];
    char* end = WriteFixed(text, row.gps->SpeedMph(), 0);
    double written = 0.0;
    std::from_chars(text, end, written);
    return written;
}

bool ThresholdStage::Pass(OutputRow& row) {
    std::optional<double> measured;
    if (rule_.field == ThresholdField::Velocity) {
        measured = WrittenVelocity(row);
    } else if (const std::optional<int> level = WrittenLevel(row)) {
        measured = *level;
    }
    if (measured && rule_.Meets(*measured)) return true;
    ++dropped_;
    return false;
}

}  // namespace varistrum
