// SPDX-License-Identifier: GPL-3.0-or-later
// Simulated input files of the micro-benchmarks and a reader set up as a conversion sets it up.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "convert/conversion_settings.h"
#include "filters/lambda_averaging_stage.h"
#include "logfile/row_assembler.h"
#include "logfile/tavrel_reader.h"

namespace varistrum::bench {

// Path of a simulated log of the scenario ("bench", "table", ...) of about `sizeMb` MiB (or, for
// sizeMb 0, of `seconds` of driving), written once per program run into a temporary folder.
std::string SimulatedFile(const std::string& scenario, double sizeMb, double seconds = 600);

// The typical field set: latitude and longitude in decimal degrees, GPS time, record number
// and the "<< DATA >>" block with frequency and RSSI.
ConversionSettings TypicalSettings();

// A log opened for a conversion of every scan with `settings`: the reader and the row assembly
// (with the 40-lambda engine under an average type), as ConvertFile sets them up.
struct OpenedConversion {
    OpenedConversion(const std::string& path, const ConversionSettings& settings);
    // Decodes and assembles one record.
    DecodeResult Feed(const RecordBuffer& buffer) {
        const DecodedRecord& record = reader.DecodeRecord(buffer);
        return assembler->Assemble(record, reader.State(), true);
    }

    TavrelReader reader;
    std::optional<LambdaAveragingStage> lambda;
    std::unique_ptr<RowAssembler> assembler;
    bool opened = false;
};

}  // namespace varistrum::bench
