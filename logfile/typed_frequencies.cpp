// SPDX-License-Identifier: GPL-3.0-or-later
// Frequency entry: ranges and checks, shared by the window's dialog and the command line.
#include "logfile/typed_frequencies.h"

#include <charconv>
#include <cmath>
#include <limits>

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

std::uint32_t ChannelNumberOf(double frequencyMHz, double stepKHz) {
    if (!(stepKHz > 0.0) || !std::isfinite(stepKHz)) return 0;
    const double kHz = std::trunc(frequencyMHz * 1000 + 0.5);
    const double channel = std::trunc(kHz / stepKHz);
    if (!(channel > 0.0)) return 0;
    if (channel >= static_cast<double>(std::numeric_limits<std::uint32_t>::max()))
        return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(channel);
}

std::optional<FrequencyRefusal> CheckTypedFrequencies(const std::array<FrequencyPlan, 2>& plans,
                                                      double rx1MHz, double rx2MHz) {
    const double values[2] = {rx1MHz, rx2MHz};
    for (int r = 0; r < 2; ++r) {
        const FrequencyRange range = ReceiverRange(plans[static_cast<std::size_t>(r)]);
        if (!range.Contains(values[r])) return FrequencyRefusal{r + 1, values[r], range};
    }
    return std::nullopt;
}

TypedFrequencies TypedFrequenciesOf(const std::array<FrequencyPlan, 2>& plans, double rx1MHz,
                                    double rx2MHz) {
    return {
        rx1MHz,
        rx2MHz,
        {ChannelNumberOf(rx1MHz, plans[0].StepKHz()), ChannelNumberOf(rx2MHz, plans[1].StepKHz())}};
}

std::string RangeRefusalText(const FrequencyRefusal& refusal) {
    std::string text;
    AppendFixed(text, refusal.mhz, 4);
    return text + " is not in the range of the receiver.";
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
