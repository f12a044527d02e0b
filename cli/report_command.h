// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli report: the measurement-quality report of a log file.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "cli/convert_options.h"

namespace varistrum::cli {

struct ReportOptions {
    ConvertOptions data;  // INPUT and the data options, parsed as convert parses them
    bool json = false;
    bool summary = false;
    std::string outageSeconds;
    std::string cell = "25";  // the cells of the shares by area
    std::string thresholds;   // --rssi-thresholds
};

void AddReportOptions(CLI::App& command, ReportOptions& options);
int ReportCommand(ReportOptions& options, const CLI::App& command);

}  // namespace varistrum::cli
