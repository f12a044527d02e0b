// SPDX-License-Identifier: GPL-3.0-or-later
// The filters' counts and their information lines.
#include "convert/filter_counts.h"

namespace varistrum {

FilterCounts& FilterCounts::operator+=(const FilterCounts& other) {
    outages += other.outages;
    standingStill += other.standingStill;
    stops += other.stops;
    stoppedSeconds += other.stoppedSeconds;
    threshold += other.threshold;
    outagesOn = outagesOn || other.outagesOn;
    standingStillOn = standingStillOn || other.standingStillOn;
    thresholdOn = thresholdOn || other.thresholdOn;
    velocityThreshold = velocityThreshold || other.velocityThreshold;
    goodFixes += other.goodFixes;
    return *this;
}

std::optional<std::string> FilterCountsText(const FilterCounts& c) {
    if (!c.standingStillOn && !c.thresholdOn) return std::nullopt;
    std::vector<std::string> parts;
    if (c.outagesOn) parts.push_back(std::to_string(c.outages) + " data records in GPS outages");
    if (c.standingStillOn)
        parts.push_back(std::to_string(c.standingStill) + " data records while standing still (" +
                        std::to_string(c.stops) + (c.stops == 1 ? " stop, " : " stops, ") +
                        std::to_string(c.stoppedSeconds) + " s)");
    if (c.thresholdOn)
        parts.push_back(std::to_string(c.threshold) + " rows that did not meet the threshold");
    std::string text = "Filters dropped ";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += i + 1 == parts.size() ? " and " : ", ";
        text += parts[i];
    }
    return text + '.';
}

std::vector<std::string> FilterWarnings(const FilterCounts& c, const std::string& path) {
    std::vector<std::string> warnings;
    if (c.goodFixes > 0 || (!c.standingStillOn && !(c.thresholdOn && c.velocityThreshold)))
        return warnings;
    const std::string log = path.empty() ? "The log" : "'" + path + "'";
    if (c.standingStillOn)
        warnings.push_back(log +
                           " has no good GPS fix (2D or 3D): no data was dropped for standing "
                           "still.");
    if (c.thresholdOn && c.velocityThreshold)
        warnings.push_back(log +
                           " has no good GPS fix (2D or 3D): the Velocity threshold dropped "
                           "every row.");
    return warnings;
}

std::string ThresholdNotAppliedText(const ThresholdRule& rule) {
    return "The threshold (" + rule.Text() +
           ") is not applied here: coverage, comparisons, calibration and the report take every "
           "reading, as dropping weak ones would inflate coverage and bias a fit.";
}

}  // namespace varistrum
