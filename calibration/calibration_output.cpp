// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration's passes on the one job runner.
#include "calibration/calibration_output.h"

#include <cmath>

namespace varistrum {

ConversionSettings CalibrationSettingsOf(const ConversionSettings& data) {
    ConversionSettings settings = data;
    // Path losses are fitted to local means of power: a mean of dBm values reads about 2.5 dB
    // low under Rayleigh fading, whatever the user's text conversions average in.
    settings.averageType = kAverageLambda;
    settings.averageLinearPower = true;
    // Nothing of the text is written: its delimiter, fields and parts cannot refuse the job.
    settings.delimiterChoice = kComma;
    settings.split = false;
    settings.toStandardOutput = false;
    // Filter stages that keep records by their level are not for calibration: a level
    // threshold would drop the weak end of the drive and bias the slope. Standing still stays:
    // a stop's samples would weigh its spot as many times as it waited.
    settings.threshold = false;
    return settings;
}

ConversionSettings NoiseFloorSettingsOf(const ConversionSettings& data) {
    ConversionSettings settings = CalibrationSettingsOf(data);
    settings.averageType = kAverageNone;
    settings.averageLinearPower = false;
    settings.convertAllScans = true;
    settings.dropOutages = false;
    settings.dropStandingStill = false;
    return settings;
}

void ChannelFloorSink::AcceptRow(const OutputRow& row) {
    const std::size_t slots = row.levels.size();
    for (std::size_t j = 0; j < slots; ++j) {
        const int slot = static_cast<int>(j);
        int channel = 0;
        if (row.dataMode == DataKind::Table) {
            if (j >= row.tableChannels.size()) break;
            channel = row.tableChannels[j];
        } else if (row.dataMode == DataKind::Samples || row.dataMode == DataKind::List) {
            const std::uint32_t code = row.CodeAt(slot);
            if (code == 0) continue;  // the slot has no frequency
            channel = static_cast<int>(row.plan.ChannelOfCode(code));
        } else {
            return;
        }
        floors_.Note(channel, row.levels[j]);
    }
}

std::optional<LocalMean> LocalMeanOf(const OutputRow& row) {
    if (!row.averaged || !row.placed || row.dataMode != DataKind::Samples) return std::nullopt;
    LocalMean mean;
    mean.scan = row.scanNumber;
    mean.latitude = row.latitude;
    mean.longitude = row.longitude;
    const std::uint32_t code = row.CodeAt(0);
    if (code != 0) {
        // To the hertz: the plan's step in 1/256 kHz gives exact frequencies, the product of
        // doubles does not (872.3000000000001).
        mean.frequencyMHz = std::round(row.plan.CodeToMHz(code) * 1e6) / 1e6;
        mean.channel = static_cast<int>(row.plan.ChannelOfCode(code));
    }
    mean.channelStepKHz = row.plan.StepKHz();
    mean.levelDbm = row.averagedDbm;
    mean.samples = row.binSamples;
    return mean;
}

void LocalMeanSink::AcceptRow(const OutputRow& row) {
    if (const auto mean = LocalMeanOf(row)) {
        collector_.Add(*mean);
        ++means_;
    }
}

std::optional<FileOutcome> NoiseFloorOutput::Open(std::size_t, InputSinks& sinks) {
    sink_ = ChannelFloorSink();
    sinks.rows.push_back(&sink_);
    return std::nullopt;
}

void CalibrationOutput::SetFloors(std::size_t input, ChannelFloors floors) {
    if (floors_.size() <= input) floors_.resize(input + 1);
    floors_[input] = std::move(floors);
}

std::optional<FileOutcome> CalibrationOutput::Open(std::size_t input, InputSinks& sinks) {
    collector_.BeginLog(input < names_.size() ? names_[input] : std::string(),
                        input < floors_.size() ? std::move(floors_[input]) : ChannelFloors());
    sinks.rows.push_back(&sink_);
    return std::nullopt;
}

}  // namespace varistrum
