// SPDX-License-Identifier: GPL-3.0-or-later
// A point's ISO 8601 time kept in eight bytes: the map stores millions of them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varistrum {

// "YYYY-MM-DDTHH:MM:SS" with an optional fraction of up to three digits and an optional "Z";
// 0 (no time) for an empty or other text.
std::uint64_t PackTime(std::string_view iso);
// The text PackTime took; empty for 0.
std::string UnpackTime(std::uint64_t code);

}  // namespace varistrum
