// SPDX-License-Identifier: GPL-3.0-or-later
// A filter that works on finished rows, and the sinks that receive them.
#pragma once

#include "logfile/output_row.h"

namespace varistrum {

class RowStage {
  public:
    virtual ~RowStage() = default;
    // Whether the row goes on to the sinks; a stage may change what the row writes.
    virtual bool Pass(OutputRow& row) = 0;
};

// Receives a conversion's rows in file order.
class RowSink {
  public:
    virtual ~RowSink() = default;
    virtual void AcceptRow(const OutputRow& row) = 0;
    // A GPS record, whether or not it gives rows.
    virtual void AcceptFix(const GpsFixEvent& /*fix*/) {}
    // The file's records have all been read (not called after a cancel or a read error).
    virtual void EndOfRows() {}
    // True once the sink cannot take more (its output failed): the conversion then stops.
    virtual bool Failed() const { return false; }
};

}  // namespace varistrum
