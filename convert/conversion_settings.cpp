// SPDX-License-Identifier: GPL-3.0-or-later
// Delimiter and validity of the conversion settings.
#include "convert/conversion_settings.h"

#include <charconv>
#include <string_view>

namespace varistrum {

char ConversionSettings::Delimiter() const {
    switch (delimiterChoice) {
        case kComma:
            return ',';
        case kSemiColon:
            return ';';
        case kTab:
            return '\t';
        case kSpace:
            return ' ';
        case kOther:
            return otherDelimiter.empty() ? '\0' : otherDelimiter[0];
        default:
            return '@';
    }
}

std::optional<std::string> ConversionSettings::OtherDelimiterLengthProblem(std::string_view text) {
    // The delimiter is one byte: an empty Other text would write NUL bytes between the fields,
    // and a character beyond ASCII takes more than one byte.
    if (text.size() != 1) return "The Other delimiter must be a single ASCII character.";
    return std::nullopt;
}

std::optional<std::string> ConversionSettings::Problem() const {
    if (delimiterChoice == kOther) {
        if (auto problem = OtherDelimiterLengthProblem(otherDelimiter)) return problem;
    }
    // Such a delimiter would split or join the numbers of the data block, or the quotes.
    if (delimiterChoice == kOther &&
        std::string_view("0123456789.-+\"").find(otherDelimiter[0]) != std::string_view::npos)
        return "The Other delimiter cannot be a digit, '.', '-', '+' or '\"'.";
    if (dropOutages && (outageSeconds < 1 || outageSeconds > 86400))
        return "The GPS outage must be a whole number of seconds from 1 to 86400.";
    if (dropStandingStill) {
        if (const char* problem = standStill.Problem()) return problem;
    }
    if (threshold) {
        if (const char* problem = thresholdRule.Problem()) return problem;
    }
    return std::nullopt;
}

std::optional<int> ParseOutageSeconds(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end || value < 1 || value > 86400)
        return std::nullopt;
    return value;
}

}  // namespace varistrum
