// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli commands.
#include "cli/cli_app.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "base/json_text.h"
#include "base/resource_error.h"
#include "cli/calibrate_command.h"
#include "cli/console.h"
#include "cli/convert_options.h"
#include "cli/coverage_commands.h"
#include "cli/exit_codes.h"
#include "cli/map_command.h"
#include "cli/report_command.h"
#include "convert/convert_job.h"
#include "convert/folder_files.h"
#include "index/make_index.h"
#include "logfile/identify.h"
#include "logfile/typed_frequencies.h"
#include "settings/configuration.h"
#include "settings/settings_snapshot.h"

namespace varistrum::cli {

namespace {

int IdentifyCommand(const std::string& path) {
    if (!CheckInputReadable(path)) return kExitFailed;
    const int format = IdentifyLogFile(path);
    std::cout << format << ' ' << InputFormatName(format) << '\n';
    if (format == kFormatNone) {
        std::cerr << "Error: File is not from a QTX CW product.\n";
        return kExitFailed;
    }
    return 0;
}

int FieldsCommand() {
    for (int tag : OfferedFields()) std::cout << tag << '\t' << FieldName(tag) << '\n';
    return 0;
}

void PrintDamage(const TavrelReader& reader) {
    if (reader.Damage().Any()) std::cerr << "Warning: " << DamageText(reader.Damage()) << '\n';
}

// The statistics line's name: the text before " = ".
std::string StatisticName(const std::string& line) {
    return line.substr(0, line.find(" = "));
}
std::string StatisticValue(const std::string& line) {
    return line.substr(line.find(" = ") + 3);
}

// Category of a listed scan: its tree root, or "Table Data" for a table scan of a format-8 log.
std::string_view CategoryOf(const ScanTree& tree, int scan, bool node, int format) {
    if (!node) return format == kFormatTavrel ? "Table Data" : std::string_view();
    return tree.CategoryOf(scan);
}

// Written as the tree is walked: a log may list millions of scans.
void PrintIndexJson(const IndexRecorder& recorder, int format, const TavrelReader& reader) {
    std::ostream& out = std::cout;
    JsonWriter json;
    json.BeginObject().Key("format").Integer(format).Key("scans").BeginArray();
    recorder.tree.ForEachScan([&](int scan, bool node) {
        const std::string_view category = CategoryOf(recorder.tree, scan, node, format);
        json.BeginObject().Key("number").Integer(scan).Key("category");
        if (category.empty())
            json.Null();
        else
            json.String(category);
        json.Key("name").String(recorder.tree.NameOf(scan)).Key("node").Bool(node);
        json.EndObject();
        if (json.Text().size() > (1 << 16)) out << json.TakeText();
    });
    json.EndArray().Key("statistics").BeginObject();
    // The statistics' values are numbers in the index pass's own text.
    for (const std::string& line : recorder.statistics)
        json.Key(StatisticName(line)).NumberText(StatisticValue(line));
    json.EndObject();
    json.Key("needs_frequencies").Bool(reader.State().frequenciesNeeded);
    json.Key("damaged_records").Integer(reader.Damage().damagedRecords);
    json.EndObject();
    out << json.TakeText() << '\n';
}

// One line per scan: number, category, name and its tree check box; "[-]" marks a scan the
// window's tree does not show (a table scan).
void PrintIndexText(const IndexRecorder& recorder, int format, const TavrelReader& reader) {
    recorder.tree.ForEachScan([&](int scan, bool node) {
        const std::string_view category = CategoryOf(recorder.tree, scan, node, format);
        const std::optional<bool> checked = recorder.tree.ScanChecked(scan);
        std::cout << scan << '\t' << (category.empty() ? "-" : category) << '\t'
                  << recorder.tree.NameOf(scan) << '\t'
                  << (!node                    ? "[-]"
                      : checked.value_or(true) ? "[x]"
                                               : "[ ]")
                  << '\n';
    });
    for (const std::string& line : recorder.statistics) std::cout << line << '\n';
    if (reader.State().frequenciesNeeded)
        std::cout << "Receiver frequencies must be entered before converting.\n";
    PrintDamage(reader);
}

int IndexCommand(const std::string& path, bool json, bool quiet) {
    if (!CheckInputReadable(path)) return kExitFailed;
    const int format = IdentifyLogFile(path);
    if (format == kFormatNone) {
        std::cerr << "Error: File is not from a QTX CW product.\n";
        return kExitFailed;
    }
    TavrelReader reader;
    ConsoleObserver console(!quiet && !json && isatty(STDERR_FILENO), quiet);
    IndexRecorder recorder(console);
    std::stop_source stop;
    InterruptStop interrupt(stop);
    const IndexOutcome outcome = RunIndexPass(reader, format, path, recorder, stop.get_token());
    if (outcome == IndexOutcome::OpenFailed || outcome == IndexOutcome::ReadFailed)
        return kExitFailed;
    if (json)
        PrintIndexJson(recorder, format, reader);
    else
        PrintIndexText(recorder, format, reader);
    return outcome == IndexOutcome::Stopped ? interrupt.ExitStatus(kExitFailed) : kExitDone;
}

// The one line of a command-line mistake, naming the subcommands when the first word is not one.
int ReportUsageError(const CLI::App& app, const CLI::ParseError& error, int argc, char** argv) {
    const std::string commands =
        "identify, fields, index, convert, map, report, calibrate, bins, compare";
    const std::string first = argc > 1 ? argv[1] : "";
    if (first.empty() || first[0] == '-') {
        if (app.get_subcommands().empty()) {
            std::cerr << "Error: a command is needed: " << commands << " (see --help).\n";
            return kExitUsage;
        }
    } else if (app.get_subcommands(
                      [&](const CLI::App* command) { return command->get_name() == first; })
                   .empty()) {
        std::cerr << "Error: '" << first << "' is not a command; the commands are " << commands
                  << " (see --help).\n";
        return kExitUsage;
    }
    std::cerr << "Error: " << error.what() << " (see --help).\n";
    return kExitUsage;
}

int RunCommand(int argc, char** argv);

}  // namespace

int Run(int argc, char** argv) {
    try {
        return RunCommand(argc, argv);
    } catch (...) {
        // An allocation failure or a temporary file that cannot be written, anywhere (a
        // worker's thread hands its exception on): a message and the failure status, never an
        // abort. The outputs of the job were removed as the stack unwound.
        const std::string text = FailureTextOf(std::current_exception());
        std::fputs("Error: ", stderr);
        std::fputs(text.c_str(), stderr);
        std::fputs("\n", stderr);
        return kExitFailed;
    }
}

namespace {

int RunCommand(int argc, char** argv) {
    // A reader of our output that goes away (| head) ends the process at once and silently.
    std::signal(SIGPIPE, SIG_DFL);
    CLI::App app{"Varistrum CW: converts drive-test log files into delimited text"};
    app.set_version_flag("--version", std::string("varistrum-cli ") + VARISTRUM_VERSION);
    app.require_subcommand(1);
    app.footer(
        "Exit status: 0 done; 1 failed (a file could not be read, written or converted, a setting "
        "was refused); 2 usage error (nothing was read or written); 130, 143, 129 after SIGINT, "
        "SIGTERM, SIGHUP. Errors and warnings go to standard error.");

    std::string identifyPath;
    CLI::App* identify = app.add_subcommand("identify", "Print the input format of a log file");
    identify->add_option("FILE", identifyPath, "Log file")->required()->check(NotEmptyValue());

    CLI::App* fields =
        app.add_subcommand("fields", "List the offered output fields with their tags");

    std::string indexPath;
    bool indexJson = false, indexQuiet = false;
    CLI::App* index = app.add_subcommand(
        "index", "List every scan in number order and the record statistics of a log file");
    index->add_option("FILE", indexPath, "Log file")->required()->check(NotEmptyValue());
    index->add_flag("--json", indexJson, "Print JSON");
    index->add_flag("-q,--quiet", indexQuiet, "No progress bar and no information lines");
    index->footer(
        "Text lines: number, category, name, and the tree's check box; [-] marks a table scan, "
        "which the window's tree does not show but --scans can name. JSON: \"node\": false for "
        "such a scan.");

    ConvertOptions convertOptions;
    CLI::App* convert =
        app.add_subcommand("convert", "Convert a log file, or a folder of log files");
    AddConvertOptions(*convert, convertOptions);
    convert->footer(
        "Every option may be given more than once: the last one wins. Without --tags and "
        "--config the fields are 5,11,22,18,0 (latitude, longitude, GPS date, GPS time, << DATA "
        ">>). -o - writes the text to standard output (not with --split or a folder job).");

    ConvertOptions mapData;
    MapOptions mapOptions;
    CLI::App* map = app.add_subcommand(
        "map", "Draw a log's drive as a PNG picture coloured by signal level (no display needed)");
    AddMapOptions(*map, mapData, mapOptions);
    map->footer(
        "The data options are convert's (receiver, best server, 40-lambda, outage drop, scans, "
        "frequencies, --config); -o names the picture (default: the input name with .png).");
    ReportOptions reportOptions;
    CLI::App* report = app.add_subcommand(
        "report",
        "Report the measurement quality of a log file: drive, GPS, damage, and per "
        "channel whether the scan rate suffices for 40-lambda averaging");
    AddReportOptions(*report, reportOptions);
    CalibrateOptions calibrateOptions;
    CLI::App* calibrate = app.add_subcommand(
        "calibrate",
        "Fit a propagation model (log-distance and Hata) to the 40-lambda local means of one or "
        "more logs, against the sites of their channels");
    AddCalibrateOptions(*calibrate, calibrateOptions);
    calibrate->footer(
        "Path loss = EIRP + receiver gain - cable loss - level, from local means averaged in "
        "power (mW). Without -o the report goes to standard output; the report, the plot and "
        "the residual layer are put in place together.");

    ConvertOptions binsData;
    CellOptions binsCells;
    CLI::App* bins = app.add_subcommand(
        "bins",
        "Coverage by area: bin a log's levels into square cells of a UTM grid and write them as "
        "a Cloud Optimized GeoTIFF with its QGIS style, or as a GeoPackage");
    AddBinsOptions(*bins, binsData, binsCells);
    bins->footer(
        "The data options are convert's (receiver, outage drop, scans, frequencies, --config); "
        "the cells take every sample before any averaging. -o names the output (default: the "
        "input name with .tif); --rssi-thresholds colours the style.");
    CompareOptions compareOptions;
    CLI::App* compare = app.add_subcommand(
        "compare",
        "Drive against drive: bin two logs on one grid and give B minus A cell by cell (linear "
        "means), with the mean and median difference and the cells more than 3 dB better or "
        "worse");
    AddCompareOptions(*compare, compareOptions);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return ReportUsageError(app, e, argc, argv);
    }
    if (*identify) return CheckedStdout(IdentifyCommand(identifyPath));
    if (*fields) return CheckedStdout(FieldsCommand());
    if (*index) return CheckedStdout(IndexCommand(indexPath, indexJson, indexQuiet));
    if (*convert) {
        NoteGivenOptions(*convert, convertOptions);
        return ConvertCommand(convertOptions);
    }
    if (*map) {
        NoteGivenOptions(*map, mapData);
        return MapCommand(mapData, mapOptions);
    }
    if (*report) return CheckedStdout(ReportCommand(reportOptions, *report));
    if (*calibrate) return CheckedStdout(CalibrateCommand(calibrateOptions, *calibrate));
    if (*bins) {
        NoteGivenOptions(*bins, binsData);
        return BinsCommand(binsData, binsCells);
    }
    if (*compare) return CompareCommand(compareOptions, *compare);
    return kExitUsage;
}

}  // namespace

}  // namespace varistrum::cli
