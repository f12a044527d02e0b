// SPDX-License-Identifier: GPL-3.0-or-later
// The conversion job: each input file through reader, decoder and formatter into its output.
#pragma once

#include <atomic>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "convert/conversion_settings.h"
#include "convert/job_observer.h"
#include "convert/worker_thread.h"
#include "logfile/tavrel_reader.h"

namespace varistrum {

enum class JobOutcome { NotRun, Completed, Failed, Cancelled };

// Outcome of one file; `message` is the error text when it failed.
struct FileOutcome {
    JobOutcome outcome = JobOutcome::Completed;
    std::string message;
};

// Converts one input file into one output file (and its parts when split is on).
FileOutcome ConvertFile(TavrelReader& reader, const std::string& input, const std::string& output,
                        const ConversionSettings& settings, JobObserver& observer, std::stop_token stop);

// Converts the files one after the other, reporting the first failure, a cancel or the
// completion through the observer.
JobOutcome RunConversionJob(TavrelReader& reader, const std::vector<std::string>& inputs,
                            const std::vector<std::string>& outputs, const ConversionSettings& settings,
                            JobObserver& observer, std::stop_token stop);

// The conversion worker: created suspended, given its files and settings, then resumed.
class TConvert : public WorkerThread {
  public:
    TConvert(TavrelReader& reader, JobObserver& observer, bool createSuspended = true);
    ~TConvert() { StopAndWait(); }

    void SetFiles(std::vector<std::string> inputs, std::vector<std::string> outputs);
    void SetSettings(ConversionSettings settings) { settings_ = std::move(settings); }
    void Resume();
    bool Running() const { return Started() && !Finished(); }
    JobOutcome Outcome() const { return outcome_; }
    int FileCount() const { return static_cast<int>(inputs_.size()); }

  private:
    TavrelReader& reader_;
    JobObserver& observer_;
    std::vector<std::string> inputs_, outputs_;
    ConversionSettings settings_;
    std::atomic<JobOutcome> outcome_{JobOutcome::NotRun};
};

}  // namespace varistrum
