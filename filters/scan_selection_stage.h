// SPDX-License-Identifier: GPL-3.0-or-later
// Scan selection: the data of scans whose check box is cleared is dropped.
#pragma once

#include "filters/record_stage.h"
#include "logfile/scan_selection.h"

namespace varistrum {

class ScanSelectionStage : public RecordStage {
  public:
    // `scans` (which must outlive the stage) holds the check boxes; a scan without a tree entry
    // (a table scan) is kept.
    explicit ScanSelectionStage(const ScanSelection& scans) : scans_(scans) {}

    bool Keep(const DecodedRecord& record, const DecoderState& log) override;

  private:
    const ScanSelection& scans_;
    // The current scan is left out. A scan that starts before the file's first time stamp is
    // chosen only at that stamp; until then the choice of the scan before it holds.
    bool skip_ = false;
};

}  // namespace varistrum
