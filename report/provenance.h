// SPDX-License-Identifier: GPL-3.0-or-later
// How an output was made, as JSON written beside it (NAME.EXT.provenance.json) or carried in an
// export's metadata: program version, the input's name, size and SHA-256, every setting used,
// the run's counts and its start and end time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "convert/conversion_settings.h"
#include "convert/job_runner.h"

namespace varistrum {

struct ProvenanceCounts {
    std::int64_t outputLines = 0;  // lines of the output text (header records included)
    std::int64_t features = -1;    // points of a map layer export; -1 for text output
    std::int64_t damagedRecords = 0;
    std::int64_t skippedBytes = 0;
    std::int64_t rowsDroppedInOutages = 0;      // data records ignored inside GPS outages
    std::int64_t rowsDroppedStandingStill = 0;  // data records dropped while standing still
    std::int64_t stops = 0;                     // stops found (standing still on)
    std::int64_t stoppedSeconds = 0;            // their seconds, first to last fix
    std::int64_t rowsDroppedByThreshold = 0;    // rows that did not meet the threshold
};

struct ProvenanceRun {
    std::string input;   // path of the input file (read for its size and SHA-256)
    std::string output;  // path of the output; empty when there is none
    ConversionSettings settings;
    std::optional<std::pair<double, double>> typedFrequencies;  // MHz, receivers 1 and 2
    ProvenanceCounts counts;
    std::int64_t startUnixSeconds = 0;  // UTC
    std::int64_t endUnixSeconds = 0;
};

// The counts a file's pass gives the record (damage, data dropped by the filters).
void CountPass(ProvenanceCounts& counts, const FilePass& pass);

// The JSON text (one object, '\n' at the end); the input's size and digest are null when the
// file cannot be read.
std::string ProvenanceJson(const ProvenanceRun& run);

// "2026-12-08T10:15:00Z"
std::string UtcTimeText(std::int64_t unixSeconds);
// Seconds since 1970 now.
std::int64_t UnixSecondsNow();

// The record beside an output, named after the whole output name: "drive.gpkg" has
// "drive.gpkg.provenance.json", so that two outputs of one log never share one.
std::string ProvenancePathOf(const std::string& output);

}  // namespace varistrum
