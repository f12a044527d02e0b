// SPDX-License-Identifier: GPL-3.0-or-later
// The record loop of every conversion and the job around it: files checked before anything is
// written, each input through its outputs, the job's closing report.
#include "convert/job_runner.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "convert/conversion_stages.h"
#include "convert/gps_outage_pass.h"
#include "filters/row_pipeline.h"
#include "logfile/identify.h"

namespace varistrum {

namespace {

constexpr const char* kInputMissing = "Input File Does Not Exist!";
constexpr const char* kInputUnreadable = "Input File Cannot Be Read!";
constexpr const char* kNotALog = "File is not from a QTX CW product.";
constexpr const char* kNeedsFrequencies = "Receiver frequencies must be entered before converting.";
constexpr const char* kPrePassesDiffer =
    "The outputs of this job need GPS outages or stops of other lengths than its filters drop.";

FileOutcome Failure(std::string message, std::string path, std::string reason) {
    return {JobOutcome::Failed, std::move(message), std::move(path), std::move(reason), {}, 0, {}};
}

FileOutcome InputFailure(const std::string& input) {
    return Failure(kInputMissing, input, InputFailureReason(input));
}

// What the pass says of the file, before its outputs had their say.
FileOutcome OutcomeOf(const FilePass& pass, const std::string& input, JobKind kind) {
    FileOutcome outcome;
    outcome.damage = pass.damage;
    outcome.rows = pass.rows;
    outcome.dropped = pass.dropped;
    switch (pass.end) {
        case LoopEnd::ReadError:
            outcome = Failure(kInputUnreadable, input, pass.failureReason);
            outcome.damage = pass.damage;
            return outcome;
        case LoopEnd::Cancelled:
            outcome.outcome = JobOutcome::Cancelled;
            return outcome;
        default:
            break;
    }
    // In a folder, a log that needed frequencies nobody typed is passed over.
    if (kind == JobKind::Folder && pass.neededTypedFrequencies) {
        outcome.outcome = JobOutcome::Skipped;
        outcome.message = kNeedsFrequencies;
        outcome.path = input;
    }
    return outcome;
}

// Every output of input `i` hears how it went, whether or not it was opened.
FileOutcome CloseOutputs(std::span<JobOutput* const> outputs, std::size_t i, const FilePass& pass,
                         FileOutcome outcome) {
    for (JobOutput* output : outputs) outcome = output->Close(i, pass, std::move(outcome));
    return outcome;
}

FileReport::State StateOf(JobOutcome outcome) {
    switch (outcome) {
        case JobOutcome::Completed:
            return FileReport::State::Converted;
        case JobOutcome::Skipped:
            return FileReport::State::Skipped;
        case JobOutcome::Failed:
            return FileReport::State::Failed;
        case JobOutcome::Cancelled:
            return FileReport::State::Partial;
        default:
            return FileReport::State::NotStarted;
    }
}

// Takes `wanted` into `listed` unless another one is listed already; false if so.
template <typename T>
bool Joined(std::optional<T>& listed, const std::optional<T>& wanted) {
    if (!wanted) return true;
    if (!listed) listed = wanted;
    return *listed == *wanted;
}

// The pre-pass the settings ask for, and what the outputs want listed besides; none when they
// want outages or stops of other lengths than the settings drop (one pre-pass lists one kind).
std::optional<PrePassRequest> PrePassOf(const ConversionSettings& settings,
                                        std::span<JobOutput* const> outputs) {
    PrePassRequest request = PrePassRequestOf(settings);
    for (const JobOutput* output : outputs) {
        const PrePassRequest wanted = output->PrePassWanted();
        if (!Joined(request.outageSeconds, wanted.outageSeconds) ||
            !Joined(request.standStill, wanted.standStill))
            return std::nullopt;
    }
    return request;
}

void ReportClosingNotes(std::span<JobOutput* const> outputs, JobObserver& observer) {
    for (const JobOutput* output : outputs) {
        if (auto note = output->ClosingNote())
            observer.ReportMessage(MessageKind::Information, *note);
    }
}

// The files of a job, checked before anything is written.
bool AcceptFiles(const JobSpec& job, std::span<JobOutput* const> outputs, JobObserver& observer) {
    JobFileList files;
    files.inputs = job.inputs;
    files.caseInsensitive = job.kind == JobKind::Folder;
    for (std::size_t i = 0; i < job.inputs.size(); ++i) {
        std::vector<std::string> written;
        for (const JobOutput* output : outputs) {
            for (std::string& file : output->FilesOf(i)) written.push_back(std::move(file));
        }
        files.outputs.push_back(std::move(written));
    }
    if (const auto refusal = CheckJobFiles(files)) {
        observer.ReportFailure(MessageKind::Error, refusal->message, refusal->path, {});
        return false;
    }
    for (const JobOutput* output : outputs) {
        if (const auto refusal = output->Check()) {
            observer.ReportFailure(MessageKind::Error, refusal->message, refusal->path, {});
            return false;
        }
    }
    return true;
}

JobOutcome RunSingleFiles(TavrelReader& reader, const JobSpec& job,
                          std::span<JobOutput* const> outputs, JobObserver& observer,
                          std::stop_token stop, std::vector<FileOutcome>& outcomes) {
    const std::size_t count = job.inputs.size();
    bool skipped = false;
    for (std::size_t i = 0; i < count; ++i) {
        outcomes[i] = ConvertJobInput(reader, job, i, outputs, observer, stop);
        const FileOutcome& result = outcomes[i];
        ReportFileDamage(result, count > 1 ? job.inputs[i] : std::string(), observer);
        ReportFilterWarnings(result, count > 1 ? job.inputs[i] : std::string(), observer);
        if (result.outcome == JobOutcome::Failed) {
            ReportFileFailure(result, observer);
            return JobOutcome::Failed;
        }
        // A stop that came after a file was put in place keeps the files that follow from
        // starting; the file itself is complete.
        if (result.outcome == JobOutcome::Cancelled || (stop.stop_requested() && i + 1 < count)) {
            observer.ReportMessage(MessageKind::Information, "Conversion Cancelled.");
            return JobOutcome::Cancelled;
        }
        skipped = skipped || result.outcome == JobOutcome::Skipped;
    }
    ReportClosingNotes(outputs, observer);
    ReportFilterCounts(outcomes, observer);
    observer.SetProgress(100);
    observer.ReportMessage(MessageKind::Information, "Conversion Has Been Completed!");
    return skipped ? JobOutcome::Skipped : JobOutcome::Completed;
}

JobOutcome RunFolderOneByOne(TavrelReader& reader, const JobSpec& job,
                             std::span<JobOutput* const> outputs, JobObserver& observer,
                             std::stop_token stop, std::vector<FileOutcome>& outcomes) {
    const std::size_t count = job.inputs.size();
    std::vector<bool> started(count, false);
    bool failed = false;
    for (std::size_t i = 0; i < count && !stop.stop_requested(); ++i) {
        started[i] = true;
        outcomes[i] = ConvertJobInput(reader, job, i, outputs, observer, stop);
        if (outcomes[i].outcome == JobOutcome::Failed) {
            failed = true;
            break;
        }
    }
    const bool cancelled = stop.stop_requested() ||
                           std::any_of(outcomes.begin(), outcomes.end(), [](const FileOutcome& o) {
                               return o.outcome == JobOutcome::Cancelled;
                           });
    if (!failed && !cancelled) ReportClosingNotes(outputs, observer);
    return FinishFolderJob(job.inputs, outcomes, started, stop.stop_requested(), observer);
}

// Several files at once, each worker with a reader of its own. After a failure the files being
// converted finish and no other file starts; the first failing file in list order is reported.
JobOutcome RunFolderAtOnce(const JobSpec& job, std::span<JobOutput* const> outputs,
                           JobObserver& observer, std::stop_token stop,
                           std::vector<FileOutcome>& outcomes, int inputFormat) {
    const std::size_t count = job.inputs.size();
    std::atomic<bool> failed{false};
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::size_t done = 0;
    std::vector<bool> started(count, false);
    // The first exception a worker met (no memory, no room for a temporary file): it ends the
    // job on the calling thread once the others stopped, never the program on a worker's.
    std::exception_ptr thrown;
    observer.SetProgress(0);
    auto convert = [&] {
        TavrelReader reader;
        reader.SetInputFormat(inputFormat);
        SilentObserver silent;  // nothing per file: the job shows the share of files done
        for (std::size_t i = next++; i < count; i = next++) {
            {
                std::lock_guard lock(mutex);
                if (failed || stop.stop_requested()) return;
                started[i] = true;
            }
            outcomes[i] = ConvertJobInput(reader, job, i, outputs, silent, stop);
            if (outcomes[i].outcome == JobOutcome::Failed) failed = true;
            std::lock_guard lock(mutex);
            ++done;
            observer.SetProgress(static_cast<int>(done * 100 / count));
        }
    };
    auto work = [&] {
        try {
            convert();
        } catch (...) {
            failed = true;
            std::lock_guard lock(mutex);
            if (!thrown) thrown = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> workers;
        try {
            for (int w = 0; w < job.filesAtOnce; ++w) workers.emplace_back(work);
        } catch (...) {
            // A thread the system cannot start: those started stop after their file.
            failed = true;
            std::lock_guard lock(mutex);
            if (!thrown) thrown = std::current_exception();
        }
    }  // joins
    if (thrown) std::rethrow_exception(thrown);
    if (!failed && !stop.stop_requested()) ReportClosingNotes(outputs, observer);
    return FinishFolderJob(job.inputs, outcomes, started, stop.stop_requested(), observer);
}

}  // namespace

// One input through every output: identified (in a folder), pre-pass, opened, read, closed.
FileOutcome ConvertJobInput(TavrelReader& reader, const JobSpec& job, std::size_t i,
                            std::span<JobOutput* const> outputs, JobObserver& observer,
                            std::stop_token stop) {
    const std::string& input = job.inputs[i];
    const FilePass none;
    if (job.kind == JobKind::Folder) {
        const int format = IdentifyLogFile(input);
        if (format == kFormatNone) {
            const std::string reason = InputFailureReason(input);
            FileOutcome skipped;
            skipped.outcome = JobOutcome::Skipped;
            skipped.message = reason.empty() ? kNotALog : reason;
            skipped.path = input;
            return CloseOutputs(outputs, i, none, std::move(skipped));
        }
        reader.SetInputFormat(format);
    }
    // One pre-pass lists both the GPS outages and the stops.
    OutageListing listing;
    const std::optional<PrePassRequest> prePass = PrePassOf(job.settings, outputs);
    if (!prePass) return CloseOutputs(outputs, i, none, Failure(kPrePassesDiffer, input, {}));
    if (prePass->outageSeconds || prePass->standStill) {
        listing = GpsPrePass(reader, input, *prePass, stop);
        if (!listing.opened) return CloseOutputs(outputs, i, none, InputFailure(input));
        if (listing.end == LoopEnd::ReadError)
            return CloseOutputs(outputs, i, none,
                                Failure(kInputUnreadable, input, listing.failureReason));
    }
    if (stop.stop_requested()) {
        FileOutcome cancelled;
        cancelled.outcome = JobOutcome::Cancelled;
        return CloseOutputs(outputs, i, none, std::move(cancelled));
    }
    if (reader.Open(input) != 0) return CloseOutputs(outputs, i, none, InputFailure(input));
    InputSinks sinks(listing);
    for (JobOutput* output : outputs) {
        if (auto failure = output->Open(i, sinks)) {
            reader.Close();
            return CloseOutputs(outputs, i, none, std::move(*failure));
        }
    }
    ConversionStages stages(job.settings, std::move(listing.starts), std::move(listing.stops));
    RowAssembler assembler(stages.Assembly(), stages.Placement());
    RowPipeline rows(assembler, stages.RecordStages(), stages.RowStages(), sinks.rows);
    // Outputs of records alone need no rows assembled.
    const bool rowsWanted = !sinks.rows.empty();
    PercentGauge gauge(observer, reader.FileSize());
    gauge.Reset();
    const LoopResult loop = RunRecordLoop(
        reader, stop, [&](int percent) { gauge.Show(percent); },
        [&](const RecordBuffer& buffer) {
            const DecodedRecord& record = reader.DecodeRecord(buffer);
            for (RecordSink* sink : sinks.records)
                sink->AcceptRecord(record, reader.State(), reader.Damage());
            if (!rowsWanted) return true;
            rows.Feed(record, reader.State());
            return !rows.Failed();
        });
    if (loop.end == LoopEnd::EndOfData) rows.EndOfRows();
    FilePass pass;
    pass.end = loop.end;
    pass.damage = loop.damage;
    pass.failureReason = reader.ReadFailureReason();
    pass.fileBytes = reader.FileSize();
    pass.rows = rows.Rows();
    pass.dropped = stages.Counts();
    pass.dropped.goodFixes = reader.State().counters.gps3dLock + reader.State().counters.gps2dLock;
    pass.neededTypedFrequencies =
        assembler.SamplesSeen() && !reader.State().list32Seen && !job.settings.typed;
    reader.Close();
    if (loop.end != LoopEnd::ReadError) gauge.Show(100);
    return CloseOutputs(outputs, i, pass, OutcomeOf(pass, input, job.kind));
}

JobOutcome RunJob(TavrelReader& reader, const JobSpec& job, std::span<JobOutput* const> outputs,
                  JobObserver& observer, std::stop_token stop, std::vector<FileOutcome>* outcomes) {
    if (auto problem = job.settings.Problem()) {
        observer.ReportMessage(MessageKind::Error, *problem);
        return JobOutcome::Failed;
    }
    if (!AcceptFiles(job, outputs, observer)) return JobOutcome::Failed;
    std::vector<FileOutcome> own(job.inputs.size());
    std::vector<FileOutcome>& results = outcomes != nullptr ? *outcomes : own;
    results.assign(job.inputs.size(), FileOutcome{});
    if (job.kind == JobKind::SingleFile)
        return RunSingleFiles(reader, job, outputs, observer, stop, results);
    if (job.filesAtOnce > 1)
        return RunFolderAtOnce(job, outputs, observer, stop, results, reader.InputFormat());
    return RunFolderOneByOne(reader, job, outputs, observer, stop, results);
}

void ReportFileDamage(const FileOutcome& outcome, const std::string& path, JobObserver& observer) {
    if (outcome.damage.Any()) observer.ReportDamage(path, outcome.damage);
}

void ReportFilterWarnings(const FileOutcome& outcome, const std::string& path,
                          JobObserver& observer) {
    if (outcome.outcome != JobOutcome::Completed) return;
    for (const std::string& warning : FilterWarnings(outcome.dropped, path))
        observer.ReportMessage(MessageKind::Warning, warning);
}

void ReportFilterCounts(std::span<const FileOutcome> outcomes, JobObserver& observer) {
    FilterCounts total;
    for (const FileOutcome& outcome : outcomes) total += outcome.dropped;
    if (const auto text = FilterCountsText(total))
        observer.ReportMessage(MessageKind::Information, *text);
}

void ReportFileFailure(const FileOutcome& failure, JobObserver& observer) {
    observer.ReportFailure(MessageKind::Error, failure.message, failure.path, failure.reason);
}

JobOutcome FinishFolderJob(const std::vector<std::string>& inputs,
                           const std::vector<FileOutcome>& outcomes,
                           const std::vector<bool>& started, bool stopRequested,
                           JobObserver& observer) {
    JobSummary summary;
    const FileOutcome* firstFailure = nullptr;
    bool cancelled = false;
    for (std::size_t i = 0; i < outcomes.size() && i < inputs.size(); ++i) {
        FileReport file{inputs[i], FileReport::State::NotStarted, {}};
        if (i < started.size() && started[i]) {
            const FileOutcome& outcome = outcomes[i];
            ReportFileDamage(outcome, inputs[i], observer);
            ReportFilterWarnings(outcome, inputs[i], observer);
            file.state = StateOf(outcome.outcome);
            file.reason = outcome.message;
            if (outcome.outcome == JobOutcome::Failed) {
                if (firstFailure == nullptr) firstFailure = &outcome;
                if (!outcome.path.empty()) file.reason += " '" + outcome.path + "'";
                if (!outcome.reason.empty()) file.reason += ": " + outcome.reason;
            }
            cancelled = cancelled || outcome.outcome == JobOutcome::Cancelled;
        } else {
            cancelled = cancelled || stopRequested;  // stopped before this file began
        }
        summary.files.push_back(std::move(file));
    }
    JobOutcome result = JobOutcome::Completed;
    if (firstFailure != nullptr) {
        ReportFileFailure(*firstFailure, observer);
        result = JobOutcome::Failed;
    } else if (cancelled) {
        observer.ReportMessage(MessageKind::Information, "Conversion Cancelled.");
        result = JobOutcome::Cancelled;
    } else {
        ReportFilterCounts(outcomes, observer);
        observer.SetProgress(100);
        observer.ReportMessage(MessageKind::Information, "Conversion Has Been Completed!");
        if (summary.Count(FileReport::State::Skipped) > 0) result = JobOutcome::Skipped;
    }
    observer.ReportSummary(summary);
    return result;
}

}  // namespace varistrum
