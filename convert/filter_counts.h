// SPDX-License-Identifier: GPL-3.0-or-later
// What the filters of a conversion dropped, and how the job tells it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "filters/threshold_stage.h"

namespace varistrum {

struct FilterCounts {
    bool outagesOn = false, standingStillOn = false, thresholdOn = false;
    std::int64_t droppedInOutages = 0;      // data records dropped inside GPS outages
    std::int64_t droppedStandingStill = 0;  // data records dropped while standing still
    std::int64_t stops = 0;                 // the stops found
    std::int64_t stoppedSeconds = 0;        // their seconds, first to last fix
    std::int64_t droppedByThreshold = 0;    // rows that did not meet the threshold

    // The counts of two files of one job together.
    FilterCounts& operator+=(const FilterCounts& other);
};

// The information line after a job with standing still or the threshold on: "Filters dropped
// 120 data records while standing still (3 stops, 180 s) and 57 rows that did not meet the
// threshold." (with the GPS outages' count first when they are dropped too); nullopt when
// neither is on.
std::optional<std::string> FilterCountsText(const FilterCounts& counts);

// The information line of the outputs that take every reading whatever the threshold says
// (coverage cells, comparisons, calibration, the report).
std::string ThresholdNotAppliedText(const ThresholdRule& rule);

}  // namespace varistrum
