// SPDX-License-Identifier: GPL-3.0-or-later
// The frequency entry model: receiver ranges, the proposed values and the checks of typed ones.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "logfile/records.h"
#include "logfile/typed_codes.h"

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

// Channel code of a frequency typed in MHz for a plan step in kHz: rounded to whole kHz,
// then down to a multiple of the step. A step of 0 gives 0.
std::uint32_t ChannelNumberOf(double frequencyMHz, double stepKHz);

// Receiver frequencies typed in for logs that lack them: the values (MHz) and their channel
// codes under the plans they were typed against.
struct TypedFrequencies {
    double receiver1MHz = 0.0;
    double receiver2MHz = 0.0;
    TypedCodes codes;
};

// A typed frequency outside its receiver's range: the first of receiver 1, then receiver 2.
struct FrequencyRefusal {
    int receiver = 1;
    double mhz = 0.0;
    FrequencyRange range;
};

// Checks receiver 1, then receiver 2, against the plans' ranges (both bounds belong to them).
std::optional<FrequencyRefusal> CheckTypedFrequencies(const std::array<FrequencyPlan, 2>& plans,
                                                      double rx1MHz, double rx2MHz);
// The values with their channel codes: rounded to whole kHz, then down to the plan's step.
TypedFrequencies TypedFrequenciesOf(const std::array<FrequencyPlan, 2>& plans, double rx1MHz,
                                    double rx2MHz);
// "%.4f is not in the range of the receiver."
std::string RangeRefusalText(const FrequencyRefusal& refusal);

// A decimal number typed by the user (a '.' decimal point; blanks around it allowed).
std::optional<double> ParseFrequencyText(const std::string& text);

}  // namespace varistrum
