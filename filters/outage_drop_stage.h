// SPDX-License-Identifier: GPL-3.0-or-later
// GPS outage drop: the data from the last good fix before each listed outage up to the next
// good fix is dropped.
#pragma once

#include <cstdint>
#include <vector>

#include "filters/record_stage.h"

namespace varistrum {

class OutageDropStage : public RecordStage {
  public:
    // `outageStarts`: the GPS record number (1 = the file's first) of the last good fix before
    // each outage, in file order, as the outage pre-pass lists them.
    explicit OutageDropStage(std::vector<std::int64_t> outageStarts)
        : starts_(std::move(outageStarts)) {}

    bool Keep(const DecodedRecord& record, const DecoderState& log) override;
    // Data records dropped so far.
    std::int64_t Dropped() const { return dropped_; }

  private:
    std::vector<std::int64_t> starts_;
    std::size_t next_ = 0;
    bool inOutage_ = false;  // only the next good fix ends an outage, bad ones do not
    std::int64_t dropped_ = 0;
};

}  // namespace varistrum
