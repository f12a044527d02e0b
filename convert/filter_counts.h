// SPDX-License-Identifier: GPL-3.0-or-later
// What the filters of a conversion dropped, and the job's lines about it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "filters/threshold_stage.h"

namespace varistrum {

// Data records or rows each filter dropped in a file (or in every file of a job, added up).
struct FilterCounts {
    std::int64_t outages = 0;         // data records inside GPS outages
    std::int64_t standingStill = 0;   // data records of the data source logged in stops
    std::int64_t stops = 0;           // the stops found
    std::int64_t stoppedSeconds = 0;  // their seconds, first to last fix
    std::int64_t threshold = 0;       // rows that did not meet the threshold
    // Which filters were on, and what the file held that they need.
    bool outagesOn = false, standingStillOn = false, thresholdOn = false;
    bool velocityThreshold = false;  // the threshold compares the GPS speed
    std::int64_t goodFixes = 0;      // 2D and 3D fixes of the file

    // The counts of two files of one job together.
    FilterCounts& operator+=(const FilterCounts& other);
};

// The information line after a job with standing still or the threshold on: "Filters dropped
// 120 data records while standing still (3 stops, 180 s) and 57 rows that did not meet the
// threshold." (the GPS outages' count first when they are dropped too); nullopt when neither is
// on.
std::optional<std::string> FilterCountsText(const FilterCounts& counts);

// The warnings of one file whose filters need good fixes that it lacks (standing still finds
// no stop, a Velocity threshold drops every row); `path` names the file when not empty.
std::vector<std::string> FilterWarnings(const FilterCounts& counts, const std::string& path);

// The information line of the outputs that take every reading whatever the threshold says
// (coverage cells, comparisons, calibration, the report).
std::string ThresholdNotAppliedText(const ThresholdRule& rule);

}  // namespace varistrum
