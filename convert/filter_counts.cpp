// SPDX-License-Identifier: GPL-3.0-or-later
// The filters' counts and their information lines.
#include "convert/filter_counts.h"

#include <vector>

namespace varistrum {

FilterCounts& FilterCounts::operator+=(const FilterCounts& other) {
    outagesOn = outagesOn || other.outagesOn;
    standingStillOn = standingStillOn || other.standingStillOn;
    thresholdOn = thresholdOn || other.thresholdOn;
    droppedInOutages += other.droppedInOutages;
    droppedStandingStill += other.droppedStandingStill;
    stops += other.stops;
    stoppedSeconds += other.stoppedSeconds;
    droppedByThreshold += other.droppedByThreshold;
    return *this;
}

std::optional<std::string> FilterCountsText(const FilterCounts& c) {
    if (!c.standingStillOn && !c.thresholdOn) return std::nullopt;
    std::vector<std::string> parts;
    if (c.outagesOn)
        parts.push_back(std::to_string(c.droppedInOutages) + " data records in GPS outages");
    if (c.standingStillOn)
        parts.push_back(std::to_string(c.droppedStandingStill) +
                        " data records while standing still (" + std::to_string(c.stops) +
                        (c.stops == 1 ? " stop, " : " stops, ") + std::to_string(c.stoppedSeconds) +
                        " s)");
    if (c.thresholdOn)
        parts.push_back(std::to_string(c.droppedByThreshold) +
                        " rows that did not meet the threshold");
    std::string text = "Filters dropped ";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += i + 1 == parts.size() ? " and " : ", ";
        text += parts[i];
    }
    return text + '.';
}

std::string ThresholdNotAppliedText(const ThresholdRule& rule) {
    return "The threshold (" + rule.Text() +
           ") is not applied here: coverage, comparisons, calibration and the report take every "
           "reading, as dropping weak ones would inflate coverage and bias a fit.";
}

}  // namespace varistrum
