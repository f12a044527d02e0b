// SPDX-License-Identifier: GPL-3.0-or-later
// The pre-pass that lists GPS outages of at least N seconds between good fixes.
#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "logfile/tavrel_reader.h"

namespace varistrum {

// Seconds of the day of the last good fix (2D or 3D) before every gap of at least
// `minimumSeconds` to the next good fix, in file order. nullopt when the file cannot be opened.
std::optional<std::vector<int>> GpsOutagePass(TavrelReader& reader, const std::string& input,
                                              int minimumSeconds, std::stop_token stop);

}  // namespace varistrum
