// SPDX-License-Identifier: GPL-3.0-or-later
// A job as a front end asks for it: what it reads, what it writes and with which settings.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bins/coverage_output.h"
#include "convert/conversion_settings.h"
#include "convert/job_runner.h"
#include "export/map_layer_writer.h"

namespace varistrum {

// What a job writes for each log: its text, its map layers, or its coverage in cells (one log).
enum class JobProduct { Text, MapLayers, CoverageBins };

struct JobRequest {
    JobKind kind = JobKind::SingleFile;
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;  // one per input
    ConversionSettings settings;
    JobProduct product = JobProduct::Text;
    MapExportOptions layers;  // the map layers' format and options
    // The cells, channel, statistics and colours of a coverage job; its file is outputs[0] and
    // its rows are read with CoverageSettingsOf(settings).
    CoverageRequest coverage;
    std::optional<std::string> merge;  // a folder's logs into this one GeoPackage instead
    bool provenance = false;           // a single file's record beside its output
    int filesAtOnce = 1;               // text folder jobs: files converted at once
    // A 40-lambda folder job lists its sparse windows after its summary: in one message (the
    // window's closing box) or one message a line (the command line).
    bool sparseWindowsInOneMessage = false;
};

}  // namespace varistrum
