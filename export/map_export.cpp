// SPDX-License-Identifier: GPL-3.0-or-later
// The map export job: the text conversion's record loop with a layer writer as its sink.
#include "export/map_export.h"

#include <filesystem>

#include "export/gdal_support.h"
#include "geodata/sample_layer_sink.h"
#include "report/provenance.h"

namespace varistrum {

namespace {

constexpr const char* kOutputInaccessible = "Output File Cannot Be Accessed!";
constexpr const char* kNowhere = "/dev/null";  // the text of the record loop is not kept

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

    // The outcome of the target's file: Completed, Failed, Cancelled or Skipped (in a folder,
    // a file that is no log; the target is then not written).
    FileOutcome Export(const std::vector<std::string>& inputs, const ExportTarget& target) {
        MapLayerWriter writer(options_);
        if (!writer.Open(target.output)) {
            ThrowIfOutOfMemory(writer.Error());
            return {JobOutcome::Failed, kOutputInaccessible, target.output, writer.Error(), {}};
        }
        SampleLayerSink sink(writer);
        RowSink* const sinks[] = {&sink};
        FileOutcome last;
        bool anyConverted = false;
        for (std::size_t index : target.inputs) {
            const std::string& input = inputs[index];
            writer.SetSourceFile(std::filesystem::path(input).filename().string());
            last = kind_ == JobKind::Folder
                       ? ConvertFolderFile(reader_, input, kNowhere, settings_, observer_, stop_,
                                           sinks)
                       : ConvertFile(reader_, input, kNowhere, settings_, observer_, stop_, sinks);
            if (writer.Failed()) {
                ThrowIfOutOfMemory(writer.Error());
                writer.Abandon();
                return {JobOutcome::Failed, kOutputInaccessible, target.output, writer.Error(),
                        last.damage};
            }
            ReportFileDamage(last, inputs.size() > 1 ? input : std::string(), observer_);
            if (last.outcome == JobOutcome::Skipped && target.inputs.size() > 1) {
                observer_.ReportMessage(MessageKind::Warning,
                                        "'" + input + "' is skipped: " + last.message);
                continue;
            }
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
        if (options_.metadataAtEnd) writer.SetMetadata(options_.metadataAtEnd(writer.Points()));
        if (!writer.Commit()) {
            ThrowIfOutOfMemory(writer.Error());
            return {JobOutcome::Failed, kOutputInaccessible, target.output, writer.Error(), {}};
        }
        report_.points += sink.Points();
        report_.routes += sink.Routes();
        report_.leftOutRows += sink.LeftOutRows();
        for (std::string& file : writer.OutputFiles()) report_.files.push_back(std::move(file));
        if (options_.format == MapFormat::Kml &&
            writer.Points() > MapLayerWriter::kKmlPlacemarksWarning)
            observer_.ReportMessage(MessageKind::Warning, KmlSizeWarning(writer.Points()));
        return last;
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
    options.metadataAtEnd = [&](std::int64_t features) {
        run.endUnixSeconds = UnixSecondsNow();
        run.counts.features = features;
        run.counts.damagedRecords = reader.Damage().damagedRecords;
        run.counts.skippedBytes = reader.Damage().skippedBytes;
        run.counts.rowsDroppedInOutages = reader.State().droppedInOutages;
        return ProvenanceJson(run);
    };
    const JobOutcome outcome =
        RunMapExportJob(reader, {input}, {output}, settings, options, observer, stop);
    std::string reason;
    if (outcome != JobOutcome::Completed || WriteProvenanceFile(run, reason)) return outcome;
    observer.ReportFailure(MessageKind::Error, kOutputInaccessible, ProvenancePathOf(output),
                           reason);
    return JobOutcome::Failed;
}

std::string KmlSizeWarning(std::int64_t placemarks) {
    return "The KML holds " + std::to_string(placemarks) +
           " placemarks: Google Earth becomes slow beyond " +
           std::to_string(MapLayerWriter::kKmlPlacemarksWarning) +
           ". 40-lambda averaging or best server gives fewer.";
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
        for (const std::string& input : inputs) {
            if (!AcceptJobFiles({input}, {mergeOutput}, observer)) return JobOutcome::Failed;
        }
        targets.push_back({mergeOutput, {}});
        for (std::size_t i = 0; i < inputs.size(); ++i) targets[0].inputs.push_back(i);
        exportOptions.sourceFileField = true;
    } else {
        if (!AcceptJobFiles(inputs, outputs, observer)) return JobOutcome::Failed;
        for (std::size_t i = 0; i < std::min(inputs.size(), outputs.size()); ++i)
            targets.push_back({outputs[i], {i}});
    }
    reader.SelectReceiver(settings.receivers.receiver1 ? 1 : 2);
    MapExport job(reader, settings, exportOptions, observer, stop, kind, r);
    bool skipped = false;
    for (const ExportTarget& target : targets) {
        if (stop.stop_requested()) break;
        const FileOutcome outcome = job.Export(inputs, target);
        if (outcome.outcome == JobOutcome::Failed) {
            ReportFileFailure(outcome, observer);
            return JobOutcome::Failed;
        }
        if (outcome.outcome == JobOutcome::Cancelled) break;
        if (outcome.outcome == JobOutcome::Skipped) {
            skipped = true;
            observer.ReportMessage(MessageKind::Warning,
                                   "'" + outcome.path + "' is skipped: " + outcome.message);
        }
    }
    if (stop.stop_requested()) {
        observer.ReportMessage(MessageKind::Information, "Conversion Cancelled.");
        return JobOutcome::Cancelled;
    }
    if (r.leftOutRows > 0)
        observer.ReportMessage(MessageKind::Information, LeftOutRowsText(r.leftOutRows));
    observer.SetProgress(100);
    observer.ReportMessage(MessageKind::Information, "Conversion Has Been Completed!");
    return skipped ? JobOutcome::Skipped : JobOutcome::Completed;
}

}  // namespace varistrum
