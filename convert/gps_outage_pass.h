// SPDX-License-Identifier: GPL-3.0-or-later
// The pre-pass that lists GPS outages of at least N seconds between good fixes.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "logfile/record_loop.h"
#include "logfile/tavrel_reader.h"

namespace varistrum {

// Seconds from the good fix `previous` to the good fix `current`. When both carry a calendar
// date that exists (1980 or later) the dates count; otherwise a fix more than 12 hours earlier
// in the day than the previous one lies on the next day. Negative for a step back.
std::int64_t SecondsBetweenFixes(const GpsBlock& previous, const GpsBlock& current);

// What the outage pass found: `starts` holds the GPS record number since Open (1 = the file's
// first GPS record) of the last good fix (2D or 3D) before every gap of at least the minimum
// to the next good fix, in file order.
struct OutageListing {
    bool opened = false;
    LoopEnd end = LoopEnd::EndOfData;
    std::string failureReason;  // the system's reason of a read error
    std::vector<std::int64_t> starts;
};

OutageListing GpsOutagePass(TavrelReader& reader, const std::string& input, int minimumSeconds,
                            std::stop_token stop);

}  // namespace varistrum
