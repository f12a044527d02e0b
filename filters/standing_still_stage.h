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
    // `stops`: what the pre-pass found, in file order, their fixes named by GPS record number
    // since Open; `receivers`: the data source, whose records alone are counted.
    StandingStillStage(SpillArray<StandingStop> stops, ReceiverChoice receivers)
        : stops_(std::move(stops)), receivers_(receivers) {}

    bool Keep(const DecodedRecord& record, const DecoderState& log) override;

    // Data records of the data source this stage dropped so far, of those the stages before it
    // kept (the other receiver's samples give no row and are not counted).
    std::int64_t Dropped() const { return dropped_; }
    // The stops the file holds, and the seconds they last together (first to last fix).
    std::int64_t Stops() const { return static_cast<std::int64_t>(stops_.size()); }
    std::int64_t StoppedSeconds() const;

    // After the last record given: the vehicle stands, from a stop's first fix up to its last.
    bool Standing() const { return standing_; }
    // Stops whose first fix has been met so far.
    std::int64_t StopsBegun() const { return begun_; }

  private:
    SpillArray<StandingStop> stops_;
    ReceiverChoice receivers_;
    std::size_t next_ = 0;   // the stop under way or the next one
    bool dropping_ = false;  // between a stop's first fix and the first good fix after its last
    bool standing_ = false;  // between a stop's first fix and its last fix
    std::int64_t begun_ = 0;
    std::int64_t dropped_ = 0;
};

}  // namespace varistrum
