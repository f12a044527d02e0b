// SPDX-License-Identifier: GPL-3.0-or-later
// The convert command: its options and how they become conversion settings.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace varistrum::cli {

struct ConvertOptions {
    std::string input, output, config;
    std::vector<int> tags;
    std::string delimiter, otherDelimiter;
    bool header = false, noHeader = false;
    int receiver = 0;
    std::vector<std::string> columns;
    bool bestServer = false;
    std::string average;
    bool split = false;
    std::string dropOutages;
    std::vector<double> frequencies;
    std::vector<int> scans;
    std::string inputFolder, outputFolder, pattern = "*.klf", outputExt = ".out";
    int jobs = 1;
    bool quiet = false;
};

void AddConvertOptions(CLI::App& command, ConvertOptions& options);
int ConvertCommand(const ConvertOptions& options);

}  // namespace varistrum::cli
