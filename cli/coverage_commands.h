// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli bins and compare: coverage in cells of a UTM grid, and drive against drive.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "cli/convert_options.h"

namespace varistrum::cli {

// The cells' options of both commands.
struct CellOptions {
    std::string cell = "25";
    std::string channel = "strongest";
    std::string statistics = "linear-mean,count";
};

void AddBinsOptions(CLI::App& command, ConvertOptions& data, CellOptions& cells);
int BinsCommand(const ConvertOptions& data, const CellOptions& cells);

struct CompareOptions {
    std::string inputA, inputB;
    ConvertOptions data;  // -o, --config and the data options, parsed as convert parses them
    CellOptions cells;
    bool json = false;
};

void AddCompareOptions(CLI::App& command, CompareOptions& options);
int CompareCommand(CompareOptions& options, const CLI::App& command);

}  // namespace varistrum::cli
