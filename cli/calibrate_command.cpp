// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli calibrate: each log indexed and given its data choices, the calibration on the
// workflow, its files written as one set, the report on standard output or into a file.
#include "cli/calibrate_command.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <iostream>

#include "calibration/calibration_format.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "logfile/identify.h"
#include "mapdraw/calibration_plot.h"
#include "settings/configuration.h"
#include "settings/settings_snapshot.h"
#include "workflow/workflow.h"

namespace varistrum::cli {

namespace {

constexpr int kPlotSideMin = 320, kPlotSideMax = 8192;

int UsageError(const std::string& text) {
    std::cerr << "Error: " << text << '\n';
    return kExitUsage;
}

// A finite number in the C locale's form ("1.5", "-3", "1e2").
std::optional<double> Number(const std::string& text) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<int> Whole(std::string_view text) {
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

// The fit's options from the typed ones; the usage error's text, if any.
std::optional<std::string> ParseFitOptions(const CalibrateOptions& o, const ConvertOptions& given,
                                           CalibrationOptions& options) {
    struct Numeric {
        const char* name;
        const std::string& text;
        double* target;
    };
    double maxKm = 0.0, floor = 0.0;
    const Numeric numbers[] = {{"--rx-gain-dbi", o.rxGain, &options.rxGainDbi},
                               {"--cable-loss-db", o.cableLoss, &options.cableLossDb},
                               {"--rx-height-m", o.rxHeight, &options.rxHeightM},
                               {"--min-distance-m", o.minDistance, &options.minDistanceM},
                               {"--max-distance-km", o.maxDistance, &maxKm},
                               {"--noise-floor-dbm", o.noiseFloor, &floor}};
    for (const Numeric& n : numbers) {
        if (!given.Given(n.name)) continue;
        const auto value = Number(n.text);
        if (!value) return std::string(n.name) + " takes a number, not '" + n.text + "'";
        *n.target = *value;
    }
    if (given.Given("--max-distance-km")) options.maxDistanceKm = maxKm;
    if (given.Given("--noise-floor-dbm")) options.noiseFloorDbm = floor;
    if (given.Given("--fit")) {
        if (o.fit != "wls" && o.fit != "ols") return "--fit must be wls or ols";
        options.weighting = o.fit == "ols" ? FitWeighting::Ordinary : FitWeighting::TenthDecadeBins;
    }
    if (given.Given("--environment")) {
        const auto environment = ParseHataEnvironment(o.environment);
        if (!environment) return "--environment must be urban, suburban, open or metropolitan";
        options.environment = *environment;
    }
    if (const std::string problem = CheckCalibrationOptions(options); !problem.empty())
        return problem;
    return std::nullopt;
}

std::optional<std::string> ParseFiles(const CalibrateOptions& o, const ConvertOptions& given,
                                      CalibrationFiles& files) {
    files.json = o.json;
    files.report = given.Given("--output") ? o.data.output : std::string();
    if (files.report == "-") files.report.clear();  // standard output, as without -o
    files.plot = o.plot;
    files.plotSite = o.plotSite;
    files.residuals = o.residuals;
    if (!o.plotSite.empty() && o.plot.empty()) return "--plot-site applies only with --plot";
    if (given.Given("--plot-size")) {
        if (o.plot.empty()) return "--plot-size applies only with --plot";
        const std::size_t x = o.plotSize.find('x');
        const auto width = Whole(std::string_view(o.plotSize).substr(0, x));
        const auto height = x == std::string::npos
                                ? std::nullopt
                                : Whole(std::string_view(o.plotSize).substr(x + 1));
        if (!width || !height || *width < kPlotSideMin || *height < kPlotSideMin ||
            *width > kPlotSideMax || *height > kPlotSideMax)
            return "--plot-size takes WIDTHxHEIGHT in pixels, each from " +
                   std::to_string(kPlotSideMin) + " to " + std::to_string(kPlotSideMax) +
                   ", not '" + o.plotSize + "'";
        files.plotWidth = *width;
        files.plotHeight = *height;
    }
    return std::nullopt;
}

// Each log indexed, given the typed frequencies it needs and its scans: its data choices. The
// exit status when one cannot be read or prepared.
std::optional<int> PrepareLogs(const CalibrateOptions& o, const ConvertRequest& request,
                               const ConversionSettings& settings, Workflow& workflow,
                               std::stop_source& stop, const InterruptStop& interrupt,
                               ConsoleObserver& console, CalibrationRequest& calibration) {
    for (const std::string& log : o.logs) {
        const std::optional<int> format = ReadableLogFormat(log, console);
        if (!format) return kExitFailed;
        ConvertOptions single = o.data;
        single.input = log;
        CalibrationInput input{log, settings};
        // Each log answers the frequency question for itself: its own plans give the codes.
        workflow.ForgetFrequencies();
        if (auto failed = PrepareSingleInput(single, request, *format, workflow, stop, interrupt,
                                             console, input.settings))
            return failed;
        calibration.inputs.push_back(std::move(input));
    }
    return std::nullopt;
}

bool DrawPlot(const CalibrationResult& result, const CalibrationFit& fit, int width, int height,
              std::string& png, std::string& reason) {
    return EncodeCalibrationPlot(result, fit, width, height, png, reason);
}

}  // namespace

void AddCalibrateOptions(CLI::App& c, CalibrateOptions& o) {
    const CLI::Validator notEmpty = NotEmptyValue();
    const ValueOptions value(c);
    c.add_option("LOG", o.logs, "Log files of the drive, pooled (a campaign)")
        ->type_name("FILE")
        ->required()
        ->check(notEmpty);
    value("--sites", o.sites,
          "The transmitters: a vector file GDAL reads (CSV with latitude and longitude, "
          "GeoPackage, GeoJSON, ...), one row per site and channel",
          "FILE")
        ->required();
    c.add_flag("--json", o.json, "The report as JSON (schema: docs/calibration.schema.json)");
    value("-o,--output", o.data.output, "The report into FILE (default: standard output)", "FILE");
    value("--plot", o.plot, "Path loss against distance with the fits and residuals, as PNG",
          "FILE.png");
    value("--plot-site", o.plotSite,
          "The site the plot shows (default: the site with the most fitted points)", "SITE");
    value("--plot-size", o.plotSize, "The plot's size in pixels (default 1200x700)", "WxH");
    value("--residuals", o.residuals,
          "One point per fitted local mean with its residual, as a GeoPackage", "FILE.gpkg");
    value("--rx-gain-dbi", o.rxGain, "Receiver antenna gain (default 0)", "DBI");
    value("--cable-loss-db", o.cableLoss, "Receiver cable loss (default 0)", "DB");
    value("--rx-height-m", o.rxHeight, "Receiver antenna height above ground (default 1.5)", "M");
    value("--min-distance-m", o.minDistance,
          "Leave out local means closer to their site (default 100)", "M");
    value("--max-distance-km", o.maxDistance,
          "Leave out local means farther from their site (default: no limit)", "KM");
    value("--noise-floor-dbm", o.noiseFloor,
          "Levels within 3 dB of it are censored (default: each channel's lowest level in its "
          "log, -120 meaning no level)",
          "DBM");
    value("--fit", o.fit,
          "wls: each tenth of a decade of distance counts alike (default); ols: every point alike",
          "wls|ols");
    value("--environment", o.environment,
          "Hata's environment: urban (default), suburban, open or metropolitan",
          "urban|suburban|open|metropolitan");
    // The data options of convert.
    value("--config", o.data.config, "Configuration file (.cfg) whose data choices are used",
          "FILE");
    value("--receiver", o.data.receiver, "Data source: receiver 1 or 2", "1|2");
    value("--frequencies", o.data.frequencies,
          "Receiver frequencies F1,F2 in MHz, for logs without them", "F1,F2");
    value("--scans", o.data.scans, "Scan numbers, as 'index' lists them (one log only)", "N,...");
    value("--drop-outages", o.data.dropOutages, "Drop data during GPS outages of SECONDS or more",
          "SECONDS");
    value("--drop-stationary", o.data.dropStationary,
          "Drop the data logged while the vehicle stood still, as convert does",
          "DISTANCE,SECONDS");
    value("--average-domain", o.data.averageDomain,
          "Accepted for convert's sake; a calibration always averages power (mW)", "db|linear");
    c.add_flag("-q,--quiet", o.data.quiet, "No progress bar and no information lines");
}

int CalibrateCommand(CalibrateOptions& o, const CLI::App& command) {
    NoteGivenOptions(command, o.data);
    const ConvertOptions& given = o.data;
    ConvertRequest request;
    if (auto problem = ParseDataOptions(o.data, request)) return UsageError(*problem);
    if (given.Given("--scans") && o.logs.size() > 1)
        return UsageError("--scans applies to one log: scan numbers differ between logs");
    CalibrationRequest calibration;
    calibration.sites = o.sites;
    if (auto problem = ParseFitOptions(o, given, calibration.options)) return UsageError(*problem);
    CalibrationFiles files;
    if (auto problem = ParseFiles(o, given, files)) return UsageError(*problem);

    ConsoleObserver console(!o.data.quiet && isatty(STDERR_FILENO), o.data.quiet);
    if (request.averageLinear && !*request.averageLinear)
        console.ReportMessage(MessageKind::Information,
                              "--average-domain db is not used: a calibration averages the "
                              "power (mW) of each local mean.");
    // Every file is checked before anything is read.
    if (const auto refusal = CheckCalibrationFiles(files, o.logs, o.sites)) {
        console.ReportFailure(MessageKind::Error, refusal->message, refusal->path, {});
        return kExitFailed;
    }
    SettingsModel window;
    if (auto failed = LoadSettingsModel(o.data, request, window)) return *failed;
    const ConversionSettings settings = ConversionSettingsOf(window);

    TavrelReader reader;
    Workflow workflow(reader);
    std::stop_source stop;
    InterruptStop interrupt(stop);
    if (auto failed =
            PrepareLogs(o, request, settings, workflow, stop, interrupt, console, calibration))
        return *failed;
    const CalibrationRun run = workflow.Calibrate(calibration, console, stop.get_token());
    if (run.outcome == JobOutcome::Cancelled) return interrupt.ExitStatus(kExitFailed);
    if (run.outcome != JobOutcome::Completed || !run.result) return kExitFailed;
    const CalibrationResult& result = *run.result;
    if (files.Any()) {
        if (const auto failure = WriteCalibrationFiles(result, files, DrawPlot)) {
            console.ReportFailure(MessageKind::Error, failure->message, failure->path,
                                  failure->reason);
            return kExitFailed;
        }
    }
    if (files.report.empty())
        std::cout << (files.json ? CalibrationJson(result) : CalibrationText(result));
    for (const std::string* written : {&files.report, &files.plot, &files.residuals}) {
        if (!written->empty())
            console.ReportMessage(MessageKind::Information, "Written: '" + *written + "'.");
    }
    return kExitDone;
}

}  // namespace varistrum::cli
