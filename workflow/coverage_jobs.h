// SPDX-License-Identifier: GPL-3.0-or-later
// The coverage jobs that are more than one output of one pass: a drive binned for the caller
// (the map's cells), and drive against drive.
#pragma once

#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "base/worker_thread.h"
#include "bins/bin_comparison.h"
#include "bins/coverage_output.h"
#include "logfile/tavrel_reader.h"

namespace varistrum {

// One drive binned and kept: how its pass went (damage, failure, cancel) and its cells.
struct BinnedDrive {
    FileOutcome outcome;
    std::optional<Binning> binning;
};

// Bins `input` with the coverage settings of `settings` (CoverageSettingsOf), writing nothing
// and reporting nothing but its progress: the caller reports the outcome.
BinnedDrive BinDrive(TavrelReader& reader, const std::string& input,
                     const ConversionSettings& settings, const BinOptions& options,
                     JobObserver& observer, std::stop_token stop);

// Drive against drive: A and B binned on A's grid, each with half the memory of one binning.
struct ComparisonRequest {
    std::string inputA, inputB;
    // Each drive's data settings (its scans, its typed frequencies); coverage settings are
    // derived from them.
    ConversionSettings settingsA, settingsB;
    double cellMetres = kDefaultCellMetres;
    ChannelChoice channel;
    std::string output;  // the difference as .tif (with its style) or .gpkg; empty: none
};

struct DriveComparison {
    JobOutcome outcome = JobOutcome::NotRun;
    std::unique_ptr<Binning> a, b;            // the comparison looks into them
    std::optional<BinComparison> comparison;  // set when the job completed
};

// What is wrong with the request before anything is read: the cell size, the output's name, an
// output that is an input, a target that cannot take the file; nullopt when it may run.
std::optional<FilesRefusal> CheckComparison(const ComparisonRequest& request);

// Bins both drives, compares them, writes the difference (raster and style as one set, or the
// GeoPackage) and reports through the observer: a failure ("Drive B: ..."), damage met in
// either log, a cancel, or the file written. Nothing is written unless both drives were read to
// their ends and share cells.
DriveComparison CompareDrives(TavrelReader& reader, const ComparisonRequest& request,
                              JobObserver& observer, std::stop_token stop);

// A coverage job on a worker for the window: created suspended, started with its job.
class TCoverageJob : public WorkerThread {
  public:
    ~TCoverageJob() { StopAndWait(); }
    // Runs `job` on the worker; `failed` hears of an exception that ended it ("Not enough
    // memory.").
    void Resume(std::function<void(std::stop_token)> job,
                std::function<void(const std::string&)> failed = {}) {
        Start(std::move(job), std::move(failed));
    }
    bool Running() const { return Started() && !Finished(); }
};

}  // namespace varistrum
