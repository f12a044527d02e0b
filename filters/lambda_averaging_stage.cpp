// SPDX-License-Identifier: GPL-3.0-or-later
// The averaging engine driven by the records and fixes of a conversion.
#include "filters/lambda_averaging_stage.h"

namespace varistrum {

LambdaAveragingStage::LambdaAveragingStage(const Options& options) : options_(options) {
    engine_.SetLinearPower(options.linearPower);
}

void LambdaAveragingStage::Start(double channelMHz) {
    engine_.StartAveraging(channelMHz, kLambdaSampleSpacing, kLambdaBinLength);
}

void LambdaAveragingStage::StartIfTyped(double channelMHz) {
    if (options_.typedFrequencies && !engine_.IsActive()) Start(channelMHz);
}

void LambdaAveragingStage::ScanDefined(double channelMHz) {
    if (options_.startWithScans) Start(channelMHz);
}

void LambdaAveragingStage::AddRecord(const WaitingRecord& record) {
    StartIfTyped(record.channelMHz);
    engine_.AddLevels(record.levels, record.count);
}

int LambdaAveragingStage::PlaceAtFix(const FixPlacement& fix) {
    StartIfTyped(fix.channelMHz);
    if (!engine_.AddPosition(fix.latitude, fix.longitude)) return -1;
    points_.Clear();
    int count = 0;
    AveragedPoint average;
    while (engine_.NextAveragedPoint(average)) {
        points_.AddAverage({average.latitude, average.longitude, average.value, average.samples,
                            average.minimumDbm, average.maximumDbm},
                           fix.receiver, fix.hours, fix.minutes, fix.seconds);
        ++count;
    }
    return count;
}

}  // namespace varistrum
