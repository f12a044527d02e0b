// SPDX-License-Identifier: GPL-3.0-or-later
// The frequency entry model: receiver ranges, the proposed values and the checks of typed ones.
#pragma once

#include <optional>
#include <string>

#include "logfile/tavrel_reader.h"

namespace varistrum {

struct FrequencyRange {
    double lower = 0.0;  // MHz, both bounds belong to the range
    double upper = 0.0;
    bool Contains(double mhz) const { return mhz >= lower && !(mhz > upper); }
};

FrequencyRange ReceiverRange(const FrequencyPlan& plan);

// "(%.5f - %.5f MHz)"
std::string RangeText(const FrequencyRange& range);
// The middle of the range as "%.5f".
std::string ProposedFrequencyText(const FrequencyRange& range);

inline constexpr char kFrequencyExplanation[] =
    "Frequency information was not found  for the scan which is to be converted. If you know the "
    "frequencies, please enter them below. 40 lambda processing can not be done without this "
    "information being correct and the file will not convert.";

// Checks receiver 1, then receiver 2, against their ranges; stores both only when both pass.
// Returns the refusal text ("%.4f is not in the range of the receiver.") otherwise.
std::optional<std::string> EnterFrequencies(TavrelReader& reader, double rx1MHz, double rx2MHz);

// A decimal number typed by the user (a '.' decimal point; blanks around it allowed).
std::optional<double> ParseFrequencyText(const std::string& text);

}  // namespace varistrum
