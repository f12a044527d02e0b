// SPDX-License-Identifier: GPL-3.0-or-later
// Dropping the data logged during listed GPS outages.
#include "filters/outage_drop_stage.h"

namespace varistrum {

bool OutageDropStage::Keep(const DecodedRecord& record, const DecoderState& log) {
    if (record.kind == RecordKind::Gps) {
        const std::int64_t number = log.counters.gpsTotal;  // this record's
        if (next_ < starts_.size() && starts_[next_] == number) {
            inOutage_ = true;
            ++next_;
        } else if (log.gps.HasFix()) {
            inOutage_ = false;
        }
        return true;
    }
    if (!inOutage_ || !record.CarriesData()) return true;
    ++dropped_;
    return false;
}

}  // namespace varistrum
