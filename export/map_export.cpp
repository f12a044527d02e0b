// SPDX-License-Identifier: GPL-3.0-or-later
// Map layer files of a job: a layer writer as the sink of each input's rows.
#include "export/map_export.h"

#include <filesystem>

#include "export/gdal_support.h"

namespace varistrum {

namespace {

constexpr const char* kOutputInaccessible = "Output File Cannot Be Accessed!";

FileOutcome OutputFailure(const std::string& path, const std::string& reason,
                          const FileOutcome& from) {
    FileOutcome failure = from;
    failure.outcome = JobOutcome::Failed;
    failure.message = kOutputInaccessible;
    failure.path = path;
    failure.reason = reason;
    return failure;
}

}  // namespace

struct MapLayerOutput::Target {
    OutputSet files;
    MapLayerFiles layerFiles;
    std::unique_ptr<MapLayerWriter> writer;
    std::unique_ptr<SampleLayerSink> sink;
    bool anyConverted = false;
    FileOutcome last;  // of the target's last input
};

MapLayerOutput::MapLayerOutput(std::vector<std::string> inputs, std::vector<std::string> outputs,
                               MapExportOptions options, std::stop_token stop,
                               std::optional<std::string> merged)
    : inputs_(std::move(inputs)),
      outputs_(std::move(outputs)),
      options_(std::move(options)),
      stop_(stop),
      merged_(std::move(merged)) {
    if (merged_) options_.sourceFileField = true;
}

MapLayerOutput::~MapLayerOutput() = default;

const std::string& MapLayerOutput::TargetOf(std::size_t input) const {
    return merged_ ? *merged_ : outputs_[input];
}

bool MapLayerOutput::LastOfTarget(std::size_t input) const {
    return !merged_ || input + 1 == inputs_.size();
}

std::vector<std::string> MapLayerOutput::FilesOf(std::size_t input) const {
    // A merged file is named once, with the first input.
    if (merged_ ? input != 0 : input >= outputs_.size()) return {};
    OutputSet set;
    AddMapLayerFiles(set, TargetOf(input), options_);
    return set.Paths();
}

std::optional<FilesRefusal> MapLayerOutput::Check() const {
    for (std::size_t i = 0; i < (merged_ ? 1 : outputs_.size()); ++i) {
        OutputSet files;
        AddMapLayerFiles(files, TargetOf(i), options_);
        if (const auto refusal = files.Check()) return FilesRefusal{refusal->message, {}};
    }
    return std::nullopt;
}

std::optional<FileOutcome> MapLayerOutput::Open(std::size_t input, InputSinks& sinks) {
    if (target_ == nullptr) {
        auto target = std::make_unique<Target>();
        const std::string& path = TargetOf(input);
        target->layerFiles = AddMapLayerFiles(target->files, path, options_);
        if (const auto refusal = target->files.Check()) {
            FileOutcome failure;
            failure.outcome = JobOutcome::Failed;
            failure.message = refusal->message;
            return failure;
        }
        target->writer = std::make_unique<MapLayerWriter>(options_, stop_);
        if (!target->writer->Open(target->files, target->layerFiles)) {
            ThrowIfOutOfMemory(target->writer->Error());
            const std::string failed =
                target->files.FailedPath().empty() ? path : target->files.FailedPath();
            return OutputFailure(failed, target->writer->Error(), {});
        }
        target->sink = std::make_unique<SampleLayerSink>(*target->writer);
        target_ = std::move(target);
    }
    target_->writer->SetSourceFile(std::filesystem::path(inputs_[input]).filename().string());
    sinks.rows.push_back(target_->sink.get());
    return std::nullopt;
}

FileOutcome MapLayerOutput::Close(std::size_t input, const FilePass& pass, FileOutcome outcome) {
    if (target_ == nullptr) return outcome;  // nothing opened (a skipped first input, say)
    MapLayerWriter& writer = *target_->writer;
    const std::string& path = TargetOf(input);
    if (writer.Stopped()) outcome.outcome = JobOutcome::Cancelled;
    if (writer.LimitReached()) {
        outcome.outcome = JobOutcome::Failed;
        outcome.message = "'" + path + "' " + writer.Error();
        outcome.path.clear();
        outcome.reason.clear();
    } else if (writer.Failed() && outcome.outcome != JobOutcome::Cancelled) {
        ThrowIfOutOfMemory(writer.Error());
        outcome = OutputFailure(path, writer.Error(), outcome);
    }
    const bool converted = outcome.outcome == JobOutcome::Completed;
    target_->anyConverted = target_->anyConverted || converted;
    if (outcome.outcome != JobOutcome::Completed && outcome.outcome != JobOutcome::Skipped) {
        target_.reset();  // a failed or cancelled input leaves no file of its target
        return outcome;
    }
    if (!LastOfTarget(input)) return outcome;
    if (!target_->anyConverted) {
        target_.reset();
        return outcome;
    }
    outcome = FinishTarget(pass, std::move(outcome));
    target_.reset();
    return outcome;
}

FileOutcome MapLayerOutput::FinishTarget(const FilePass& pass, FileOutcome outcome) {
    Target& target = *target_;
    MapLayerWriter& writer = *target.writer;
    const std::string path = target.files.PathOf(target.layerFiles.layer);
    std::string metadata;
    if (options_.metadataAtEnd) {
        metadata = options_.metadataAtEnd(writer.Points(), pass);
        writer.SetMetadata(metadata);
    }
    FileOutcome cancelled = outcome;
    cancelled.outcome = JobOutcome::Cancelled;
    if (!writer.Finish()) {
        ThrowIfOutOfMemory(writer.Error());
        if (writer.Stopped()) return cancelled;
        return OutputFailure(path, writer.Error(), outcome);
    }
    if (target.layerFiles.record) {
        OutputFile* record = target.files.Stream(*target.layerFiles.record);
        if (record == nullptr)
            return OutputFailure(target.files.FailedPath(), target.files.FailureReason(), outcome);
        record->Write(metadata);
    }
    // A stop that came while GDAL finished the files: no file is put in place.
    if (stop_.stop_requested()) return cancelled;
    if (!target.files.Commit())
        return OutputFailure(target.files.FailedPath(), target.files.FailureReason(), outcome);
    report_.points += target.sink->Points();
    report_.routes += target.sink->Routes();
    report_.leftOutRows += target.sink->LeftOutRows();
    if (writer.Unindexed()) ++report_.unindexedFiles;
    for (std::string& file : target.files.Paths()) report_.files.push_back(std::move(file));
    return outcome;
}

std::optional<std::string> MapLayerOutput::ClosingNote() const {
    std::string note;
    if (report_.leftOutRows > 0) note = LeftOutRowsText(report_.leftOutRows);
    if (report_.unindexedFiles > 0) {
        if (!note.empty()) note += ". ";
        note += UnindexedText(report_.unindexedFiles);
    }
    if (note.empty()) return std::nullopt;
    return note;
}

void RecordProvenance(MapExportOptions& options, ProvenanceRun run) {
    auto record = std::make_shared<ProvenanceRun>(std::move(run));
    record->startUnixSeconds = UnixSecondsNow();
    options.provenanceRecord = true;
    options.metadataAtEnd = [record](std::int64_t features, const FilePass& pass) {
        record->endUnixSeconds = UnixSecondsNow();
        record->counts.features = features;
        CountPass(record->counts, pass);
        return ProvenanceJson(*record);
    };
}

JobOutcome RunMapExportJob(TavrelReader& reader, const std::vector<std::string>& inputs,
                           const std::vector<std::string>& outputs,
                           const ConversionSettings& settings, const MapExportOptions& options,
                           JobObserver& observer, std::stop_token stop, JobKind kind,
                           const std::string& mergeOutput, MapExportReport* report) {
    JobSpec job{inputs, kind, settings, 1};
    std::vector<std::string> targets(
        outputs.begin(),
        outputs.begin() + static_cast<std::ptrdiff_t>(std::min(inputs.size(), outputs.size())));
    if (mergeOutput.empty()) job.inputs.resize(targets.size());
    MapLayerOutput layers(
        job.inputs, targets, options, stop,
        mergeOutput.empty() ? std::nullopt : std::optional<std::string>(mergeOutput));
    JobOutput* const written[] = {&layers};
    const JobOutcome outcome = RunJob(reader, job, written, observer, stop);
    if (report != nullptr) *report = layers.Report();
    return outcome;
}

}  // namespace varistrum
