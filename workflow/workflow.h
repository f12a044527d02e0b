// SPDX-License-Identifier: GPL-3.0-or-later
// The steps of every job, for the window and the command line alike: identify the log, index
// it, take typed frequencies, check the job and warn of what will go wrong, run it, keep its
// provenance. Each step returns what it found; each front end shows it its own way.
#pragma once

#include <array>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "base/job_files.h"
#include "index/make_index.h"
#include "logfile/typed_frequencies.h"
#include "report/lambda_warnings.h"
#include "workflow/calibration_job.h"
#include "workflow/job_request.h"

namespace varistrum {

// A file offered as a log: its input format, or why it is refused.
struct IdentifiedLog {
    int format = kFormatNone;
    std::string refusal;  // "File is not from a QTX CW product.", "not a regular file", ...
    std::string reason;   // the system's reason when the file cannot be read
    bool Recognised() const { return format != kFormatNone; }
};

// The receivers' ranges of a log whose frequencies must be typed in.
struct FrequencyQuestion {
    FrequencyRange receiver1, receiver2;
};

class Workflow {
  public:
    // Every step reads through `reader`, the front end's one reader.
    explicit Workflow(TavrelReader& reader) : reader_(reader) {}

    // Whether the file is a log, and of which format; no reader is involved.
    static IdentifiedLog Identify(const std::string& path);

    // The index pass: the scans, the statistics and the damage go to `view`; afterwards the
    // workflow knows the log's scans and whether its frequencies must be typed in.
    // With `lambdaReceivers`, the pass also gathers the 40-lambda sample check of a job on
    // those receivers, so that SparseWindows need not read the log again.
    IndexOutcome Index(const std::string& path, int format, IndexView& view, std::stop_token stop,
                       std::optional<ReceiverChoice> lambdaReceivers = std::nullopt);
    // Scans of the log indexed last.
    int ScanCount() const;
    // The first of `scans` that the log indexed last does not have.
    std::optional<int> MissingScan(const std::vector<int>& scans) const;

    // The log indexed last has receiver samples but no frequency definition, and none were
    // typed in.
    bool FrequenciesNeeded() const;
    // The receivers' ranges of the log indexed last.
    FrequencyQuestion Question() const;
    // Checks the typed frequencies against the ranges of the log indexed last and keeps them
    // for it and the following logs; the refusal when one lies outside its receiver's range.
    std::optional<FrequencyRefusal> TypeFrequencies(double receiver1MHz, double receiver2MHz);
    // Forgets the typed frequencies (the question is asked again).
    void ForgetFrequencies() { typed_.reset(); }
    // The frequencies typed in (MHz, receivers 1 and 2), while they are in force.
    std::optional<std::pair<double, double>> TypedMHz() const;
    std::optional<TypedCodes> TypedChannelCodes() const;

    // Every file the job would write against its inputs and each other, before anything is
    // read: the first refusal.
    static std::optional<FilesRefusal> CheckFiles(const JobRequest& request);

    // Before a single file's 40-lambda job: the checked scans whose windows would hold a
    // median below 36 samples: from the index pass when it gathered them for the job's log
    // and receivers and no frequencies had to be typed, else from one more read of the log.
    LambdaWarnings SparseWindows(const JobRequest& request, std::stop_token stop);

    // Runs the job on the one runner with the outputs it asks for, its provenance record
    // included; reports through the observer. `outcomes`, when given, receives each input's.
    JobOutcome Run(const JobRequest& request, JobObserver& observer, std::stop_token stop,
                   std::vector<FileOutcome>* outcomes = nullptr);

    // Fits a propagation model to the 40-lambda local means of the request's logs, pooled
    // (workflow/calibration_job.cpp): the options and the sites file checked, each log
    // identified, its noise floors read when the options give none, its local means collected
    // with the calibration's settings; then the fits. Reports failures through the observer.
    CalibrationRun Calibrate(const CalibrationRequest& request, JobObserver& observer,
                             std::stop_token stop);

  private:
    // The settings a job runs with: the typed frequencies' codes added.
    ConversionSettings SettingsOf(const JobRequest& request) const;

    TavrelReader& reader_;
    bool frequenciesNeeded_ = false;        // of the log indexed last
    std::array<FrequencyPlan, 2> plans_{};  // of the log indexed last
    std::optional<TypedFrequencies> typed_;
    // The 40-lambda sample check the index pass gathered.
    struct GatheredSparseWindows {
        std::string path;
        ReceiverChoice receivers;
        std::vector<LambdaWarning> warnings;
    };
    std::optional<GatheredSparseWindows> sparse_;
};

// The line count of a written text file (its provenance record names it).
std::int64_t CountLines(const std::string& path);

}  // namespace varistrum
