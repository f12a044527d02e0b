// SPDX-License-Identifier: GPL-3.0-or-later
// Text as a JSON string: quotes, backslashes and control characters escaped, other bytes
// (UTF-8 included) as they are.
#pragma once

#include <string>
#include <string_view>

namespace varistrum {

inline std::string JsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(ch);
        } else if (c < 0x20) {
            out += "\\u00";
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        } else {
            out.push_back(ch);
        }
    }
    return out + "\"";
}

}  // namespace varistrum
