// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion jobs whose output is a map layer file instead of delimited text.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "convert/convert_job.h"
#include "export/map_layer_writer.h"

namespace varistrum {

// What the exported files hold, over the whole job.
struct MapExportReport {
    std::int64_t points = 0;
    std::int64_t routes = 0;
    std::int64_t leftOutRows = 0;
    std::vector<std::string> files;  // written and put in place
};

// Converts the inputs with the conversion's data settings (receiver, averaging, best server,
// outage drop, scans, typed frequencies; the text-only settings do not apply) into map layer
// files: each input into its output, or, with `mergeOutput` given, every input into that one
// GeoPackage with a `source_file` field. Every file the job would write is checked before
// the first is written (none is an input, none is written twice). Folder jobs skip files that
// are no logs and end with their summary, as text folder jobs do. The job ends as a text
// conversion does ("Conversion Has Been Completed!", "Conversion Cancelled.", "Output File
// Cannot Be Accessed!" with the file and GDAL's reason); a failed or cancelled output leaves
// no file and its earlier version stays.
JobOutcome RunMapExportJob(TavrelReader& reader, const std::vector<std::string>& inputs,
                           const std::vector<std::string>& outputs,
                           const ConversionSettings& settings, const MapExportOptions& options,
                           JobObserver& observer, std::stop_token stop,
                           JobKind kind = JobKind::SingleFile, const std::string& mergeOutput = {},
                           MapExportReport* report = nullptr);

// A single-file export with its provenance record: in a GeoPackage's metadata and beside the
// output (NAME.EXT.provenance.json, put in place with it), counting the run's features, damage
// and outage drops.
JobOutcome RunMapExportWithProvenance(
    TavrelReader& reader, const std::string& input, const std::string& output,
    const ConversionSettings& settings, MapExportOptions options, JobObserver& observer,
    std::stop_token stop,
    const std::optional<std::pair<double, double>>& typedFrequencies = std::nullopt);

}  // namespace varistrum
