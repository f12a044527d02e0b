// SPDX-License-Identifier: GPL-3.0-or-later
// Coverage bins as an output of a job: the rows binned into cells, then written as a raster
// with its style or as a GeoPackage, or kept for the caller.
#pragma once

#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "base/output_set.h"
#include "bins/bin_files.h"
#include "bins/bin_sample_sink.h"
#include "bins/bin_statistic.h"
#include "bins/binning.h"
#include "convert/job_runner.h"
#include "geodata/level_ramp.h"

namespace varistrum {

// The settings a coverage job reads its rows with, from the conversion settings it was asked
// with: the samples as the text writes them before any reduction, so neither 40-lambda
// averaging nor best server applies; the data choices (receiver, scans, typed frequencies,
// outage drop) and the record filters do. Every coverage job (bins, compare, the map's cells,
// the report's cells) takes its settings from here.
ConversionSettings CoverageSettingsOf(ConversionSettings settings);
// The one information line of a coverage job whose data choices hold a threshold, which the
// cells leave out; none without one.
void NoteThresholdLeftOut(const ConversionSettings& settings, JobObserver& observer);

struct CoverageRequest {
    std::string output;  // a .tif or .gpkg file; empty: the cells are kept, nothing is written
    BinOptions binning;
    ChannelChoice channel;  // each cell's strongest channel by default
    std::vector<BinStatistic> statistics = DefaultStatistics();  // the raster's bands
    LevelRamp ramp;
};

// What a usage check of a coverage request finds wrong (a cell size out of range, an output
// that is no raster or GeoPackage, no statistic); nullopt when it is fine.
std::optional<std::string> CoverageRequestProblem(const CoverageRequest& request);

// Bins the rows of the job's one input (a job of one log) and, once the log was read to its
// end, writes the output's files through the one output writer: the raster and its style are
// one set, checked before anything is read and put in place together; a failed, cancelled or
// refused job leaves none and earlier files stay. The binning's warnings (a drive that leaves
// its zone, positions UTM does not reach) go to the observer.
class CoverageOutput : public JobOutput {
  public:
    // A stop requested while the files are written leaves none (the job counts as cancelled).
    CoverageOutput(CoverageRequest request, JobObserver& observer, std::stop_token stop = {});
    ~CoverageOutput() override;

    std::vector<std::string> FilesOf(std::size_t input) const override;
    std::optional<FilesRefusal> Check() const override;
    std::optional<FileOutcome> Open(std::size_t input, InputSinks& sinks) override;
    FileOutcome Close(std::size_t input, const FilePass& pass, FileOutcome outcome) override;
    std::optional<std::string> ClosingNote() const override;

    // The cells of a completed job; null before or after a failure.
    const Binning* Result() const { return binning_ ? &*binning_ : nullptr; }
    std::optional<Binning> TakeResult();

  private:
    CoverageRequest request_;
    JobObserver& observer_;
    std::stop_token stop_;
    std::unique_ptr<Binner> binner_;
    std::unique_ptr<BinSampleSink> sink_;
    std::optional<Binning> binning_;
    std::string note_;
};

// "Binning stopped ...; choose a larger cell." from "binning stopped ...; choose a larger cell".
std::string CoverageSentence(std::string text);

}  // namespace varistrum
