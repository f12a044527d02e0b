// SPDX-License-Identifier: GPL-3.0-or-later
// The text conversion job on the one job runner, and the worker that runs jobs for the window.
#pragma once

#include <atomic>
#include <functional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "base/worker_thread.h"
#include "convert/job_runner.h"
#include "convert/text_output.h"

namespace varistrum {

// Converts the files into delimited text, one after the other or, for a folder job,
// `filesAtOnce` at a time, reporting the first failure, a cancel or the completion through the
// observer; a folder job identifies each file and ends with its summary. `companions` go with
// the output of a single-file job; `last`, when given, receives the outcome of the last file
// converted.
JobOutcome RunConversionJob(TavrelReader& reader, const std::vector<std::string>& inputs,
                            const std::vector<std::string>& outputs,
                            const ConversionSettings& settings, JobObserver& observer,
                            std::stop_token stop, JobKind kind = JobKind::SingleFile,
                            std::span<const CompanionFile> companions = {},
                            FileOutcome* last = nullptr, int filesAtOnce = 1);

// One identified log converted into `output` (and its parts when split is on) with the rows
// also going to `extraSinks`; no job messages, no checks of the files beforehand.
FileOutcome ConvertFile(TavrelReader& reader, const std::string& input, const std::string& output,
                        const ConversionSettings& settings, JobObserver& observer,
                        std::stop_token stop, std::span<RowSink* const> extraSinks = {});

// Rows to sinks the caller owns, for every input; no files.
class SinkOutput : public JobOutput {
  public:
    explicit SinkOutput(std::vector<RowSink*> sinks) : sinks_(std::move(sinks)) {}
    std::vector<std::string> FilesOf(std::size_t) const override { return {}; }
    std::optional<FileOutcome> Open(std::size_t, InputSinks& sinks) override {
        sinks.rows.insert(sinks.rows.end(), sinks_.begin(), sinks_.end());
        return std::nullopt;
    }
    FileOutcome Close(std::size_t, const FilePass&, FileOutcome outcome) override {
        return outcome;
    }

  private:
    std::vector<RowSink*> sinks_;
};

// The conversion worker: created suspended, given its job, then resumed.
class TConvert : public WorkerThread {
  public:
    // The job run on the worker's thread with its stop request; a text conversion of the files
    // and settings when none is set.
    using JobRunner = std::function<JobOutcome(
        TavrelReader&, const std::vector<std::string>&, const std::vector<std::string>&,
        const ConversionSettings&, JobObserver&, std::stop_token, JobKind)>;

    TConvert(TavrelReader& reader, JobObserver& observer, bool createSuspended = true);
    ~TConvert() { StopAndWait(); }

    void SetFiles(std::vector<std::string> inputs, std::vector<std::string> outputs,
                  JobKind kind = JobKind::SingleFile);
    void SetSettings(ConversionSettings settings) { settings_ = std::move(settings); }
    void SetRunner(JobRunner runner) { runner_ = std::move(runner); }
    void Resume();
    bool Running() const { return Started() && !Finished(); }
    JobOutcome Outcome() const { return outcome_; }
    int FileCount() const { return static_cast<int>(inputs_.size()); }

  private:
    TavrelReader& reader_;
    JobObserver& observer_;
    std::vector<std::string> inputs_, outputs_;
    JobKind kind_ = JobKind::SingleFile;
    ConversionSettings settings_;
    JobRunner runner_;
    std::atomic<JobOutcome> outcome_{JobOutcome::NotRun};
};

}  // namespace varistrum
