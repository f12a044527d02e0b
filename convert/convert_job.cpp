// SPDX-License-Identifier: GPL-3.0-or-later
// The record loop of a conversion and the worker that runs it.
#include "convert/convert_job.h"

#include "base/output_set.h"
#include "convert/conversion_stages.h"
#include "convert/gps_outage_pass.h"
#include "convert/output_lines.h"
#include "convert/output_split.h"
#include "filters/row_pipeline.h"
#include "logfile/identify.h"
#include "logfile/record_loop.h"

namespace varistrum {

namespace {

constexpr const char* kInputMissing = "Input File Does Not Exist!";
constexpr const char* kInputUnreadable = "Input File Cannot Be Read!";
constexpr const char* kOutputInaccessible = "Output File Cannot Be Accessed!";
constexpr const char* kNotALog = "File is not from a QTX CW product.";
constexpr const char* kNeedsFrequencies = "Receiver frequencies must be entered before converting.";

FileOutcome Failure(std::string message, std::string path, std::string reason) {
    return {JobOutcome::Failed, std::move(message), std::move(path), std::move(reason), {}};
}

FileOutcome InputFailure(const std::string& input) {
    return Failure(kInputMissing, input, InputFailureReason(input));
}

// Receiver samples without a frequency definition, and none typed: the index pass's rule.
bool NeededTypedFrequencies(const TavrelReader& reader, const RowAssembler& assembler,
                            const ConversionSettings& settings) {
    return assembler.SamplesSeen() && !reader.State().list32Seen && !settings.typed;
}

// Splits the finished output when asked, and removes the parts of an earlier, longer run.
std::optional<FileOutcome> SplitAndTidy(std::int64_t lines, const std::string& output,
                                        JobObserver& observer) {
    int parts = 0;
    if (lines > kSplitLines) {
        SplitReport report;
        if (auto problem = SplitOutputFile(output, observer, &report))
            return Failure(*problem, report.path, report.reason);
        parts = report.parts;
    }
    if (const int removed = RemoveStaleParts(output, parts); removed > 0) {
        observer.ReportMessage(
            MessageKind::Information,
            std::to_string(removed) + " part file(s) of an earlier run removed.");
    }
    return std::nullopt;
}

// Standing still and the Velocity threshold need good fixes: a log without them says so.
void WarnOfFiltersWithoutFixes(const TavrelReader& reader, const std::string& input,
                               const ConversionSettings& settings, JobObserver& observer) {
    const StatisticsCounters& counts = reader.State().counters;
    if (counts.gps3dLock + counts.gps2dLock > 0) return;
    const std::string log = "'" + input + "' has no good GPS fix (2D or 3D): ";
    if (settings.dropStandingStill)
        observer.ReportMessage(MessageKind::Warning,
                               log + "no data was dropped for standing still.");
    if (settings.threshold && settings.thresholdRule.field == ThresholdField::Velocity)
        observer.ReportMessage(MessageKind::Warning,
                               log + "the Velocity threshold dropped every row.");
}

FileOutcome ConvertOne(TavrelReader& reader, const std::string& input, const std::string& output,
                       const ConversionSettings& settings, JobObserver& observer,
                       std::stop_token stop, bool skipWithoutFrequencies,
                       std::span<RowSink* const> extraSinks,
                       std::span<const CompanionFile> companions = {}) {
    // One pre-pass lists both the GPS outages and the stops.
    OutageListing listing;
    if (settings.dropOutages || settings.dropStandingStill) {
        PrePassRequest request;
        if (settings.dropOutages) request.outageSeconds = settings.outageSeconds;
        if (settings.dropStandingStill) request.standStill = settings.standStill;
        listing = GpsPrePass(reader, input, request, stop);
        if (!listing.opened) return InputFailure(input);
        if (listing.end == LoopEnd::ReadError)
            return Failure(kInputUnreadable, input, listing.failureReason);
    }
    if (stop.stop_requested()) return {JobOutcome::Cancelled, {}, {}, {}, {}};
    if (reader.Open(input) != 0) return InputFailure(input);
    // The text goes alone to standard output or nowhere, or into the output's set of files.
    OutputFile direct;
    OutputSet files;
    OutputFile* text = &direct;
    if (settings.toStandardOutput) {
        direct.UseStandardOutput();
    } else if (output.empty()) {
        direct.UseNowhere();
    } else {
        const std::size_t index = files.Add(output, kTextOutput);
        for (const CompanionFile& companion : companions)
            files.Add(companion.path, *companion.kind, OutputSet::Naming::Derived);
        if (const auto refusal = companions.empty() ? std::nullopt : files.Check()) {
            reader.Close();
            return Failure(refusal->message, {}, {});
        }
        text = files.Stream(index);
    }
    if (text == nullptr || text->Failed()) {
        reader.Close();
        return Failure(kOutputInaccessible, output,
                       text ? text->FailureReason() : files.FailureReason());
    }
    OutputFile& file = *text;
    PercentGauge gauge(observer, reader.FileSize());
    gauge.Reset();

    ConversionSettings fileSettings = settings;
    if (!fileSettings.typed) fileSettings.typed = reader.TypedChannelCodes();
    ConversionStages stages(fileSettings, std::move(listing.starts), std::move(listing.stops));
    RowAssembler assembler(stages.Assembly(), stages.Placement());
    OutputLines lines(file, settings);
    std::vector<RowSink*> sinks{&lines};
    sinks.insert(sinks.end(), extraSinks.begin(), extraSinks.end());
    RowPipeline rows(assembler, stages.RecordStages(), stages.RowStages(), std::move(sinks));
    const LoopResult loop = RunRecordLoop(
        reader, stop, [&](int percent) { gauge.Show(percent); },
        [&](const RecordBuffer& buffer) {
            rows.Feed(reader.DecodeRecord(buffer), reader.State());
            return !rows.Failed();
        });
    if (loop.end == LoopEnd::EndOfData) rows.EndOfRows();
    const std::string readFailure = reader.ReadFailureReason();
    reader.Close();
    // A read error ends the file as a failure: the output written so far is not put in place.
    if (loop.end == LoopEnd::ReadError) {
        file.Discard();
        return Failure(kInputUnreadable, input, readFailure);
    }
    gauge.Show(100);
    const bool cancelled = loop.end == LoopEnd::Cancelled;
    if (!cancelled && skipWithoutFrequencies &&
        NeededTypedFrequencies(reader, assembler, fileSettings)) {
        file.Discard();
        return {JobOutcome::Skipped, kNeedsFrequencies, input, {}, {}};
    }
    // A cancelled file is put in place as far as it was written, in whole lines.
    if (file.Failed() || !file.Finish()) {
        const std::string reason = file.FailureReason();
        file.Discard();
        return Failure(kOutputInaccessible, output, reason);
    }
    if (text == &direct) {
        if (!direct.Close()) return Failure(kOutputInaccessible, output, direct.FailureReason());
    } else {
        for (std::size_t i = 0; !cancelled && i < companions.size(); ++i) {
            OutputFile* companion = files.Stream(i + 1);
            if (companion == nullptr) break;
            companion->Write(companions[i].contents(file.WrittenPath(), stages.Counts()));
        }
        if (!files.FailedPath().empty() || !files.Commit())
            return Failure(kOutputInaccessible, files.FailedPath(), files.FailureReason());
    }
    if (settings.split && !settings.toStandardOutput && !output.empty()) {
        if (auto failure = SplitAndTidy(rows.Rows(), output, observer)) return *failure;
    }
    if (!cancelled) WarnOfFiltersWithoutFixes(reader, input, settings, observer);
    FileOutcome outcome{
        cancelled ? JobOutcome::Cancelled : JobOutcome::Completed, {}, {}, {}, loop.damage};
    outcome.filters = stages.Counts();
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

}  // namespace

FileOutcome ConvertFile(TavrelReader& reader, const std::string& input, const std::string& output,
                        const ConversionSettings& settings, JobObserver& observer,
                        std::stop_token stop, std::span<RowSink* const> extraSinks,
                        std::span<const CompanionFile> companions) {
    return ConvertOne(reader, input, output, settings, observer, stop, false, extraSinks,
                      companions);
}

FileOutcome ConvertFolderFile(TavrelReader& reader, const std::string& input,
                              const std::string& output, const ConversionSettings& settings,
                              JobObserver& observer, std::stop_token stop,
                              std::span<RowSink* const> extraSinks) {
    const int format = IdentifyLogFile(input);
    if (format == kFormatNone) {
        const std::string reason = InputFailureReason(input);
        return {JobOutcome::Skipped, reason.empty() ? kNotALog : reason, input, {}, {}};
    }
    reader.SetInputFormat(format);
    return ConvertOne(reader, input, output, settings, observer, stop, true, extraSinks);
}

bool AcceptJobFiles(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs,
                    JobObserver& observer) {
    JobFileList files;
    files.inputs = inputs;
    for (const std::string& output : outputs) files.outputs.push_back({output});
    return AcceptJobFiles(files, observer);
}

bool AcceptJobFiles(const JobFileList& files, JobObserver& observer) {
    const auto refusal = CheckJobFiles(files);
    if (refusal) observer.ReportFailure(MessageKind::Error, refusal->message, refusal->path, {});
    return !refusal;
}

JobFileList TextJobFiles(const std::vector<std::string>& inputs,
                         const std::vector<std::string>& outputs,
                         const ConversionSettings& settings, JobKind kind,
                         std::span<const CompanionFile> companions) {
    JobFileList files;
    files.inputs = inputs;
    files.caseInsensitive = kind == JobKind::Folder;
    for (const std::string& output : outputs) {
        std::vector<std::string> written{output};
        for (const CompanionFile& companion : companions) written.push_back(companion.path);
        if (settings.split) {
            for (std::string& part : ExistingParts(output)) written.push_back(std::move(part));
        }
        files.outputs.push_back(std::move(written));
    }
    return files;
}

bool AcceptTextJob(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs,
                   const ConversionSettings& settings, JobKind kind, JobObserver& observer,
                   std::span<const CompanionFile> companions) {
    if (!AcceptJobFiles(TextJobFiles(inputs, outputs, settings, kind, companions), observer))
        return false;
    // A split reads its output back: the output must be a file.
    if (!settings.split || settings.toStandardOutput) return true;
    for (const std::string& output : outputs) {
        if (!ClassifyTarget(output).TakesStream()) continue;
        observer.ReportMessage(MessageKind::Error, "'" + output +
                                                       "' is not a regular file; an output split "
                                                       "into parts needs one.");
        return false;
    }
    return true;
}

void ReportFileDamage(const FileOutcome& outcome, const std::string& path, JobObserver& observer) {
    if (outcome.damage.Any()) observer.ReportDamage(path, outcome.damage);
}

void ReportFilterCounts(std::span<const FileOutcome> outcomes, JobObserver& observer) {
    FilterCounts total;
    for (const FileOutcome& outcome : outcomes) total += outcome.filters;
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
        observer.SetProgress(100);
        observer.ReportMessage(MessageKind::Information, "Conversion Has Been Completed!");
        ReportFilterCounts(outcomes, observer);
        if (summary.Count(FileReport::State::Skipped) > 0) result = JobOutcome::Skipped;
    }
    observer.ReportSummary(summary);
    return result;
}

JobOutcome RunConversionJob(TavrelReader& reader, const std::vector<std::string>& inputs,
                            const std::vector<std::string>& outputs,
                            const ConversionSettings& settings, JobObserver& observer,
                            std::stop_token stop, JobKind kind,
                            std::span<const CompanionFile> companions, FileOutcome* last) {
    if (auto problem = settings.Problem()) {
        observer.ReportMessage(MessageKind::Error, *problem);
        return JobOutcome::Failed;
    }
    if (kind == JobKind::Folder) companions = {};
    if (!AcceptTextJob(inputs, outputs, settings, kind, observer, companions))
        return JobOutcome::Failed;
    const std::size_t count = std::min(inputs.size(), outputs.size());
    if (kind == JobKind::Folder) {
        std::vector<FileOutcome> outcomes(count);
        std::vector<bool> started(count, false);
        for (std::size_t i = 0; i < count && !stop.stop_requested(); ++i) {
            started[i] = true;
            outcomes[i] =
                ConvertFolderFile(reader, inputs[i], outputs[i], settings, observer, stop);
            if (outcomes[i].outcome == JobOutcome::Failed) break;
        }
        return FinishFolderJob(inputs, outcomes, started, stop.stop_requested(), observer);
    }
    std::vector<FileOutcome> results;
    for (std::size_t i = 0; i < count; ++i) {
        const FileOutcome result =
            ConvertFile(reader, inputs[i], outputs[i], settings, observer, stop, {}, companions);
        results.push_back(result);
        if (last != nullptr) *last = result;
        ReportFileDamage(result, count > 1 ? inputs[i] : std::string(), observer);
        if (result.outcome == JobOutcome::Failed) {
            ReportFileFailure(result, observer);
            return JobOutcome::Failed;
        }
        if (result.outcome == JobOutcome::Cancelled || stop.stop_requested()) {
            observer.ReportMessage(MessageKind::Information, "Conversion Cancelled.");
            return JobOutcome::Cancelled;
        }
    }
    observer.SetProgress(100);
    observer.ReportMessage(MessageKind::Information, "Conversion Has Been Completed!");
    ReportFilterCounts(results, observer);
    return JobOutcome::Completed;
}

TConvert::TConvert(TavrelReader& reader, JobObserver& observer, bool createSuspended)
    : reader_(reader), observer_(observer) {
    if (!createSuspended) Resume();
}

void TConvert::SetFiles(std::vector<std::string> inputs, std::vector<std::string> outputs,
                        JobKind kind) {
    inputs_ = std::move(inputs);
    outputs_ = std::move(outputs);
    kind_ = kind;
}

void TConvert::Resume() {
    Start(
        [this](std::stop_token stop) {
            outcome_ = runner_
                           ? runner_(reader_, inputs_, outputs_, settings_, observer_, stop, kind_)
                           : RunConversionJob(reader_, inputs_, outputs_, settings_, observer_,
                                              stop, kind_);
        },
        [this](const std::string& failure) {
            outcome_ = JobOutcome::Failed;
            observer_.ReportMessage(MessageKind::Error, failure);
        });
}

}  // namespace varistrum
