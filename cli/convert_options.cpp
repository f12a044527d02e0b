// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli convert: settings from the window's defaults, a configuration file and options.
#include "cli/convert_options.h"

#include <unistd.h>

#include <iostream>
#include <optional>

#include "app/config/configuration.h"
#include "app/config/settings_snapshot.h"
#include "averaging/averaging_engine.h"
#include "averaging/frequency_entry.h"
#include "cli/console.h"
#include "convert/convert_job.h"
#include "convert/folder_files.h"
#include "convert/parallel_job.h"
#include "logfile/identify.h"

namespace varistrum::cli {

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int UsageError(const std::string& text) {
    std::cerr << "Error: " << text << '\n';
    return kExitUsage;
}

// Applies the options over the window's settings; an error text for a bad value.
std::optional<std::string> ApplyOptions(const ConvertOptions& o, WindowSettings& w) {
    if (!o.tags.empty()) {
        w.selectedFields.clear();
        w.selectedTags.clear();
        for (int tag : o.tags) {
            if (FieldName(tag).empty())
                return "--tags: " + std::to_string(tag) + " is not a field tag";
            w.selectedFields.emplace_back(FieldName(tag));
            w.selectedTags.push_back(w.selectedTags.size() < kSelectedFieldRows ? tag : kNoTag);
        }
    }
    if (!o.delimiter.empty()) {
        static const char* const kNames[] = {"comma", "semicolon", "tab", "space", "other"};
        int choice = -1;
        for (int i = 0; i < 5; ++i) {
            if (o.delimiter == kNames[i]) choice = i;
        }
        if (choice < 0) return "--delimiter must be comma, semicolon, tab, space or other";
        w.delimiter = choice;
    }
    if (!o.otherDelimiter.empty() || o.delimiter == "other") {
        if (!o.otherDelimiter.empty()) w.otherDelimiter = o.otherDelimiter;
    }
    if (o.header) w.fieldTitles = true;
    if (o.noHeader) w.fieldTitles = false;
    if (o.receiver != 0) {
        w.receiver1 = o.receiver == 1;
        w.receiver2 = o.receiver == 2;
    }
    if (!o.columns.empty()) {
        w.frequencyField = w.channelField = w.rssiField = false;
        for (const std::string& column : o.columns) {
            if (column == "frequency")
                w.frequencyField = true;
            else if (column == "channel")
                w.channelField = true;
            else if (column == "rssi")
                w.rssiField = true;
            else
                return "--columns takes frequency, channel and rssi";
        }
    }
    if (o.bestServer) {
        w.bsAvg = true;
        w.noAvg = false;
    }
    if (!o.average.empty()) {
        if (o.average != "none" && o.average != "40-lambda")
            return "--average must be none or 40-lambda";
        w.averageLambda = o.average == "40-lambda";
    }
    if (o.split) w.split = true;
    if (!o.dropOutages.empty()) {
        if (!ParseOutageSeconds(o.dropOutages))
            return "The GPS outage must be a whole number of seconds from 1 to 86400.";
        w.recDrop = true;
        w.outageSeconds = o.dropOutages;
    }
    return std::nullopt;
}

// Asks for typed frequencies as the frequency dialog would; false when the conversion is aborted.
bool SupplyFrequencies(TavrelReader& reader, const std::vector<double>& frequencies) {
    if (frequencies.size() == 2) {
        if (auto refusal = EnterFrequencies(reader, frequencies[0], frequencies[1])) {
            std::cerr << "Error: " << *refusal << '\n';
            return false;
        }
        return true;
    }
    std::cerr << kFrequencyExplanation << '\n';
    for (int r = 0; r < 2; ++r) {
        std::cerr << "Receiver " << r + 1 << ' '
                  << RangeText(ReceiverRange(reader.State().plans[static_cast<std::size_t>(r)]))
                  << '\n';
    }
    std::cerr << "Give them with --frequencies F1,F2 (MHz).\n";
    std::cerr << "Information: Conversion Aborted.\n";
    return false;
}

ScanSelectionSnapshot SelectScans(const ScanTree& tree, int scanCount,
                                  const std::vector<int>& scans) {
    if (scans.empty()) return tree.Snapshot();
    std::vector<signed char> states(static_cast<std::size_t>(scanCount) + 1, 0);
    for (int n : scans) {
        if (n >= 1 && n <= scanCount) states[static_cast<std::size_t>(n)] = 1;
    }
    return ScanSelectionSnapshot(std::move(states));
}

int Finish(JobOutcome outcome) {
    return outcome == JobOutcome::Completed ? 0 : kExitFailed;
}

int ConvertSingleFile(const ConvertOptions& o, ConversionSettings settings,
                      ConsoleObserver& console) {
    if (!CheckInputReadable(o.input)) return kExitFailed;
    const int format = IdentifyLogFile(o.input);
    if (format == kFormatNone) {
        console.ReportMessage(MessageKind::Warning, "File is not from a QTX CW product.");
        return kExitFailed;
    }
    const std::string output = o.output.empty() ? DefaultOutputName(o.input) : o.output;
    AveragingEngine engine;
    TavrelReader reader(engine);
    std::stop_source stop;
    InterruptStop interrupt(stop);
    IndexRecorder recorder(console);
    if (RunIndexPass(reader, format, o.input, recorder, stop.get_token()) != IndexOutcome::Indexed)
        return kExitFailed;
    if (reader.State().userFrequencies) {
        reader.SetUserFrequencies(false);
        if (!SupplyFrequencies(reader, o.frequencies)) return kExitFailed;
    }
    settings.convertAllScans = false;
    settings.scans = SelectScans(recorder.tree, reader.State().ScanIndex, o.scans);
    return Finish(
        RunConversionJob(reader, {o.input}, {output}, settings, console, stop.get_token()));
}

int ConvertFolder(const ConvertOptions& o, ConversionSettings settings, ConsoleObserver& console) {
    if (o.inputFolder.empty() || o.outputFolder.empty()) {
        console.ReportMessage(MessageKind::Error, "Input and Output Folders Must Be Selected.");
        return kExitFailed;
    }
    const FileLists lists = ListFolderFiles(o.inputFolder, o.pattern, o.outputFolder, o.outputExt);
    int format = lists.inputs.empty() ? kFormatTavrel : IdentifyLogFile(lists.inputs.front());
    if (format == kFormatNone) format = kFormatTavrel;
    settings.convertAllScans = true;
    std::stop_source stop;
    InterruptStop interrupt(stop);

    AveragingEngine engine;
    TavrelReader reader(engine);
    reader.SetInputFormat(format);
    if (o.frequencies.size() == 2 && !lists.inputs.empty()) {
        // The plans of the first file give the channel steps of the typed frequencies.
        IndexRecorder recorder(console);
        RunIndexPass(reader, format, lists.inputs.front(), recorder, stop.get_token());
        if (!SupplyFrequencies(reader, o.frequencies)) return kExitFailed;
    }
    if (o.jobs > 1)
        return Finish(RunParallelConversion(reader, format, lists, settings, console, o.jobs,
                                            stop.get_token()));
    return Finish(
        RunConversionJob(reader, lists.inputs, lists.outputs, settings, console, stop.get_token()));
}

}  // namespace

void AddConvertOptions(CLI::App& c, ConvertOptions& o) {
    c.add_option("INPUT", o.input, "Log file to convert (single-file mode)");
    c.add_option("-o,--output", o.output, "Output file (default: the input name with .out)");
    c.add_option("--config", o.config, "Configuration file (.cfg) to start from");
    c.add_option("--tags", o.tags, "Selected fields by tag, in order (see 'fields')")
        ->delimiter(',')
        ->allow_extra_args(false);
    c.add_option("--delimiter", o.delimiter, "comma, semicolon, tab, space or other");
    c.add_option("--other-delimiter", o.otherDelimiter, "The character of --delimiter other");
    c.add_flag("--header", o.header, "Write header records");
    c.add_flag("--no-header", o.noHeader, "No header records");
    c.add_option("--receiver", o.receiver, "Data source: receiver 1 or 2")
        ->check(CLI::IsMember({1, 2}));
    c.add_option("--columns", o.columns, "Columns of << DATA >>: frequency,channel,rssi")
        ->delimiter(',')
        ->allow_extra_args(false);
    c.add_flag("--best-server", o.bestServer, "Reduce the data to the best server");
    c.add_option("--average", o.average, "none or 40-lambda");
    c.add_flag("--split", o.split, "Split the output into parts of at most 60000 lines");
    c.add_option("--drop-outages", o.dropOutages,
                 "Drop data during GPS outages of SECONDS or more");
    c.add_option("--frequencies", o.frequencies, "Receiver frequencies F1,F2 in MHz")
        ->delimiter(',')
        ->expected(2)
        ->allow_extra_args(false);
    c.add_option("--scans", o.scans, "Scan numbers to convert (default: all)")
        ->delimiter(',')
        ->allow_extra_args(false);
    c.add_option("--input-folder", o.inputFolder, "Folder of log files (multiple-files mode)");
    c.add_option("--output-folder", o.outputFolder, "Folder of the output files");
    c.add_option("--pattern", o.pattern, "Input file pattern (default *.klf)");
    c.add_option("--output-ext", o.outputExt, "Output file extension (default .out)");
    c.add_option("-j,--jobs", o.jobs, "Files converted at once in folder mode")
        ->check(CLI::Range(1, 64));
    c.add_flag("-q,--quiet", o.quiet, "No progress bar");
}

int ConvertCommand(const ConvertOptions& o) {
    const bool folderMode = !o.inputFolder.empty() || !o.outputFolder.empty();
    if (folderMode == !o.input.empty())
        return UsageError("give either INPUT or --input-folder and --output-folder");
    WindowSettings window;
    if (!o.config.empty()) OpenConfiguration(o.config, window);
    if (auto problem = ApplyOptions(o, window)) return UsageError(*problem);
    if (window.selectedFields.empty())
        std::cerr << "Warning: no output fields are selected (use --tags or --config); lines stay "
                     "empty.\n";
    ConsoleObserver console(!o.quiet && isatty(STDERR_FILENO));
    const ConversionSettings settings = ConversionSettingsOf(window);
    return folderMode ? ConvertFolder(o, settings, console)
                      : ConvertSingleFile(o, settings, console);
}

}  // namespace varistrum::cli
