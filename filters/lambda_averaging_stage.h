// SPDX-License-Identifier: GPL-3.0-or-later
// 40-lambda averaging: the samples of single-frequency scans timed by GPS are laid along the
// route and averaged per 40 wavelengths; each average is one point at the fix that closed its
// bin.
#pragma once

#include "averaging/averaging_engine.h"
#include "logfile/sample_placement.h"

namespace varistrum {

class LambdaAveragingStage : public SamplePlacement {
  public:
    struct Options {
        // 40-lambda averaging proper: the engine starts with every single-frequency scan. Best
        // server places samples through the engine too, never started there, so that each
        // sample becomes a point of its own.
        bool startWithScans = true;
        bool linearPower = false;       // bins average the samples' power, not their dBm values
        bool typedFrequencies = false;  // the engine starts with the first sample or fix
    };
    explicit LambdaAveragingStage(const Options& options);

    void ScanDefined(double channelMHz) override;
    void AddRecord(const WaitingRecord& record) override;
    int PlaceAtFix(const FixPlacement& fix) override;
    const PendingRowStore& Points() const override { return points_; }

  private:
    void Start(double channelMHz);
    void StartIfTyped(double channelMHz);

    Options options_;
    AveragingEngine engine_;
    PendingRowStore points_;
};

}  // namespace varistrum
