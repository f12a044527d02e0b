// SPDX-License-Identifier: GPL-3.0-or-later
// Packing of ISO 8601 times: the fourteen digits, the fraction and its length, the zone mark.
#include "map/time_code.h"

#include "base/number_format.h"

namespace varistrum {

namespace {

// Bits: digits YYYYMMDDhhmmss (47) | fraction (10) | fraction length (2) | Z (1) | valid (1).
constexpr int kFractionShift = 47;
constexpr int kLengthShift = 57;
constexpr int kZoneShift = 59;
constexpr int kValidShift = 60;
constexpr std::string_view kLayout = "0000-00-00T00:00:00";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::uint64_t PackTime(std::string_view iso) {
    if (iso.size() < kLayout.size()) return 0;
    std::uint64_t digits = 0;
    for (std::size_t i = 0; i < kLayout.size(); ++i) {
        if (kLayout[i] == '0') {
            if (!IsDigit(iso[i])) return 0;
            digits = digits * 10 + static_cast<std::uint64_t>(iso[i] - '0');
        } else if (iso[i] != kLayout[i]) {
            return 0;
        }
    }
    std::size_t at = kLayout.size();
    std::uint64_t fraction = 0, length = 0;
    if (at < iso.size() && iso[at] == '.') {
        for (++at; at < iso.size() && IsDigit(iso[at]); ++at) {
            if (++length > 3) return 0;
            fraction = fraction * 10 + static_cast<std::uint64_t>(iso[at] - '0');
        }
        if (length == 0) return 0;
    }
    std::uint64_t zone = 0;
    if (at < iso.size() && iso[at] == 'Z') {
        zone = 1;
        ++at;
    }
    if (at != iso.size()) return 0;
    return digits | fraction << kFractionShift | length << kLengthShift | zone << kZoneShift |
           std::uint64_t{1} << kValidShift;
}

std::string UnpackTime(std::uint64_t code) {
    if ((code >> kValidShift & 1) == 0) return {};
    std::uint64_t digits = code & ((std::uint64_t{1} << kFractionShift) - 1);
    std::string text(kLayout);
    for (std::size_t i = kLayout.size(); i-- > 0;) {
        if (kLayout[i] != '0') continue;
        text[i] = static_cast<char>('0' + digits % 10);
        digits /= 10;
    }
    const auto length = static_cast<int>(code >> kLengthShift & 3);
    if (length > 0) {
        text += '.';
        AppendInt(text, static_cast<std::int64_t>(code >> kFractionShift & 1023), length);
    }
    if ((code >> kZoneShift & 1) != 0) text += 'Z';
    return text;
}

}  // namespace varistrum
