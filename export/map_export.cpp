// SPDX-License-Identifier: GPL-3.0-or-later
// The map export job: the text conversion's record loop with a layer writer as its sink.
#include "export/map_export.h"

#include <filesystem>

#include "base/job_files.h"
#include "base/output_set.h"
#include "export/gdal_support.h"
#include "geodata/sample_layer_sink.h"
#include "report/provenance.h"

namespace varistrum {

namespace {

constexpr const char* kOutputInaccessible = "Output File Cannot Be Accessed!";
constexpr const char* kNoText = "";  // the text of the record loop is not kept

// The text writer still runs for every row (it is the loop's first sink) but writes nothing.
ConversionSettings WithoutText(ConversionSettings settings) {
    settings.selectedTags.clear();
    settings.selectedTitles.clear();
    settings.fieldTitles = false;
    settings.split = false;
    settings.toStandardOutput = false;
    return settings;
}

// One output file and the inputs that go into it.
struct ExportTarget {
    std::string output;
    std::vector<std::size_t> inputs;
};

FileOutcome OutputFailure(const std::string& path, const std::string& reason,
                          DamageCounters damage = {}) {
    return {JobOutcome::Failed, kOutputInaccessible, path, reason, damage};
}

// The files every target of the job makes, for the check made before anything is written.
JobFileList JobFilesOf(const std::vector<std::string>& inputs,
                       const std::vector<ExportTarget>& targets, const MapExportOptions& options,
                       JobKind kind) {
    JobFileList files;
    files.inputs = inputs;
    files.caseInsensitive = kind == JobKind::Folder;
    for (const ExportTarget& target : targets) {
        OutputSet set;
        AddMapLayerFiles(set, target.output, options);
        files.outputs.push_back(set.Paths());
    }
    return files;
}

class MapExport {
  public:
    MapExport(TavrelReader& reader, const ConversionSettings& settings,
              const MapExportOptions& options, JobObserver& observer, std::stop_token stop,
              JobKind kind, MapExportReport& report)
        : reader_(reader),
          settings_(WithoutText(settings)),
          options_(options),
          observer_(observer),
          stop_(stop),
          kind_(kind),
          report_(report) {}

    // The outcome of the target's file: Completed, Failed, Cancelled or Skipped (every input
    // skipped: the target is then not written). Each input's own outcome goes to `outcomes`.
    FileOutcome Export(const std::vector<std::string>& inputs, const ExportTarget& target,
                       std::vector<FileOutcome>& outcomes, std::vector<bool>& started) {
        OutputSet files;
        const MapLayerFiles layerFiles = AddMapLayerFiles(files, target.output, options_);
        if (const auto refusal = files.Check())
            return {JobOutcome::Failed, refusal->message, {}, {}, {}};
        MapLayerWriter writer(options_, stop_);
        if (!writer.Open(files, layerFiles)) {
            ThrowIfOutOfMemory(writer.Error());
            const std::string path =
                files.FailedPath().empty() ? target.output : files.FailedPath();
            return OutputFailure(path, writer.Error());
        }
        SampleLayerSink sink(writer);
        RowSink* const sinks[] = {&sink};
        FileOutcome last;
        bool anyConverted = false;
        for (std::size_t index : target.inputs) {
            const std::string& input = inputs[index];
            started[index] = true;
            writer.SetSourceFile(std::filesystem::path(input).filename().string());
            last =
                kind_ == JobKind::Folder
                    ? ConvertFolderFile(reader_, input, kNoText, settings_, observer_, stop_, sinks)
                    : ConvertFile(reader_, input, kNoText, settings_, observer_, stop_, sinks);
            if (writer.Stopped()) last.outcome = JobOutcome::Cancelled;
            if (writer.LimitReached()) {
                last = {JobOutcome::Failed,
                        "'" + target.output + "' " + writer.Error(),
                        {},
                        {},
                        last.damage};
            } else if (writer.Failed() && last.outcome != JobOutcome::Cancelled) {
                ThrowIfOutOfMemory(writer.Error());
                last = OutputFailure(target.output, writer.Error(), last.damage);
            }
            outcomes[index] = last;
            if (kind_ == JobKind::SingleFile)
                ReportFileDamage(last, inputs.size() > 1 ? input : std::string(), observer_);
            if (last.outcome == JobOutcome::Skipped) continue;
            if (last.outcome != JobOutcome::Completed) {
                writer.Abandon();
                return last;
            }
            anyConverted = true;
        }
        if (!anyConverted) {
            writer.Abandon();
            return last;
        }
        std::string metadata;
        if (options_.metadataAtEnd) {
            metadata = options_.metadataAtEnd(writer.Points(), last.filters);
            writer.SetMetadata(metadata);
        }
        if (!writer.Finish()) {
            ThrowIfOutOfMemory(writer.Error());
            if (writer.Stopped()) return {JobOutcome::Cancelled, {}, {}, {}, {}};
            return OutputFailure(target.output, writer.Error());
        }
        if (layerFiles.record) {
            OutputFile* record = files.Stream(*layerFiles.record);
            if (record == nullptr) return OutputFailure(files.FailedPath(), files.FailureReason());
            record->Write(metadata);
        }
        // A stop that came while GDAL finished the files: no file is put in place.
        if (stop_.stop_requested()) return {JobOutcome::Cancelled, {}, {}, {}, {}};
        if (!files.Commit()) return OutputFailure(files.FailedPath(), files.FailureReason());
        report_.points += sink.Points();
        report_.routes += sink.Routes();
        report_.leftOutRows += sink.LeftOutRows();
        for (std::string& file : files.Paths()) report_.files.push_back(std::move(file));
        return {JobOutcome::Completed, {}, {}, {}, last.damage};
    }

  private:
    TavrelReader& reader_;
    ConversionSettings settings_;
    const MapExportOptions& options_;
    JobObserver& observer_;
    std::stop_token stop_;
    JobKind kind_;
    MapExportReport& report_;
};

}  // namespace

JobOutcome RunMapExportWithProvenance(
    TavrelReader& reader, const std::string& input, const std::string& output,
    const ConversionSettings& settings, MapExportOptions options, JobObserver& observer,
    std::stop_token stop, const std::optional<std::pair<double, double>>& typedFrequencies) {
    // Frequencies typed in the window are the reader's; the command line names its own.
    const auto typed = typedFrequencies ? typedFrequencies : reader.EnteredFrequencies();
    ProvenanceRun run{input, output, settings, typed, {}, UnixSecondsNow(), 0};
    options.provenanceRecord = true;
    options.metadataAtEnd = [&](std::int64_t features, const FilterCounts& filters) {
        run.endUnixSeconds = UnixSecondsNow();
        run.counts.features = features;
        run.counts.damagedRecords = reader.Damage().damagedRecords;
        run.counts.skippedBytes = reader.Damage().skippedBytes;
        SetFilterCounts(run.counts, filters);
        return ProvenanceJson(run);
    };
    return RunMapExportJob(reader, {input}, {output}, settings, options, observer, stop);
}

JobOutcome RunMapExportJob(TavrelReader& reader, const std::vector<std::string>& inputs,
                           const std::vector<std::string>& outputs,
                           const ConversionSettings& settings, const MapExportOptions& options,
                           JobObserver& observer, std::stop_token stop, JobKind kind,
                           const std::string& mergeOutput, MapExportReport* report) {
    if (auto problem = settings.Problem()) {
        observer.ReportMessage(MessageKind::Error, *problem);
        return JobOutcome::Failed;
    }
    MapExportReport ownReport;
    MapExportReport& r = report != nullptr ? *report : ownReport;
    std::vector<ExportTarget> targets;
    MapExportOptions exportOptions = options;
    if (!mergeOutput.empty()) {
        targets.push_back({mergeOutput, {}});
        for (std::size_t i = 0; i < inputs.size(); ++i) targets[0].inputs.push_back(i);
        exportOptions.sourceFileField = true;
    } else {
        for (std::size_t i = 0; i < std::min(inputs.size(), outputs.size()); ++i)
            targets.push_back({outputs[i], {i}});
    }
    // Every file of every target is checked before the first is written.
    if (const auto refusal = CheckJobFiles(JobFilesOf(inputs, targets, exportOptions, kind))) {
        observer.ReportFailure(MessageKind::Error, refusal->message, refusal->path, {});
        return JobOutcome::Failed;
    }
    for (const ExportTarget& target : targets) {
        OutputSet files;
        AddMapLayerFiles(files, target.output, exportOptions);
        if (const auto refusal = files.Check()) {
            observer.ReportMessage(MessageKind::Error, refusal->message);
            return JobOutcome::Failed;
        }
    }
    MapExport job(reader, settings, exportOptions, observer, stop, kind, r);
    std::vector<FileOutcome> outcomes(inputs.size());
    std::vector<bool> started(inputs.size(), false);
    std::optional<FileOutcome> failure;
    bool cancelled = false;
    for (const ExportTarget& target : targets) {
        if (target.inputs.empty()) continue;
        if (stop.stop_requested()) {
            cancelled = true;
            break;
        }
        const FileOutcome outcome = job.Export(inputs, target, outcomes, started);
        if (outcome.outcome == JobOutcome::Failed) {
            failure = outcome;
            // The input the failure came with (the last one started, or the first when the
            // output could not even be opened) carries it in a summary.
            std::size_t carrier = target.inputs.front();
            for (std::size_t index : target.inputs) {
                if (started[index]) carrier = index;
            }
            started[carrier] = true;
            outcomes[carrier] = outcome;
            break;
        }
        if (outcome.outcome == JobOutcome::Cancelled) {
            cancelled = true;
            for (std::size_t index : target.inputs) {
                if (started[index] && outcomes[index].outcome == JobOutcome::Completed)
                    outcomes[index].outcome = JobOutcome::Cancelled;
            }
            break;
        }
    }
    if (r.leftOutRows > 0 && !failure && !cancelled)
        observer.ReportMessage(MessageKind::Information, LeftOutRowsText(r.leftOutRows));
    if (kind == JobKind::Folder) {
        // A merged file is one output: none of its logs is put in place after a cancel.
        return FinishFolderJob(inputs, outcomes, started, cancelled, observer);
    }
    if (failure) {
        ReportFileFailure(*failure, observer);
        return JobOutcome::Failed;
    }
    if (cancelled) {
        observer.ReportMessage(MessageKind::Information, "Conversion Cancelled.");
        return JobOutcome::Cancelled;
    }
    observer.SetProgress(100);
    observer.ReportMessage(MessageKind::Information, "Conversion Has Been Completed!");
    ReportFilterCounts(outcomes, observer);
    bool skipped = false;
    for (const FileOutcome& outcome : outcomes)
        skipped = skipped || outcome.outcome == JobOutcome::Skipped;
    return skipped ? JobOutcome::Skipped : JobOutcome::Completed;
}

}  // namespace varistrum
