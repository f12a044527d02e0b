// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli calibrate: a propagation model fitted to the 40-lambda local means of a drive.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "cli/convert_options.h"

namespace varistrum::cli {

// The options as typed; numbers are checked and read without the locale.
struct CalibrateOptions {
    ConvertOptions data;  // the data options, parsed as convert parses them
    std::vector<std::string> logs;
    std::string sites, plot, plotSite, plotSize = "1200x700", residuals;
    bool json = false;
    std::string rxGain, cableLoss, rxHeight, minDistance, maxDistance, noiseFloor;
    std::string fit, environment;
};

void AddCalibrateOptions(CLI::App& command, CalibrateOptions& options);
int CalibrateCommand(CalibrateOptions& options, const CLI::App& command);

}  // namespace varistrum::cli
