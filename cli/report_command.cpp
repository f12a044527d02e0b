// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli report: index pass (for the scans and frequency plans), then the report.
#include "cli/report_command.h"

#include <charconv>
#include <iostream>

#include "cli/console.h"
#include "cli/exit_codes.h"
#include "convert/conversion_settings.h"
#include "index/make_index.h"
#include "logfile/identify.h"
#include "report/drive_report.h"
#include "report/report_format.h"
#include "workflow/coverage_jobs.h"
#include "workflow/workflow.h"

namespace varistrum::cli {

void AddReportOptions(CLI::App& command, ReportOptions& options) {
    AddDataOptions(command, options.data);
    command.get_option("INPUT")->required();
    command.add_flag("--json", options.json, "Print JSON (schema: docs/report.schema.json)");
    command.add_flag("--summary", options.summary,
                     "Print only the summary per frequency (the first section)");
    command
        .add_option("--outage-seconds", options.outageSeconds,
                    "GPS outages: gaps between good fixes of SECONDS or more (default 30)")
        ->type_name("SECONDS")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check(NotEmptyValue());
    command
        .add_option("--cell", options.cell,
                    "Coverage by area: the side of the cells whose shares at or above the "
                    "thresholds are given, 5 to 1000 m (default 25)")
        ->type_name("METRES")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check(NotEmptyValue());
    command
        .add_option("--rssi-thresholds", options.thresholds,
                    "The five increasing levels (dBm) of the shares at or above, as the map's "
                    "colours (default -110,-100,-90,-80,-70)")
        ->type_name("A,B,C,D,E")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check(NotEmptyValue());
    command
        .add_option("--drop-stationary", options.data.dropStationary,
                    "Leave out the samples logged while the vehicle stood still, as convert "
                    "--drop-stationary does, and report the time standing still and the stops")
        ->type_name("DISTANCE,SECONDS")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check(NotEmptyValue());
}

int ReportCommand(ReportOptions& options, const CLI::App& command) {
    NoteGivenOptions(command, options.data);
    ConvertRequest request;
    if (auto problem = ParseDataOptions(options.data, request)) {
        std::cerr << "Error: " << *problem << '\n';
        return kExitUsage;
    }
    ReportRequest report;
    if (options.data.Given("--outage-seconds")) {
        const auto seconds = ParseOutageSeconds(options.outageSeconds);
        if (!seconds) {
            std::cerr << "Error: The GPS outage must be a whole number of seconds from 1 to "
                         "86400.\n";
            return kExitUsage;
        }
        report.outageSeconds = *seconds;
    }
    double cellMetres = 0.0;
    {
        const char* end = options.cell.data() + options.cell.size();
        const auto parsed = std::from_chars(options.cell.data(), end, cellMetres);
        if (parsed.ec != std::errc() || parsed.ptr != end || CheckCellMetres(cellMetres)) {
            std::cerr << "Error: --cell takes the cells' side in metres, 5 to 1000, not '"
                      << options.cell << "'\n";
            return kExitUsage;
        }
    }
    if (options.data.Given("--rssi-thresholds")) {
        std::string error;
        const auto ramp = LevelRamp::Parse(options.thresholds, &error);
        if (!ramp) {
            std::cerr << "Error: --rssi-thresholds: " << error << '\n';
            return kExitUsage;
        }
        report.ramp = *ramp;
    }
    const std::string& input = options.data.input;
    ConsoleObserver console(false, true);
    const std::optional<int> identified = ReadableLogFormat(input, console);
    if (!identified) return kExitFailed;
    const int format = *identified;
    TavrelReader reader;
    Workflow workflow(reader);
    std::stop_source stop;
    InterruptStop interrupt(stop);
    IndexRecorder recorder(console);
    const IndexOutcome indexed = workflow.Index(input, format, recorder, stop.get_token());
    if (indexed == IndexOutcome::Stopped) return interrupt.ExitStatus(kExitFailed);
    if (indexed != IndexOutcome::Indexed) return kExitFailed;
    if (auto missing = MissingScan(request.scans, workflow.ScanCount(), input)) {
        console.ReportMessage(MessageKind::Error, *missing);
        return kExitFailed;
    }
    if (workflow.FrequenciesNeeded() && request.frequencies) {
        if (!SupplyFrequencies(workflow, request.frequencies, console)) return kExitFailed;
    }
    report.typed = workflow.TypedChannelCodes();
    if (request.receiver) {
        report.receivers.receiver1 = *request.receiver == 1;
        report.receivers.receiver2 = *request.receiver == 2;
    }
    report.scans = request.scans;
    report.standStill = request.dropStationary;
    // Written down scan by scan: a log of millions of scans needs no more memory than one.
    SpilledReport text(options.json, report.outageSeconds, options.summary);
    // The shares by cells need a pass of their own; the summary alone lists no scan.
    const ScanReportSink sink = [&](ScanReport&& scan) { text.Add(scan); };
    const DriveReport result =
        options.summary
            ? BuildDriveReport(reader, input, report, stop.get_token(), sink)
            : BuildAreaReport(reader, input, report, cellMetres, console, stop.get_token(), sink);
    if (result.outcome.outcome == JobOutcome::Failed) {
        ReportFileFailure(result.outcome, console);
        return kExitFailed;
    }
    if (result.outcome.outcome == JobOutcome::Cancelled) return interrupt.ExitStatus(kExitFailed);
    text.WriteTo(std::cout, result);
    if (result.file.damage.Any()) console.ReportDamage({}, result.file.damage);
    return kExitDone;
}

}  // namespace varistrum::cli
