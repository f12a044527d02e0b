// SPDX-License-Identifier: GPL-3.0-or-later
// Dropping the data logged while the vehicle stood still.
#include "filters/standing_still_stage.h"

namespace varistrum {

bool StandingStillStage::Keep(const DecodedRecord& record, const DecoderState& log) {
    if (record.kind == RecordKind::Gps) {
        const std::int64_t number = log.counters.gpsTotal;  // this record's
        // Only a good fix after the stop's last one ends it; bad fixes on the way do not.
        if (dropping_ && number > stops_[next_].lastGpsRecord && log.gps.HasFix()) {
            dropping_ = false;
            ++next_;
        }
        // A stop begins at its first fix, which may be the fix that ended the one before.
        if (!dropping_ && next_ < stops_.size() && stops_[next_].firstGpsRecord == number) {
            dropping_ = true;
            ++begun_;
        }
        standing_ = dropping_ && number < stops_[next_].lastGpsRecord;
        return true;  // the fixes themselves stay: they place the rows around them
    }
    if (!dropping_ || !record.CarriesData()) return true;
    if (keptBefore_ && (record.kind != RecordKind::Samples || receivers_.Takes(record.receiver)))
        ++dropped_;
    return false;
}

std::int64_t StandingStillStage::StoppedSeconds() const {
    std::int64_t seconds = 0;
    for (std::size_t k = 0; k < stops_.size(); ++k) seconds += stops_[k].seconds;
    return seconds;
}

}  // namespace varistrum
