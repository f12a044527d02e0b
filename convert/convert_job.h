// SPDX-License-Identifier: GPL-3.0-or-later
// The conversion job: each input file through reader, decoder and formatter into its output.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "base/job_files.h"
#include "base/job_observer.h"
#include "base/output_target.h"
#include "base/worker_thread.h"
#include "convert/conversion_settings.h"
#include "convert/filter_counts.h"
#include "filters/row_stage.h"
#include "logfile/tavrel_reader.h"

namespace varistrum {

// Skipped: a folder job passed over a file that is no log, or a log that needs typed
// frequencies when none were typed; the others were converted.
enum class JobOutcome { NotRun, Completed, Failed, Cancelled, Skipped };

// A single file chosen by the user, or every matching file of a folder, each identified on
// its own: in a folder, files that cannot be converted are skipped, not failed.
enum class JobKind { SingleFile, Folder };

// Outcome of one file; `message` is the error or skip text, `path` and `reason` say which
// file and the system's reason when there is one.
struct FileOutcome {
    JobOutcome outcome = JobOutcome::Completed;
    std::string message;
    std::string path;
    std::string reason;
    DamageCounters damage;   // met in the file (a converted or cancelled one)
    FilterCounts filters{};  // what the filters dropped
};

// A file put in place together with a conversion's text (its provenance record), written once
// the text is complete: when either cannot be written, neither replaces anything. A cancelled
// conversion writes none (its text alone is put in place).
struct CompanionFile {
    std::string path;
    const OutputKind* kind = nullptr;
    // Its bytes, given the file the text was written into (a temporary name until then) and
    // what the filters dropped.
    std::function<std::string(const std::string& writtenText, const FilterCounts& filters)>
        contents;
};

// Converts one input file into one output file (and its parts when split is on). The rows go
// to the delimited-text writer and then to each of `extraSinks`, in that order. An empty
// `output` keeps no text (a pass for the other sinks).
FileOutcome ConvertFile(TavrelReader& reader, const std::string& input, const std::string& output,
                        const ConversionSettings& settings, JobObserver& observer,
                        std::stop_token stop, std::span<RowSink* const> extraSinks = {},
                        std::span<const CompanionFile> companions = {});

// Converts the files one after the other, reporting the first failure, a cancel or the
// completion through the observer. A folder job identifies each file and ends with its summary.
// `companions` go with the output of a single-file job; `last`, when given, receives the
// outcome of the last file converted.
JobOutcome RunConversionJob(TavrelReader& reader, const std::vector<std::string>& inputs,
                            const std::vector<std::string>& outputs,
                            const ConversionSettings& settings, JobObserver& observer,
                            std::stop_token stop, JobKind kind = JobKind::SingleFile,
                            std::span<const CompanionFile> companions = {},
                            FileOutcome* last = nullptr);

// Converts one file of a folder job: identifies it first, and skips it when it is no log.
FileOutcome ConvertFolderFile(TavrelReader& reader, const std::string& input,
                              const std::string& output, const ConversionSettings& settings,
                              JobObserver& observer, std::stop_token stop,
                              std::span<RowSink* const> extraSinks = {});

// The refusal of a job whose lists are unsound (an output that is an input, two inputs with one
// output), reported through the observer as an error; true when the job may run.
bool AcceptJobFiles(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs,
                    JobObserver& observer);
bool AcceptJobFiles(const JobFileList& files, JobObserver& observer);

// The files a text conversion job writes, for the check before anything is written: each
// output, its companions and the parts of an earlier split that a split would replace. Folder
// jobs compare names without regard to letter case.
JobFileList TextJobFiles(const std::vector<std::string>& inputs,
                         const std::vector<std::string>& outputs,
                         const ConversionSettings& settings, JobKind kind,
                         std::span<const CompanionFile> companions = {});
// TextJobFiles checked, and the outputs of a split job checked to be files (a split reads its
// output back); the refusal is reported through the observer. True when the job may run.
bool AcceptTextJob(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs,
                   const ConversionSettings& settings, JobKind kind, JobObserver& observer,
                   std::span<const CompanionFile> companions = {});

// Reports the damage met in a file, if any, through the observer.
void ReportFileDamage(const FileOutcome& outcome, const std::string& path, JobObserver& observer);

// After a completed job: what the filters dropped in its files, when standing still or the
// threshold was on (one information line).
void ReportFilterCounts(std::span<const FileOutcome> outcomes, JobObserver& observer);

// Reports a failed file through the observer.
void ReportFileFailure(const FileOutcome& failure, JobObserver& observer);

// The closing report of a folder job's outcomes; the job's outcome. The job counts as
// cancelled when a file was cut short, or when a stop kept a file from starting.
JobOutcome FinishFolderJob(const std::vector<std::string>& inputs,
                           const std::vector<FileOutcome>& outcomes,
                           const std::vector<bool>& started, bool stopRequested,
                           JobObserver& observer);

// The conversion worker: created suspended, given its files and settings, then resumed.
class TConvert : public WorkerThread {
  public:
    // A job of another output (a map layer export) run in the worker's place; RunConversionJob
    // when none is set.
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
