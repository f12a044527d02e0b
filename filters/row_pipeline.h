// SPDX-License-Identifier: GPL-3.0-or-later
// The path of one file's records in a conversion: record stages judge each decoded record,
// the assembly turns the kept ones into rows, row stages work on the rows, and the sinks
// receive what passes, numbered in file order.
#pragma once

#include <cstdint>
#include <vector>

#include "filters/record_stage.h"
#include "filters/row_stage.h"
#include "logfile/row_assembler.h"

namespace varistrum {

class RowPipeline {
  public:
    // Stages and sinks must outlive the pipeline; they are called in the order given.
    RowPipeline(RowAssembler& assembler, std::vector<RecordStage*> recordStages,
                std::vector<RowStage*> rowStages, std::vector<RowSink*> sinks)
        : assembler_(assembler),
          recordStages_(std::move(recordStages)),
          rowStages_(std::move(rowStages)),
          sinks_(std::move(sinks)) {}

    // One decoded record, with the decoder state it left.
    void Feed(const DecodedRecord& record, const DecoderState& log);
    // The file's records have all been read.
    void EndOfRows() {
        for (RowSink* sink : sinks_) sink->EndOfRows();
    }
    // A sink's output failed: the conversion stops.
    bool Failed() const {
        for (const RowSink* sink : sinks_) {
            if (sink->Failed()) return true;
        }
        return false;
    }
    // Rows handed to the sinks so far.
    std::int64_t Rows() const { return rows_; }

  private:
    void FeedRows(const DecoderState& log);

    RowAssembler& assembler_;
    std::vector<RecordStage*> recordStages_;
    std::vector<RowStage*> rowStages_;
    std::vector<RowSink*> sinks_;
    OutputRow row_;
    std::int64_t rows_ = 0;
    // A table scan began and none of its rows has reached the sinks yet: its first one that
    // does opens it (a row stage may drop the rows before).
    bool tableScanOpening_ = false;
};

}  // namespace varistrum
