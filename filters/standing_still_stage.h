// SPDX-License-Identifier: GPL-3.0-or-later
// Standing still: the data from the first fix of each stop up to the first good fix after its
// last one is dropped.
#pragma once

#include <cstdint>

#include "filters/record_stage.h"
#include "filters/stop_finder.h"
#include "logfile/log_reader.h"

namespace varistrum {

class StandingStillStage : public RecordStage {
  public:
    // `stops`: what the pre-pass found, in file order; `receivers`: the data source, whose
    // records alone are counted.
    StandingStillStage(SpillArray<StandingStop> stops, ReceiverChoice receivers)
        : stops_(std::move(stops)), receivers_(receivers) {}

    bool Keep(const DecodedRecord& record, const DecoderState& log) override;
    // Data records of the data source dropped so far (every data record in a stop is dropped;
    // the other receiver's samples would give no row and are not counted).
    std::int64_t Dropped() const { return dropped_; }
    // The stops the file holds, and the seconds they last together.
    std::int64_t Stops() const { return static_cast<std::int64_t>(stops_.size()); }
    std::int64_t StoppedSeconds() const;

  private:
    SpillArray<StandingStop> stops_;
    ReceiverChoice receivers_;
    std::size_t next_ = 0;   // the stop under way or the next one
    bool dropping_ = false;  // between a stop's first fix and the first good fix after its last
    std::int64_t dropped_ = 0;
};

}  // namespace varistrum
