// SPDX-License-Identifier: GPL-3.0-or-later
// The GPS pre-pass: one pass over the good fixes of a file that lists the GPS outages of at
// least N seconds and the stops where the vehicle stood still.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "base/spill_array.h"
#include "convert/conversion_settings.h"
#include "filters/stop_finder.h"
#include "logfile/record_loop.h"
#include "logfile/tavrel_reader.h"

namespace varistrum {

// Seconds from the good fix `previous` to the good fix `current`. When both carry a calendar
// date that exists (1980 or later) the dates count; otherwise a fix more than 12 hours earlier
// in the day than the previous one lies on the next day. Negative for a step back.
std::int64_t SecondsBetweenFixes(const GpsBlock& previous, const GpsBlock& current);

// What the pre-pass looks for.
struct PrePassRequest {
    std::optional<int> outageSeconds;          // list the GPS outages of at least this many seconds
    std::optional<StandStillRule> standStill;  // list the stops of this rule
};

// What the pre-pass found. `starts` holds the GPS record number since Open (1 = the file's
// first GPS record) of the last good fix (2D or 3D) before every gap of at least the minimum
// to the next good fix, in file order. `stops` holds the stops in file order, their fixes named
// by the same numbers; times add up from good fix to good fix as the outage gaps are measured,
// a step back adding nothing.
struct OutageListing {
    bool opened = false;
    LoopEnd end = LoopEnd::EndOfData;
    std::string failureReason;  // the system's reason of a read error
    std::vector<std::int64_t> starts;
    SpillArray<StandingStop> stops;
    std::int64_t goodFixes = 0;  // 2D and 3D fixes of the whole file
};

// What a conversion with these settings asks of the pre-pass.
PrePassRequest PrePassRequestOf(const ConversionSettings& settings);

OutageListing GpsPrePass(TavrelReader& reader, const std::string& input,
                         const PrePassRequest& request, std::stop_token stop);
// The outages alone.
OutageListing GpsOutagePass(TavrelReader& reader, const std::string& input, int minimumSeconds,
                            std::stop_token stop);

}  // namespace varistrum
