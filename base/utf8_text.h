// SPDX-License-Identifier: GPL-3.0-or-later
// Text made valid UTF-8 before it goes into a file format that requires it.
#pragma once

#include <string>
#include <string_view>

namespace varistrum {

// The text with what does not belong to a well-formed UTF-8 character (a stray continuation
// byte, a cut sequence, an overlong or surrogate form, a code point above U+10FFFF) replaced by
// U+FFFD, one for each ill-formed part as JSON's writer does; valid text comes back unchanged.
std::string ValidUtf8(std::string_view text);

}  // namespace varistrum
