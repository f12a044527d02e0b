// SPDX-License-Identifier: GPL-3.0-or-later
// The coverage jobs that are more than one output of one pass: a drive binned for the caller
// (the map's cells), and drive against drive.
#pragma once

#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "base/spill_array.h"
#include "base/worker_thread.h"
#include "bins/bin_comparison.h"
#include "bins/coverage_output.h"
#include "logfile/tavrel_reader.h"
#include "report/drive_report.h"

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

// The cells of every scan of a drive counted at or above thresholds, for the report: each scan
// binned on its own and its binning dropped once counted, the counts kept in a spill array in
// file order, so that memory does not grow with the number of scans.
class ScanCellCounts {
  public:
    // Bins the scans of `input` with the coverage settings of `settings`; the pass's outcome.
    // A scan whose cells need more than a binning may take is left uncounted, with a warning.
    FileOutcome Count(TavrelReader& reader, const std::string& input,
                      const ConversionSettings& settings, double cellMetres, const LevelRamp& ramp,
                      JobObserver& observer, std::stop_token stop);
    // The counts of one channel of a scan (by its frequency); asked in the scans' order.
    std::optional<ThresholdCounts> Of(int scan, double frequencyMHz);

  private:
    struct Entry {
        int scan;
        double frequencyMHz;
        ThresholdCounts counts;
    };
    SpillArray<Entry> entries_;
    std::size_t next_ = 0;  // the first entry of a scan not yet passed
};

// The report with its figures by area: the cells of each scan counted in a pass before the
// report's own, in cells of `cellMetres`, at the request's thresholds.
DriveReport BuildAreaReport(TavrelReader& reader, const std::string& input, ReportRequest request,
                            double cellMetres, JobObserver& observer, std::stop_token stop,
                            const ScanReportSink& scans = {});

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
