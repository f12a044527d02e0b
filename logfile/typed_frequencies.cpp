// SPDX-License-Identifier: GPL-3.0-or-later
// Frequency entry: ranges and checks, shared by the window's dialog and the command line.
#include "logfile/typed_frequencies.h"

#include <charconv>
#include <cmath>

#include "base/number_format.h"

namespace varistrum {

FrequencyRange ReceiverRange(const FrequencyPlan& plan) {
    return {plan.MinMHz(), plan.MaxMHz()};
}

std::string RangeText(const FrequencyRange& range) {
    std::string text("(");
    AppendFixed(text, range.lower, 5);
    text.append(" - ");
    AppendFixed(text, range.upper, 5);
    text.append(" MHz)");
    return text;
}

std::string ProposedFrequencyText(const FrequencyRange& range) {
    std::string text;
    AppendFixed(text, (range.lower + range.upper) * 0.5, 5);
    return text;
}

std::optional<std::string> EnterFrequencies(TavrelReader& reader, double rx1MHz, double rx2MHz) {
    const double values[2] = {rx1MHz, rx2MHz};
    for (int r = 0; r < 2; ++r) {
        if (!ReceiverRange(reader.State().plans[static_cast<std::size_t>(r)]).Contains(values[r])) {
            std::string text;
            AppendFixed(text, values[r], 4);
            return text + " is not in the range of the receiver.";
        }
    }
    reader.SetEnteredFrequencies(rx1MHz, rx2MHz);
    return std::nullopt;
}

std::optional<double> ParseFrequencyText(const std::string& text) {
    std::size_t begin = text.find_first_not_of(" \t");
    std::size_t end = text.find_last_not_of(" \t");
    if (begin == std::string::npos) return std::nullopt;
    const char* first = text.data() + begin;
    const char* last = text.data() + end + 1;
    if (*first == '+') {
        ++first;  // from_chars takes no '+'; a sign after it is not a number
        if (first == last || *first == '-' || *first == '+') return std::nullopt;
    }
    double value = 0.0;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != last || !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace varistrum
