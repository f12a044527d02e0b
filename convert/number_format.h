// Locale-free number formatting that gives exactly what printf's %d, %0Nd, %u and %.Nf give.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>

namespace varistrum {

// "%0*d": zero-padded to `width` characters, the sign counted in the width.
inline void AppendInt(std::string& out, std::int64_t value, int width = 0) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    const int length = static_cast<int>(result.ptr - digits);
    if (length >= width) {
        out.append(digits, result.ptr);
        return;
    }
    const bool negative = value < 0;
    if (negative) out.push_back('-');
    out.append(static_cast<std::size_t>(width - length), '0');
    out.append(digits + (negative ? 1 : 0), result.ptr);
}

// "%.<precision>f": correctly rounded, exactly as glibc's printf rounds.
inline void AppendFixed(std::string& out, double value, int precision) {
    char text[400];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision);
    out.append(text, result.ptr);
}

}  // namespace varistrum
