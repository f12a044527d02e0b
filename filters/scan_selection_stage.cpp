// SPDX-License-Identifier: GPL-3.0-or-later
// Scan selection by the index tree's check boxes.
#include "filters/scan_selection_stage.h"

namespace varistrum {

bool ScanSelectionStage::Keep(const DecodedRecord& record, const DecoderState& log) {
    if (record.scanChosen) {
        const std::optional<bool> checked = scans_.ScanChecked(log.ScanIndex);
        skip_ = checked.has_value() && !*checked;
    }
    switch (record.kind) {
        case RecordKind::Samples:
        case RecordKind::ChannelList:
        case RecordKind::ChannelTable:
        case RecordKind::ScanList32:  // a left-out scan's channels are not taken
        case RecordKind::ScanList10:
        case RecordKind::Gps:
            return !skip_;
        default:
            return true;
    }
}

}  // namespace varistrum
