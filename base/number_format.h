// SPDX-License-Identifier: GPL-3.0-or-later
// Locale-free number formatting that gives exactly what printf's %d, %0Nd, %u and %.Nf give,
// and the locale-free reading of decimal numbers that people type.
#pragma once

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace varistrum {

// Longest text WriteInt can give: 20 characters of int64 or a zero-padded width (at most 24).
inline constexpr std::size_t kMaxIntText = 24;
// Longest text WriteFixed can give: 309 integer digits of the largest double, sign, point and
// a precision of up to 80.
inline constexpr std::size_t kMaxFixedText = 400;

// "%0*d" into `at` (room for kMaxIntText): zero-padded to `width` characters, the sign counted
// in the width. Returns the end of the text. Widths above 23 are taken as 23.
inline char* WriteInt(char* at, std::int64_t value, int width = 0) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    const int length = static_cast<int>(result.ptr - digits);
    if (width > static_cast<int>(kMaxIntText) - 1) width = static_cast<int>(kMaxIntText) - 1;
    if (length >= width) {
        std::memcpy(at, digits, static_cast<std::size_t>(length));
        return at + length;
    }
    const char* first = digits;
    if (value < 0) {
        *at++ = '-';
        ++first;
    }
    const auto padding = static_cast<std::size_t>(width - length);
    std::memset(at, '0', padding);
    return std::copy(first, static_cast<const char*>(result.ptr), at + padding);
}

// "%.<precision>f" into `at` (room for kMaxFixedText): correctly rounded, exactly as glibc's
// printf rounds. Returns the end of the text.
inline char* WriteFixed(char* at, double value, int precision) {
    return std::to_chars(at, at + kMaxFixedText, value, std::chars_format::fixed, precision).ptr;
}

// "%0*d": zero-padded to `width` characters, the sign counted in the width.
inline void AppendInt(std::string& out, std::int64_t value, int width = 0) {
    char text[kMaxIntText];
    out.append(text, WriteInt(text, value, width));
}

// "%.<precision>f": correctly rounded, exactly as glibc's printf rounds.
inline void AppendFixed(std::string& out, double value, int precision) {
    char text[kMaxFixedText];
    out.append(text, WriteFixed(text, value, precision));
}

// "%d" texts of -128..127 (every RSSI level), so the data block copies instead of converting.
class ByteIntTexts {
  public:
    constexpr ByteIntTexts() {
        for (int v = -128; v < 128; ++v) {
            Entry& e = entries_[static_cast<std::size_t>(v + 128)];
            int magnitude = v < 0 ? -v : v;
            char reversed[3] = {};
            int digits = 0;
            do {
                reversed[digits++] = static_cast<char>('0' + magnitude % 10);
                magnitude /= 10;
            } while (magnitude > 0);
            int at = 0;
            if (v < 0) e.text[at++] = '-';
            while (digits > 0) e.text[at++] = reversed[--digits];
            e.length = static_cast<std::uint8_t>(at);
        }
    }
    // Writes the text of `value` at `at` (room for 4 bytes); returns its end.
    char* Write(char* at, std::int8_t value) const {
        const Entry& e = entries_[static_cast<std::size_t>(value + 128)];
        std::memcpy(at, e.text, 4);  // always 4 bytes: one fixed-size copy
        return at + e.length;
    }

  private:
    struct Entry {
        char text[4] = {};
        std::uint8_t length = 0;
    };
    std::array<Entry, 256> entries_{};
};

inline constexpr ByteIntTexts kByteIntTexts{};

// The shortest text without an exponent that reads back as `value` ("0.0005", "-100", "2.5"),
// with '.' whatever the locale.
inline void AppendShortest(std::string& out, double value) {
    char text[kMaxFixedText];
    out.append(text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr);
}
inline std::string ShortestText(double value) {
    std::string text;
    AppendShortest(text, value);
    return text;
}

// A decimal number as a person types it, whatever the locale: blanks around it, an optional
// sign, digits with an optional '.' (".0005"), an optional exponent. nullopt for any other text
// (a decimal comma included) and for infinities and NaN.
inline std::optional<double> ParseDecimal(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return std::nullopt;
    text = text.substr(begin, text.find_last_not_of(" \t") + 1 - begin);
    if (text.front() == '+') {
        text.remove_prefix(1);  // from_chars takes no '+'; a sign after it is not a number
        if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
    }
    double value = 0.0;
    const char* last = text.data() + text.size();
    const auto result = std::from_chars(text.data(), last, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != last || !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace varistrum
