// SPDX-License-Identifier: GPL-3.0-or-later
// The filter stages of one file's conversion, built from the frozen settings.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "convert/conversion_settings.h"
#include "filters/best_server_stage.h"
#include "filters/lambda_averaging_stage.h"
#include "filters/outage_drop_stage.h"
#include "filters/scan_selection_stage.h"
#include "logfile/row_assembler.h"

namespace varistrum {

// The filters of a conversion, built from its frozen settings, in the order the data meets
// them: scan selection, GPS-outage drop, then best server or 40-lambda averaging.
class ConversionStages {
  public:
    // `outageStarts`: what the outage pre-pass listed, when outages are dropped.
    ConversionStages(const ConversionSettings& settings, std::vector<std::int64_t> outageStarts)
        : assembly_{settings.receivers, settings.averageType, settings.typed} {
        if (!settings.convertAllScans) {
            selection_.emplace(settings.scans);
            recordStages_.push_back(&*selection_);
        }
        if (settings.dropOutages) {
            outages_.emplace(std::move(outageStarts));
            recordStages_.push_back(&*outages_);
        }
        if (settings.averageType != kAverageNone) {
            lambda_.emplace(LambdaAveragingStage::Options{settings.averageType == kAverageLambda,
                                                          settings.averageLinearPower,
                                                          settings.typed.has_value()});
        }
        if (settings.averageType == kAverageBestServer) rowStages_.push_back(&bestServer_);
    }

    const AssemblySettings& Assembly() const { return assembly_; }
    SamplePlacement* Placement() { return lambda_ ? &*lambda_ : nullptr; }
    std::vector<RecordStage*> RecordStages() const { return recordStages_; }
    std::vector<RowStage*> RowStages() const { return rowStages_; }
    std::int64_t DroppedInOutages() const { return outages_ ? outages_->Dropped() : 0; }

  private:
    AssemblySettings assembly_;
    std::optional<ScanSelectionStage> selection_;
    std::optional<OutageDropStage> outages_;
    std::optional<LambdaAveragingStage> lambda_;
    BestServerStage bestServer_;
    std::vector<RecordStage*> recordStages_;
    std::vector<RowStage*> rowStages_;
};

}  // namespace varistrum
