// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli commands.
#include "cli/cli_app.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "app/config/configuration.h"
#include "app/config/settings_snapshot.h"
#include "averaging/averaging_engine.h"
#include "averaging/frequency_entry.h"
#include "cli/console.h"
#include "cli/convert_options.h"
#include "convert/convert_job.h"
#include "convert/folder_files.h"
#include "index/make_index.h"
#include "logfile/identify.h"

namespace varistrum::cli {

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out.append(escape);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out + "\"";
}

int IdentifyCommand(const std::string& path) {
    if (!CheckInputReadable(path)) return kExitFailed;
    const int format = IdentifyLogFile(path);
    std::cout << format << ' ' << InputFormatName(format) << '\n';
    if (format == kFormatNone) {
        std::cerr << "Warning: File is not from a QTX CW product.\n";
        return kExitFailed;
    }
    return 0;
}

int FieldsCommand() {
    for (int tag : OfferedFields()) std::cout << tag << '\t' << FieldName(tag) << '\n';
    return 0;
}

void PrintDamage(const TavrelReader& reader) {
    const DamageCounters& damage = reader.Damage();
    if (damage.damagedRecords > 0)
        std::cerr << "Warning: " << damage.damagedRecords << " damaged record(s), "
                  << damage.skippedBytes << " byte(s) skipped\n";
}

// The statistics line's name: the text before " = ".
std::string StatisticName(const std::string& line) {
    return line.substr(0, line.find(" = "));
}
std::string StatisticValue(const std::string& line) {
    return line.substr(line.find(" = ") + 3);
}

int IndexCommand(const std::string& path, bool json, bool quiet) {
    if (!CheckInputReadable(path)) return kExitFailed;
    const int format = IdentifyLogFile(path);
    if (format == kFormatNone) {
        std::cerr << "Warning: File is not from a QTX CW product.\n";
        return kExitFailed;
    }
    AveragingEngine engine;
    TavrelReader reader(engine);
    ConsoleObserver console(!quiet && !json && isatty(STDERR_FILENO));
    IndexRecorder recorder(console);
    std::stop_source stop;
    InterruptStop interrupt(stop);
    const IndexOutcome outcome = RunIndexPass(reader, format, path, recorder, stop.get_token());
    if (outcome == IndexOutcome::OpenFailed) return kExitFailed;
    const bool needsFrequencies = reader.State().userFrequencies;
    if (json) {
        std::ostringstream out;
        out << "{\"format\":" << format << ",\"scans\":[";
        bool first = true;
        for (const ScanTreeNode* node : recorder.tree.Scans()) {
            const std::string category = recorder.tree.CategoryOf(*node);
            out << (first ? "" : ",") << "{\"number\":" << node->scanIndex
                << ",\"category\":" << (category.empty() ? "null" : JsonString(category))
                << ",\"name\":" << JsonString(node->text) << "}";
            first = false;
        }
        out << "],\"statistics\":{";
        for (std::size_t i = 0; i < recorder.statistics.size(); ++i) {
            out << (i ? "," : "") << JsonString(StatisticName(recorder.statistics[i])) << ':'
                << StatisticValue(recorder.statistics[i]);
        }
        out << "},\"needs_frequencies\":" << (needsFrequencies ? "true" : "false")
            << ",\"damaged_records\":" << reader.Damage().damagedRecords << "}\n";
        std::cout << out.str();
    } else {
        for (const ScanTreeNode* node : recorder.tree.Scans()) {
            const std::string category = recorder.tree.CategoryOf(*node);
            std::cout << node->scanIndex << '\t' << (category.empty() ? "-" : category) << '\t'
                      << node->text << '\t' << (node->checked ? "[x]" : "[ ]") << '\n';
        }
        for (const std::string& line : recorder.statistics) std::cout << line << '\n';
        if (needsFrequencies)
            std::cout << "Receiver frequencies must be entered before converting.\n";
        PrintDamage(reader);
    }
    return outcome == IndexOutcome::Stopped ? kExitFailed : 0;
}

}  // namespace

int Run(int argc, char** argv) {
    CLI::App app{"Varistrum CW: converts drive-test log files into delimited text"};
    app.set_version_flag("--version", std::string("varistrum-cli ") + VARISTRUM_VERSION);
    app.require_subcommand(1);

    std::string identifyPath;
    CLI::App* identify = app.add_subcommand("identify", "Print the input format of a log file");
    identify->add_option("FILE", identifyPath, "Log file")->required();

    CLI::App* fields =
        app.add_subcommand("fields", "List the offered output fields with their tags");

    std::string indexPath;
    bool indexJson = false, indexQuiet = false;
    CLI::App* index =
        app.add_subcommand("index", "List the scans and record statistics of a log file");
    index->add_option("FILE", indexPath, "Log file")->required();
    index->add_flag("--json", indexJson, "Print JSON");
    index->add_flag("-q,--quiet", indexQuiet, "No progress bar");

    ConvertOptions convertOptions;
    CLI::App* convert =
        app.add_subcommand("convert", "Convert a log file, or a folder of log files");
    AddConvertOptions(*convert, convertOptions);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return e.get_exit_code() == 0 ? 0 : (code == 0 ? 0 : kExitUsage);
    }
    if (*identify) return IdentifyCommand(identifyPath);
    if (*fields) return FieldsCommand();
    if (*index) return IndexCommand(indexPath, indexJson, indexQuiet);
    if (*convert) return ConvertCommand(convertOptions);
    return kExitUsage;
}

}  // namespace varistrum::cli
