// SPDX-License-Identifier: GPL-3.0-or-later
// The one job runner: every conversion, whatever it writes (text, map layers, the map's points),
// for one log or every log of a folder, one file at a time or several at once.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "base/job_files.h"
#include "base/job_observer.h"
#include "convert/conversion_settings.h"
#include "convert/filter_counts.h"
#include "convert/gps_outage_pass.h"
#include "filters/record_stage.h"
#include "filters/row_stage.h"
#include "logfile/record_loop.h"
#include "logfile/tavrel_reader.h"

namespace varistrum {

// Skipped: a folder job passed over a file that is no log, or a log that needs typed
// frequencies when none were typed; the others were converted.
enum class JobOutcome { NotRun, Completed, Failed, Cancelled, Skipped };

// A single file chosen by the user, or every matching file of a folder, each identified on
// its own: in a folder, files that cannot be converted are skipped, not failed.
enum class JobKind { SingleFile, Folder };

// How one file's pass over its records went.
struct FilePass {
    LoopEnd end = LoopEnd::EndOfData;
    DamageCounters damage;
    std::string failureReason;  // the system's reason of a read error
    std::uint64_t fileBytes = 0;
    std::int64_t rows = 0;  // rows the sinks received
    FilterCounts dropped;
    // Receiver samples without a frequency definition, and no frequencies typed.
    bool neededTypedFrequencies = false;
};

// Outcome of one file; `message` is the error or skip text, `path` and `reason` say which
// file and the system's reason when there is one.
struct FileOutcome {
    JobOutcome outcome = JobOutcome::Completed;
    std::string message;
    std::string path;
    std::string reason;
    DamageCounters damage;  // met in the file (a converted or cancelled one)
    std::int64_t rows = 0;  // rows written
    FilterCounts dropped;
};

// The sinks the outputs put on one input's path, and what the GPS pre-pass found in it.
struct InputSinks {
    explicit InputSinks(const OutageListing& listing) : prePass(listing) {}
    // Listed as the settings drop them and the outputs want them (of the same lengths).
    const OutageListing& prePass;
    std::vector<RowSink*> rows;        // the rows that pass the filters
    std::vector<RecordSink*> records;  // every decoded record, before the filters
};

// One kind of output of a job: the sinks it puts on each input's path, and the files it
// writes through the one output writer. Inputs are numbered as the job lists them; a job of
// several files at once calls Open and Close of different inputs on different threads.
class JobOutput {
  public:
    virtual ~JobOutput() = default;
    // The files written for input `i`, side files included, for the check made before anything
    // is written (none for an output that keeps its data in memory).
    virtual std::vector<std::string> FilesOf(std::size_t input) const = 0;
    // A reason the job cannot run with this output, found before anything is read or written.
    virtual std::optional<FilesRefusal> Check() const { return std::nullopt; }
    // What the output needs the GPS pre-pass to list besides what the settings drop. The input
    // fails when the outputs want outages or stops of other lengths than the settings drop: they
    // belong in jobs of their own.
    virtual PrePassRequest PrePassWanted() const { return {}; }
    // Before input `i` is read: opens what it writes and adds its sinks; the failure if it
    // cannot.
    virtual std::optional<FileOutcome> Open(std::size_t input, InputSinks& sinks) = 0;
    // After input `i` was read: `outcome` says how (a read error, a skip or a cancel included);
    // finishes what it wrote and puts it in place, or drops it. Returns the file's outcome.
    virtual FileOutcome Close(std::size_t input, const FilePass& pass, FileOutcome outcome) = 0;
    // The job has ended: a closing information line, if the output has one (before the
    // completion message).
    virtual std::optional<std::string> ClosingNote() const { return std::nullopt; }
};

struct JobSpec {
    std::vector<std::string> inputs;
    JobKind kind = JobKind::SingleFile;
    ConversionSettings settings;
    int filesAtOnce = 1;  // a folder job: files converted at once, each on a reader of its own
};

// Converts the inputs into every output, reporting through the observer: the first failure, a
// cancel or the completion of a single-file job, the summary of a folder job. Nothing is
// written when the settings or the job's files are refused. `outcomes`, when given, receives
// each input's outcome.
JobOutcome RunJob(TavrelReader& reader, const JobSpec& job, std::span<JobOutput* const> outputs,
                  JobObserver& observer, std::stop_token stop,
                  std::vector<FileOutcome>* outcomes = nullptr);

// Input `input` of the job through every output, without the job's messages and checks: in a
// folder job identified first, then the outage pre-pass when the settings drop outages, the
// outputs opened, decoder, filter stages and the rows to the outputs' sinks (the gauge showing
// the per cent read), and the outputs closed.
FileOutcome ConvertJobInput(TavrelReader& reader, const JobSpec& job, std::size_t input,
                            std::span<JobOutput* const> outputs, JobObserver& observer,
                            std::stop_token stop);

// Reports the damage met in a file, if any, through the observer.
void ReportFileDamage(const FileOutcome& outcome, const std::string& path, JobObserver& observer);

// Reports the filters' warnings of a file (filters that need good fixes it lacks).
void ReportFilterWarnings(const FileOutcome& outcome, const std::string& path,
                          JobObserver& observer);

// The information line of what the filters dropped in the files of a job, when standing still
// or the threshold was on.
void ReportFilterCounts(std::span<const FileOutcome> outcomes, JobObserver& observer);

// Reports a failed file through the observer.
void ReportFileFailure(const FileOutcome& failure, JobObserver& observer);

// The closing report of a folder job's outcomes; the job's outcome. The job counts as
// cancelled when a file was cut short, or when a stop kept a file from starting.
JobOutcome FinishFolderJob(const std::vector<std::string>& inputs,
                           const std::vector<FileOutcome>& outcomes,
                           const std::vector<bool>& started, bool stopRequested,
                           JobObserver& observer);

}  // namespace varistrum
