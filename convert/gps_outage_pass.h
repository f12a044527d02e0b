// SPDX-License-Identifier: GPL-3.0-or-later
// The pre-pass that lists GPS outages of at least N seconds between good fixes.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "logfile/tavrel_reader.h"

namespace varistrum {

// Seconds from the good fix `previous` to the good fix `current`. When both carry a calendar
// date that exists (1980 or later) the dates count; otherwise a fix more than 12 hours earlier
// in the day than the previous one lies on the next day. Negative for a step back.
std::int64_t SecondsBetweenFixes(const GpsBlock& previous, const GpsBlock& current);

// The GPS record number since Open (1 = the file's first GPS record) of the last good fix
// (2D or 3D) before every gap of at least `minimumSeconds` to the next good fix, in file
// order. nullopt when the file cannot be opened.
std::optional<std::vector<std::int64_t>> GpsOutagePass(TavrelReader& reader,
                                                       const std::string& input, int minimumSeconds,
                                                       std::stop_token stop);

}  // namespace varistrum
