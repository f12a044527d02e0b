// SPDX-License-Identifier: GPL-3.0-or-later
// The filter stages of one file's conversion, built from the frozen settings.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "convert/conversion_settings.h"
#include "convert/filter_counts.h"
#include "filters/best_server_stage.h"
#include "filters/lambda_averaging_stage.h"
#include "filters/outage_drop_stage.h"
#include "filters/scan_selection_stage.h"
#include "filters/standing_still_stage.h"
#include "filters/threshold_stage.h"
#include "logfile/row_assembler.h"

namespace varistrum {

// The filters of a conversion, built from its frozen settings, in the order the data meets
// them: scan selection, GPS-outage drop, standing-still drop (records), then best server or
// 40-lambda averaging, then the threshold (rows).
class ConversionStages {
  public:
    // `outageStarts` and `stops`: what the GPS pre-pass listed, when they are dropped.
    // The outputs that need every reading (coverage cells, comparisons, calibration) clear the
    // threshold from their settings and say so (ThresholdNotAppliedText).
    ConversionStages(const ConversionSettings& settings, std::vector<std::int64_t> outageStarts,
                     SpillArray<StandingStop> stops = {})
        : assembly_{settings.receivers, settings.averageType, settings.typed} {
        if (!settings.convertAllScans) {
            selection_.emplace(settings.scans);
            recordStages_.push_back(&*selection_);
        }
        if (settings.dropOutages) {
            outages_.emplace(std::move(outageStarts));
            recordStages_.push_back(&*outages_);
        }
        if (settings.dropStandingStill) {
            standingStill_.emplace(std::move(stops), settings.receivers);
            recordStages_.push_back(&*standingStill_);
        }
        if (settings.averageType != kAverageNone) {
            lambda_.emplace(LambdaAveragingStage::Options{settings.averageType == kAverageLambda,
                                                          settings.averageLinearPower,
                                                          settings.typed.has_value()});
        }
        if (settings.averageType == kAverageBestServer) rowStages_.push_back(&bestServer_);
        if (settings.threshold) {
            threshold_.emplace(settings.thresholdRule);
            rowStages_.push_back(&*threshold_);
        }
    }

    const AssemblySettings& Assembly() const { return assembly_; }
    SamplePlacement* Placement() { return lambda_ ? &*lambda_ : nullptr; }
    std::vector<RecordStage*> RecordStages() const { return recordStages_; }
    std::vector<RowStage*> RowStages() const { return rowStages_; }
    std::int64_t DroppedInOutages() const { return outages_ ? outages_->Dropped() : 0; }
    // What each filter that is on dropped so far.
    FilterCounts Counts() const {
        FilterCounts counts;
        counts.outagesOn = outages_.has_value();
        counts.outages = DroppedInOutages();
        if (standingStill_) {
            counts.standingStillOn = true;
            counts.standingStill = standingStill_->Dropped();
            counts.stops = standingStill_->Stops();
            counts.stoppedSeconds = standingStill_->StoppedSeconds();
        }
        if (threshold_) {
            counts.thresholdOn = true;
            counts.velocityThreshold = threshold_->Rule().field == ThresholdField::Velocity;
            counts.threshold = threshold_->Dropped();
        }
        return counts;
    }

  private:
    AssemblySettings assembly_;
    std::optional<ScanSelectionStage> selection_;
    std::optional<OutageDropStage> outages_;
    std::optional<StandingStillStage> standingStill_;
    std::optional<LambdaAveragingStage> lambda_;
    BestServerStage bestServer_;
    std::optional<ThresholdStage> threshold_;
    std::vector<RecordStage*> recordStages_;
    std::vector<RowStage*> rowStages_;
};

}  // namespace varistrum
