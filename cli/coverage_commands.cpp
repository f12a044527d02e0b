// SPDX-License-Identifier: GPL-3.0-or-later
// The bins and compare commands: the data options as convert takes them, the cells' own
// options, then a coverage job (or two drives binned and compared) through the workflow.
#include "cli/coverage_commands.h"

#include <unistd.h>

#include <charconv>
#include <iostream>

#include "cli/console.h"
#include "cli/exit_codes.h"
#include "convert/convert_job.h"
#include "settings/configuration.h"
#include "settings/settings_snapshot.h"
#include "workflow/coverage_jobs.h"
#include "workflow/workflow.h"

namespace varistrum::cli {

namespace {

// Options of convert that choose no data for cells: they shape the text, a folder job or a map
// layer file. The cells take every sample before any reduction, so the reductions are refused
// too.
constexpr const char* kNotForCells[] = {
    "--tags",        "--delimiter", "--other-delimiter", "--header",        "--no-header",
    "--columns",     "--split",     "--input-folder",    "--output-folder", "--pattern",
    "--output-ext",  "--jobs",      "--format",          "--merge",         "--no-spatial-index",
    "--best-server", "--average",   "--average-domain",  "--threshold"};

int UsageError(const std::string& text) {
    std::cerr << "Error: " << text << '\n';
    return kExitUsage;
}

struct Cells {
    double metres = kDefaultCellMetres;
    ChannelChoice channel;
    std::vector<BinStatistic> statistics = DefaultStatistics();
};

std::optional<std::string> ParseCells(const CellOptions& o, Cells& cells) {
    const char* end = o.cell.data() + o.cell.size();
    const auto parsed = std::from_chars(o.cell.data(), end, cells.metres);
    if (parsed.ec != std::errc() || parsed.ptr != end)
        return "--cell takes a size in metres, not '" + o.cell + "'";
    if (auto problem = CheckCellMetres(cells.metres)) return "--cell: " + *problem;
    std::string error;
    const auto channel = ChannelChoice::Parse(o.channel, &error);
    if (!channel) return "--channel: " + error + ", not '" + o.channel + "'";
    cells.channel = *channel;
    const auto statistics = ParseStatistics(o.statistics, &error);
    if (!statistics) return "--statistics: " + error;
    cells.statistics = *statistics;
    return std::nullopt;
}

void AddCellOptions(CLI::App& c, CellOptions& cells, bool statistics) {
    const ValueOptions value(c);
    value("--cell", cells.cell, "The cells' side in metres, 5 to 1000 (default 25)", "METRES");
    value("--channel", cells.channel,
          "The channel shown, or in each cell the channel with the highest linear mean "
          "(default)",
          "N|strongest");
    if (statistics)
        value("--statistics", cells.statistics,
              "The raster's bands, in this order: linear-mean, db-mean, median, count, std, min, "
              "max (default linear-mean,count)",
              "LIST");
}

std::string DefaultRasterName(const std::string& input) {
    const std::size_t slash = input.find_last_of('/');
    const std::size_t dot = input.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? input.substr(0, dot) : input) + ".tif";
}

// The data options checked as convert checks them; the output and the colours are the cells'.
std::optional<std::string> ParseCellData(const ConvertOptions& o, const char* command,
                                         ConvertOptions& data, ConvertRequest& request) {
    for (const char* name : kNotForCells) {
        if (o.Given(name)) {
            std::string text = std::string(name) + " does not apply to " + command;
            if (std::string_view(name).rfind("--a", 0) == 0 ||
                std::string_view(name) == "--best-server")
                return text + ": the cells take every sample before any averaging";
            if (std::string_view(name) == "--threshold")
                return text + ": the cells take every reading, weak ones included";
            return text;
        }
    }
    if (o.provenance) return std::string("--provenance does not apply to ") + command;
    data = o;
    data.given.erase("--output");
    data.given.erase("--rssi-thresholds");
    data.output.clear();
    if (auto problem = ParseConvertOptions(data, request)) return problem;
    return std::nullopt;
}

// Says once that the configuration's reduction is not used for the cells.
void NoteReduction(const SettingsModel& window, ConsoleObserver& console) {
    if (window.averageLambda || window.bsAvg)
        console.ReportMessage(
            MessageKind::Information,
            "The cells take every sample: the configuration's " +
                std::string(window.averageLambda ? "40-lambda averaging" : "best server") +
                " is not used.");
}

int Finish(JobOutcome outcome, const InterruptStop& interrupt) {
    if (outcome == JobOutcome::Cancelled) return interrupt.ExitStatus(kExitFailed);
    return outcome == JobOutcome::Completed ? kExitDone : kExitFailed;
}

std::optional<LevelRamp> RampOf(const ConvertOptions& o, std::string* error) {
    if (!o.Given("--rssi-thresholds")) return LevelRamp();
    std::string problem;
    auto ramp = LevelRamp::Parse(o.rssiThresholds, &problem);
    if (!ramp) *error = "--rssi-thresholds: " + problem;
    return ramp;
}

}  // namespace

void AddBinsOptions(CLI::App& c, ConvertOptions& data, CellOptions& cells) {
    AddConvertOptions(c, data);
    AddCellOptions(c, cells, true);
}

int BinsCommand(const ConvertOptions& o, const CellOptions& cellOptions) {
    ConvertOptions data;
    ConvertRequest request;
    if (auto problem = ParseCellData(o, "bins", data, request)) return UsageError(*problem);
    if (request.toStandardOutput || o.output == "-")
        return UsageError("bins writes a GeoTIFF or a GeoPackage file; -o - is not possible");
    Cells cells;
    if (auto problem = ParseCells(cellOptions, cells)) return UsageError(*problem);
    const std::string output = o.output.empty() ? DefaultRasterName(o.input) : o.output;
    if (!CoverageFormatOfPath(output))
        return UsageError("-o names a GeoTIFF (.tif) or a GeoPackage (.gpkg), not '" + output +
                          "'");
    std::string error;
    const auto ramp = RampOf(o, &error);
    if (!ramp) return UsageError(error);

    SettingsModel window;
    if (auto failed = LoadSettingsModel(data, request, window)) return *failed;
    ConsoleObserver console(!o.quiet && isatty(STDERR_FILENO), o.quiet);
    NoteReduction(window, console);
    JobRequest job;
    job.product = JobProduct::CoverageBins;
    job.settings = ConversionSettingsOf(window);
    job.inputs = {o.input};
    job.outputs = {output};
    job.coverage.binning.cellMetres = cells.metres;
    job.coverage.channel = cells.channel;
    job.coverage.statistics = cells.statistics;
    job.coverage.ramp = *ramp;
    // Every file the job writes is checked before the index pass and the frequency question.
    if (const auto refusal = Workflow::CheckFiles(job)) {
        console.ReportFailure(MessageKind::Error, refusal->message, refusal->path, {});
        return kExitFailed;
    }
    const std::optional<int> identified = ReadableLogFormat(o.input, console);
    if (!identified) return kExitFailed;
    TavrelReader reader;
    Workflow workflow(reader);
    std::stop_source stop;
    InterruptStop interrupt(stop, [&console] {
        console.ReportMessage(MessageKind::Information, "Conversion Cancelled.");
    });
    if (auto failed = PrepareSingleInput(data, request, *identified, workflow, stop, interrupt,
                                         console, job.settings))
        return *failed;
    return Finish(workflow.Run(job, console, stop.get_token()), interrupt);
}

void AddCompareOptions(CLI::App& c, CompareOptions& options) {
    ConvertOptions& o = options.data;
    const ValueOptions value(c);
    c.add_option("A", options.inputA, "The drive compared against (its UTM zone gives the grid)")
        ->required()
        ->check(NotEmptyValue());
    c.add_option("B", options.inputB, "The drive compared (B minus A)")
        ->required()
        ->check(NotEmptyValue());
    value("-o,--output", o.output,
          "The difference as a GeoTIFF (.tif, with its style .qml) or a GeoPackage (.gpkg); "
          "without it only the figures are printed",
          "FILE");
    value("--config", o.config, "Configuration file (.cfg) to start from", "FILE");
    value("--receiver", o.receiver, "Data source: receiver 1 or 2", "1|2");
    value("--drop-outages", o.dropOutages, "Drop data during GPS outages of SECONDS or more",
          "SECONDS");
    value("--drop-stationary", o.dropStationary,
          "Drop the data logged while the vehicle stood still, as convert does",
          "DISTANCE,SECONDS");
    value("--frequencies", o.frequencies, "Receiver frequencies F1,F2 in MHz (for either log)",
          "F1,F2");
    value("--scans", o.scans, "Scan numbers, in both logs (default: the checked scans)", "N,...");
    AddCellOptions(c, options.cells, false);
    c.add_flag("--json", options.json, "Print the figures as JSON");
    c.add_flag("-q,--quiet", o.quiet, "No progress bar and no information lines");
}

int CompareCommand(CompareOptions& options, const CLI::App& command) {
    ConvertOptions& o = options.data;
    NoteGivenOptions(command, o);
    o.given.insert("INPUT");  // two inputs, each prepared as a single file
    o.given.erase("A");
    o.given.erase("B");
    ConvertOptions data;
    ConvertRequest request;
    if (auto problem = ParseCellData(o, "compare", data, request)) return UsageError(*problem);
    if (o.output == "-")
        return UsageError("compare writes a GeoTIFF or a GeoPackage file; -o - is not possible");
    Cells cells;
    if (auto problem = ParseCells(options.cells, cells)) return UsageError(*problem);
    if (!o.output.empty() && !CoverageFormatOfPath(o.output))
        return UsageError("-o names a GeoTIFF (.tif) or a GeoPackage (.gpkg), not '" + o.output +
                          "'");
    SettingsModel window;
    if (auto failed = LoadSettingsModel(data, request, window)) return *failed;
    ConsoleObserver console(!o.quiet && !options.json && isatty(STDERR_FILENO),
                            o.quiet || options.json);
    NoteReduction(window, console);
    ComparisonRequest compare;
    compare.inputA = options.inputA;
    compare.inputB = options.inputB;
    compare.cellMetres = cells.metres;
    compare.channel = cells.channel;
    compare.output = o.output;
    if (const auto refusal = CheckComparison(compare)) {
        console.ReportFailure(MessageKind::Error, refusal->message, refusal->path, {});
        return kExitFailed;
    }
    TavrelReader reader;
    Workflow workflow(reader);
    std::stop_source stop;
    InterruptStop interrupt(stop, [&console] {
        console.ReportMessage(MessageKind::Information, "Conversion Cancelled.");
    });
    // Each log indexed and given its frequencies on its own.
    for (const auto& [input, settings] : {std::pair{&compare.inputA, &compare.settingsA},
                                          std::pair{&compare.inputB, &compare.settingsB}}) {
        const std::optional<int> identified = ReadableLogFormat(*input, console);
        if (!identified) return kExitFailed;
        data.input = *input;
        *settings = ConversionSettingsOf(window);
        workflow.ForgetFrequencies();
        if (auto failed = PrepareSingleInput(data, request, *identified, workflow, stop, interrupt,
                                             console, *settings))
            return *failed;
    }
    const DriveComparison result = CompareDrives(reader, compare, console, stop.get_token());
    if (result.outcome != JobOutcome::Completed) return Finish(result.outcome, interrupt);
    if (options.json)
        std::cout << result.comparison->Json() << '\n';
    else
        std::cout << result.comparison->Text();
    return CheckedStdout(kExitDone);
}

}  // namespace varistrum::cli
