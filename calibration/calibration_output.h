// SPDX-License-Identifier: GPL-3.0-or-later
// A calibration on the one job runner: the settings its passes run with, the noise-floor pass
// over a log's levels, and the output that hands the 40-lambda local means to the collector.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "calibration/calibration.h"
#include "convert/job_runner.h"

namespace varistrum {

// The conversion settings of a calibration's main pass, derived from the data choices a front
// end made (receiver, scans, outage drop, typed frequencies and the filter stages): always
// 40-lambda local means averaged in linear power, whatever the averaging domain said, and never
// best server. Every setting a calibration overrides is overridden here and nowhere else.
ConversionSettings CalibrationSettingsOf(const ConversionSettings& data);

// The settings of the noise-floor pass: every level of the log as it was read (no averaging,
// every scan, nothing dropped), with the main pass's receiver and typed frequencies.
ConversionSettings NoiseFloorSettingsOf(const ConversionSettings& data);

// Notes every level of the rows it receives under its channel number (the lowest per channel
// is the log's noise floor).
class ChannelFloorSink : public RowSink {
  public:
    void AcceptRow(const OutputRow& row) override;
    ChannelFloors TakeFloors() { return std::move(floors_); }

  private:
    ChannelFloors floors_;
};

// The local mean of a 40-lambda row; nullopt for any other row (a row of a list or table scan,
// or of a scan timed without GPS).
std::optional<LocalMean> LocalMeanOf(const OutputRow& row);

// Hands the local means of the rows it receives to a collector.
class LocalMeanSink : public RowSink {
  public:
    explicit LocalMeanSink(CalibrationCollector& collector) : collector_(collector) {}
    void AcceptRow(const OutputRow& row) override;
    std::int64_t LocalMeans() const { return means_; }

  private:
    CalibrationCollector& collector_;
    std::int64_t means_ = 0;
};

// The noise-floor pass as an output of the runner: the floors of the input read last.
class NoiseFloorOutput : public JobOutput {
  public:
    std::vector<std::string> FilesOf(std::size_t) const override { return {}; }
    std::optional<FileOutcome> Open(std::size_t input, InputSinks& sinks) override;
    FileOutcome Close(std::size_t, const FilePass&, FileOutcome outcome) override {
        return outcome;
    }
    ChannelFloors TakeFloors() { return sink_.TakeFloors(); }

  private:
    ChannelFloorSink sink_;
};

// The calibration's main pass as an output of the runner: each input's local means go to the
// collector as one log of the campaign, named as the job lists it. Keeps everything in memory
// (the collector's points, 56 bytes a local mean); writes no file.
class CalibrationOutput : public JobOutput {
  public:
    CalibrationOutput(CalibrationCollector& collector, std::vector<std::string> names)
        : collector_(collector), names_(std::move(names)), sink_(collector) {}

    // The noise floors of input `i`, before it is opened (none: the options give the floor,
    // or the log has no level of the channel).
    void SetFloors(std::size_t input, ChannelFloors floors);

    std::vector<std::string> FilesOf(std::size_t) const override { return {}; }
    std::optional<FileOutcome> Open(std::size_t input, InputSinks& sinks) override;
    FileOutcome Close(std::size_t, const FilePass&, FileOutcome outcome) override {
        return outcome;
    }
    std::int64_t LocalMeans() const { return sink_.LocalMeans(); }

  private:
    CalibrationCollector& collector_;
    std::vector<std::string> names_;
    std::vector<ChannelFloors> floors_;
    LocalMeanSink sink_;
};

}  // namespace varistrum
