// SPDX-License-Identifier: GPL-3.0-or-later
// A filter that judges the decoded records before they become rows.
#pragma once

#include "base/job_observer.h"
#include "logfile/decoded_record.h"
#include "logfile/decoder_state.h"

namespace varistrum {

class RecordStage {
  public:
    virtual ~RecordStage() = default;
    // Every stage sees every record, in file order, whatever the others decide. For a record
    // with data (samples, list and table entries, a scan's channels): whether its data goes on.
    // For a GPS record: whether the fix lies in the drive the conversion keeps.
    virtual bool Keep(const DecodedRecord& record, const DecoderState& log) = 0;
    // Whether the stages before this one kept the record's data, told before Keep: a stage
    // that counts what it drops counts only what the others let through.
    void SetKeptBefore(bool kept) { keptBefore_ = kept; }

  protected:
    bool keptBefore_ = true;
};

// Receives every decoded record of a file before the stages judge it, with the state the
// decoder left and the damage the reader met so far: for outputs that need what rows do not
// carry (every fix, clock stamps, scan definitions, list entries).
class RecordSink {
  public:
    virtual ~RecordSink() = default;
    virtual void AcceptRecord(const DecodedRecord& record, const DecoderState& log,
                              const DamageCounters& damage) = 0;
};

}  // namespace varistrum
