// SPDX-License-Identifier: GPL-3.0-or-later
// One file's records through the stages to the sinks.
#include "filters/row_pipeline.h"

namespace varistrum {

void RowPipeline::Feed(const DecodedRecord& record, const DecoderState& log) {
    bool kept = true;
    for (RecordStage* stage : recordStages_) {
        stage->SetKeptBefore(kept);
        kept = stage->Keep(record, log) && kept;
    }
    switch (assembler_.Assemble(record, log, kept)) {
        case DecodeHeaderAndData:
            tableScanOpening_ = true;
            FeedRows(log);
            break;
        case DecodeDataReady:
            FeedRows(log);
            break;
        default:
            break;
    }
    if (record.kind == RecordKind::Gps) {
        const GpsFixEvent fix{log.gps, log.ScanIndex, log.ScanMode, kept};
        for (RowSink* sink : sinks_) sink->AcceptFix(fix);
    }
}

void RowPipeline::FeedRows(const DecoderState& log) {
    const int count = assembler_.OutputCount();
    for (int point = 0; point < count; ++point) {
        assembler_.FillRow(point, log, row_);
        bool passes = true;
        for (RowStage* stage : rowStages_) {
            if (!stage->Pass(row_)) {
                passes = false;
                break;
            }
        }
        if (!passes) continue;
        if (tableScanOpening_ && row_.dataMode == DataKind::Table) {
            row_.opensTableScan = true;
            tableScanOpening_ = false;
        }
        row_.number = ++rows_;
        for (RowSink* sink : sinks_) sink->AcceptRow(row_);
    }
}

}  // namespace varistrum
