// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-8 validation with replacement.
#include "base/utf8_text.h"

#include <cstddef>

namespace varistrum {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the well-formed character at `at`; when its bytes start none, minus the length
// of the ill-formed part to replace by one U+FFFD (the longest start of a character, at least
// its first byte).
std::ptrdiff_t CharacterLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return -1;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const bool fits =
            at + i < text.size() &&
            (i == 1 ? byte(at + i) >= low && byte(at + i) <= high : (byte(at + i) & 0xC0) == 0x80);
        if (!fits) return -static_cast<std::ptrdiff_t>(i);
    }
    return static_cast<std::ptrdiff_t>(length);
}

}  // namespace

std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::ptrdiff_t length = CharacterLength(text, at);
        if (length < 0) {
            out += kReplacement;
            at += static_cast<std::size_t>(-length);
        } else {
            out.append(text.substr(at, static_cast<std::size_t>(length)));
            at += static_cast<std::size_t>(length);
        }
    }
    return out;
}

}  // namespace varistrum
