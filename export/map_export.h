// SPDX-License-Identifier: GPL-3.0-or-later
// Map layer files as an output of a job: each input into its layer file, or every input into one
// merged GeoPackage.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "base/output_set.h"
#include "convert/convert_job.h"
#include "export/map_layer_writer.h"
#include "geodata/sample_layer_sink.h"
#include "report/provenance.h"

namespace varistrum {

// What the exported files hold, over the whole job.
struct MapExportReport {
    std::int64_t points = 0;
    std::int64_t routes = 0;
    std::int64_t leftOutRows = 0;
    std::int64_t unindexedFiles = 0;  // FlatGeobuf files with too many features for an index
    std::vector<std::string> files;   // written and put in place
};

// The conversion's data settings apply (receiver, averaging, best server, outage drop, scans,
// typed frequencies); the text-only settings do not. A failed or cancelled target leaves no
// file and its earlier version stays; a target of inputs that were all skipped is not written.
class MapLayerOutput : public JobOutput {
  public:
    // `outputs[i]` receives input i's layers; with `merged` set, every input goes into that one
    // GeoPackage instead, each feature naming its log in a `source_file` field.
    MapLayerOutput(std::vector<std::string> inputs, std::vector<std::string> outputs,
                   MapExportOptions options, std::stop_token stop,
                   std::optional<std::string> merged = std::nullopt);
    ~MapLayerOutput() override;

    std::vector<std::string> FilesOf(std::size_t input) const override;
    std::optional<FilesRefusal> Check() const override;
    std::optional<FileOutcome> Open(std::size_t input, InputSinks& sinks) override;
    FileOutcome Close(std::size_t input, const FilePass& pass, FileOutcome outcome) override;
    std::optional<std::string> ClosingNote() const override;

    const MapExportReport& Report() const { return report_; }

  private:
    // The target being written: its files, writer and sink.
    struct Target;

    const std::string& TargetOf(std::size_t input) const;
    bool LastOfTarget(std::size_t input) const;
    FileOutcome FinishTarget(const FilePass& pass, FileOutcome outcome);

    std::vector<std::string> inputs_;
    std::vector<std::string> outputs_;
    MapExportOptions options_;
    std::stop_token stop_;
    std::optional<std::string> merged_;
    std::unique_ptr<Target> target_;  // one at a time: map layer jobs convert one file at once
    MapExportReport report_;
};

// A single-file export's provenance record: in a GeoPackage's metadata and beside the output
// (NAME.EXT.provenance.json, put in place with it), counting the run's features, damage and
// filtered data; `run` names the input, output, settings and typed frequencies.
void RecordProvenance(MapExportOptions& options, ProvenanceRun run);

// Converts the inputs into map layer files, a job on the one runner: each input into its
// output, or, with `mergeOutput` given, every input into that one GeoPackage. The job ends as a
// text conversion does ("Conversion Has Been Completed!", "Conversion Cancelled.", "Output File
// Cannot Be Accessed!" with the file and GDAL's reason).
JobOutcome RunMapExportJob(TavrelReader& reader, const std::vector<std::string>& inputs,
                           const std::vector<std::string>& outputs,
                           const ConversionSettings& settings, const MapExportOptions& options,
                           JobObserver& observer, std::stop_token stop,
                           JobKind kind = JobKind::SingleFile, const std::string& mergeOutput = {},
                           MapExportReport* report = nullptr);

}  // namespace varistrum
