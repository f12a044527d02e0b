// SPDX-License-Identifier: GPL-3.0-or-later
// The steps of a job on the one runner, shared by the window and the command line.
#include "workflow/workflow.h"

#include <algorithm>
#include <fstream>
#include <memory>

#include "convert/convert_job.h"
#include "convert/text_output.h"
#include "export/map_export.h"
#include "logfile/identify.h"
#include "report/provenance.h"

namespace varistrum {

namespace {

constexpr const char* kNotALog = "File is not from a QTX CW product.";

// Registers the files a single output of the request makes, as its set would.
void AddOutputFiles(OutputSet& files, const JobRequest& request, const std::string& output) {
    if (request.product == JobProduct::CoverageBins) {
        if (const auto format = CoverageFormatOfPath(output))
            AddCoverageFiles(files, output, *format);
        else
            files.Add(output, kCoverageRasterOutput);
        return;
    }
    if (request.product == JobProduct::MapLayers) {
        AddMapLayerFiles(files, output, request.layers);
        return;
    }
    files.Add(output, kTextOutput);
    if (request.provenance)
        files.Add(ProvenancePathOf(output), kJsonRecordOutput, OutputSet::Naming::Derived);
}

std::vector<std::string> OutputFilesOf(const JobRequest& request, const std::string& output) {
    OutputSet files;
    AddOutputFiles(files, request, output);
    return files.Paths();
}

}  // namespace

IdentifiedLog Workflow::Identify(const std::string& path) {
    IdentifiedLog log;
    std::string failure;
    log.format = IdentifyLogFile(path, &failure);
    if (!failure.empty()) {
        log.refusal = failure == kNotRegularFile ? kNotRegularFile : "Cannot open";
        log.reason = failure;
    } else if (!log.Recognised()) {
        log.refusal = kNotALog;
    }
    return log;
}

IndexOutcome Workflow::Index(const std::string& path, int format, IndexView& view,
                             std::stop_token stop, std::optional<ReceiverChoice> lambdaReceivers) {
    sparse_.reset();
    std::optional<LambdaSamplingGatherer> gatherer;
    DecodedRecordObserver alongside;
    if (lambdaReceivers) {
        gatherer.emplace(reader_, *lambdaReceivers);
        alongside = [&gatherer](const DecodedRecord& record) { gatherer->Decoded(record); };
    }
    const IndexOutcome outcome = RunIndexPass(reader_, format, path, view, stop, alongside);
    frequenciesNeeded_ = reader_.State().frequenciesNeeded;
    plans_ = reader_.State().plans;
    if (gatherer && outcome == IndexOutcome::Indexed) {
        if (auto warnings = gatherer->Finish())
            sparse_ = GatheredSparseWindows{path, *lambdaReceivers, std::move(*warnings)};
    }
    return outcome;
}

int Workflow::ScanCount() const {
    return reader_.State().ScanIndex;
}

std::optional<int> Workflow::MissingScan(const std::vector<int>& scans) const {
    for (int n : scans) {
        if (n > ScanCount()) return n;
    }
    return std::nullopt;
}

bool Workflow::FrequenciesNeeded() const {
    return frequenciesNeeded_ && !typed_;
}

FrequencyQuestion Workflow::Question() const {
    return {ReceiverRange(plans_[0]), ReceiverRange(plans_[1])};
}

std::optional<FrequencyRefusal> Workflow::TypeFrequencies(double receiver1MHz,
                                                          double receiver2MHz) {
    if (auto refusal = CheckTypedFrequencies(plans_, receiver1MHz, receiver2MHz)) return refusal;
    typed_ = TypedFrequenciesOf(plans_, receiver1MHz, receiver2MHz);
    return std::nullopt;
}

std::optional<std::pair<double, double>> Workflow::TypedMHz() const {
    if (!typed_) return std::nullopt;
    return std::make_pair(typed_->receiver1MHz, typed_->receiver2MHz);
}

std::optional<TypedCodes> Workflow::TypedChannelCodes() const {
    if (!typed_) return std::nullopt;
    return typed_->codes;
}

ConversionSettings Workflow::SettingsOf(const JobRequest& request) const {
    ConversionSettings settings = request.settings;
    if (!settings.typed) settings.typed = TypedChannelCodes();
    return settings;
}

std::optional<FilesRefusal> Workflow::CheckFiles(const JobRequest& request) {
    // The files of each output, each suited to where it is written ...
    if (!request.settings.toStandardOutput) {
        const std::vector<std::string> targets =
            request.merge ? std::vector<std::string>{*request.merge} : request.outputs;
        for (const std::string& output : targets) {
            OutputSet files;
            AddOutputFiles(files, request, output);
            // A text alone says why it cannot be opened when it is opened.
            if (files.Size() == 1 && request.product == JobProduct::Text) continue;
            if (const auto refusal = files.Check()) return FilesRefusal{refusal->message, {}};
        }
    }
    // A split reads its output back: the output must be a file.
    if (request.product == JobProduct::Text && request.settings.split &&
        !request.settings.toStandardOutput) {
        for (const std::string& output : request.outputs) {
            if (ClassifyTarget(output).TakesStream())
                return FilesRefusal{
                    "'" + output + "' is not a regular file; an output split into parts needs one.",
                    {}};
        }
    }
    // ... and none of them an input or another's.
    JobFileList job;
    job.inputs = request.inputs;
    job.caseInsensitive = request.kind == JobKind::Folder;
    for (std::size_t i = 0; i < request.inputs.size(); ++i) {
        if (request.settings.toStandardOutput) break;
        if (request.merge) {
            if (i == 0) job.outputs.push_back(OutputFilesOf(request, *request.merge));
            continue;
        }
        if (i < request.outputs.size())
            job.outputs.push_back(OutputFilesOf(request, request.outputs[i]));
    }
    return CheckJobFiles(job);
}

LambdaWarnings Workflow::SparseWindows(const JobRequest& request, std::stop_token stop) {
    if (request.inputs.empty()) return {};
    // Typed frequencies give channels the index pass did not know.
    if (sparse_ && !frequenciesNeeded_ && sparse_->path == request.inputs.front() &&
        sparse_->receivers == request.settings.receivers)
        return SelectedWarnings(sparse_->warnings, &request.settings.scans);
    ReportRequest check;
    check.receivers = request.settings.receivers;
    check.selection = &request.settings.scans;
    check.typed = TypedChannelCodes();
    return CheckLambdaSampling(reader_, request.inputs.front(), check, stop);
}

JobOutcome Workflow::Run(const JobRequest& request, JobObserver& jobObserver, std::stop_token stop,
                         std::vector<FileOutcome>* outcomes) {
    const JobSpec job{request.inputs, request.kind, SettingsOf(request), request.filesAtOnce};
    // A folder's 40-lambda job lists its sparse windows after its summary.
    std::optional<SparseWindowSummary> sparse;
    JobObserver* observer = &jobObserver;
    if (request.kind == JobKind::Folder && job.settings.averageType == kAverageLambda) {
        sparse.emplace(jobObserver, TypedChannelCodes(), job.settings.receivers,
                       request.sparseWindowsInOneMessage);
        observer = &*sparse;
    }
    const bool record = request.provenance && request.kind == JobKind::SingleFile &&
                        request.inputs.size() == 1 && request.outputs.size() == 1;
    ProvenanceRun run{record ? request.inputs.front() : std::string(),
                      record ? request.outputs.front() : std::string(),
                      job.settings,
                      TypedMHz(),
                      {},
                      UnixSecondsNow(),
                      0};
    if (request.product == JobProduct::CoverageBins) {
        // The cells take the samples before any reduction: the one place that says so.
        JobSpec cellsJob = job;
        cellsJob.settings = CoverageSettingsOf(job.settings);
        NoteThresholdLeftOut(job.settings, *observer);
        CoverageRequest coverage = request.coverage;
        coverage.output = request.outputs.empty() ? std::string() : request.outputs.front();
        CoverageOutput cells(std::move(coverage), *observer, stop);
        JobOutput* const written[] = {&cells};
        return RunJob(reader_, cellsJob, written, *observer, stop, outcomes);
    }
    if (request.product == JobProduct::MapLayers) {
        MapExportOptions options = request.layers;
        if (record) RecordProvenance(options, run);
        MapLayerOutput layers(request.inputs, request.outputs, options, stop, request.merge);
        JobOutput* const written[] = {&layers};
        return RunJob(reader_, job, written, *observer, stop, outcomes);
    }
    TextOutput text(request.outputs, job.settings, *observer);
    if (record) {
        text.AddCompanion({ProvenancePathOf(request.outputs.front()), &kJsonRecordOutput,
                           [run](const std::string& writtenText, const FilePass& pass) mutable {
                               run.endUnixSeconds = UnixSecondsNow();
                               run.counts.outputLines = CountLines(writtenText);
                               CountPass(run.counts, pass);
                               return ProvenanceJson(run);
                           }});
    }
    JobOutput* const written[] = {&text};
    return RunJob(reader_, job, written, *observer, stop, outcomes);
}

std::int64_t CountLines(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::int64_t lines = 0;
    std::vector<char> chunk(1 << 16);
    while (file.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) ||
           file.gcount() > 0) {
        lines += std::count(chunk.begin(), chunk.begin() + file.gcount(), '\n');
    }
    return lines;
}

}  // namespace varistrum
