// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli convert: settings from the window's defaults, a configuration file and options.
#include "cli/convert_options.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "base/number_format.h"
#include "base/output_set.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "convert/convert_job.h"
#include "convert/folder_files.h"
#include "export/map_export.h"
#include "logfile/identify.h"
#include "logfile/typed_frequencies.h"
#include "report/lambda_warnings.h"
#include "report/provenance.h"
#include "settings/configuration.h"
#include "settings/settings_snapshot.h"
#include "workflow/workflow.h"

namespace varistrum::cli {

namespace {

constexpr const char* kDelimiterNames[] = {"comma", "semicolon", "tab", "space", "other"};

int UsageError(const std::string& text) {
    std::cerr << "Error: " << text << '\n';
    return kExitUsage;
}

// The items of a comma-separated list; nullopt when one is empty ("5,,0", "5,").
std::optional<std::vector<std::string>> ListItems(const std::string& text) {
    std::vector<std::string> items;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t comma = text.find(',', begin);
        items.push_back(text.substr(begin, comma == std::string::npos ? comma : comma - begin));
        if (items.back().empty()) return std::nullopt;
        if (comma == std::string::npos) return items;
        begin = comma + 1;
    }
}

std::optional<int> WholeNumber(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end) return std::nullopt;
    return value;
}

std::optional<std::vector<int>> NumberList(const std::string& text) {
    const auto items = ListItems(text);
    if (!items) return std::nullopt;
    std::vector<int> numbers;
    for (const std::string& item : *items) {
        const auto number = WholeNumber(item);
        if (!number) return std::nullopt;
        numbers.push_back(*number);
    }
    return numbers;
}

std::optional<std::string> ParseFieldOptions(const ConvertOptions& o, ConvertRequest& r) {
    if (o.Given("--tags")) {
        const auto tags = NumberList(o.tags);
        if (!tags)
            return "--tags takes field tags separated by commas (see 'fields'), not '" + o.tags +
                   "'";
        for (int tag : *tags) {
            if (FieldName(tag).empty())
                return "--tags: " + std::to_string(tag) + " is not a field tag";
        }
        r.tags = *tags;
    }
    if (o.Given("--delimiter")) {
        for (int i = 0; i < 5; ++i) {
            if (o.delimiter == kDelimiterNames[i]) r.delimiter = i;
        }
        if (!r.delimiter) return "--delimiter must be comma, semicolon, tab, space or other";
    }
    if (o.Given("--other-delimiter")) {
        // The Other character is used only with the Other choice, so giving it chooses Other.
        if (r.delimiter && *r.delimiter != kOther)
            return "--other-delimiter cannot be used with --delimiter " + o.delimiter;
        // A text that is no single character is malformed; a character that would corrupt the
        // numbers is refused by the job itself, as any setting that cannot convert.
        if (auto problem = ConversionSettings::OtherDelimiterLengthProblem(o.otherDelimiter))
            return problem;
        r.delimiter = kOther;
        r.otherDelimiter = o.otherDelimiter;
    }
    if (o.Given("--header") || o.Given("--no-header")) r.header = o.header;
    if (o.Given("--columns")) {
        const auto columns = ListItems(o.columns);
        if (!columns) return "--columns takes frequency, channel and rssi";
        for (const std::string& column : *columns) {
            if (column != "frequency" && column != "channel" && column != "rssi")
                return "--columns takes frequency, channel and rssi";
        }
        r.columns = *columns;
    }
    return std::nullopt;
}

std::optional<std::string> ParseFilterOptions(const ConvertOptions& o, ConvertRequest& r) {
    if (o.Given("--receiver")) {
        if (o.receiver != "1" && o.receiver != "2") return "--receiver must be 1 or 2";
        r.receiver = o.receiver == "1" ? 1 : 2;
    }
    r.bestServer = o.bestServer;
    if (o.Given("--average")) {
        if (o.average != "none" && o.average != "40-lambda")
            return "--average must be none or 40-lambda";
        r.averageLambda = o.average == "40-lambda";
    }
    if (o.Given("--average-domain")) {
        if (o.averageDomain != "db" && o.averageDomain != "linear")
            return "--average-domain must be db or linear";
        r.averageLinear = o.averageDomain == "linear";
    }
    if (r.bestServer && r.averageLambda.value_or(false))
        return "--best-server cannot be used with --average 40-lambda: one reduction at a time";
    r.split = o.split;
    if (o.Given("--drop-outages")) {
        if (!ParseOutageSeconds(o.dropOutages))
            return "The GPS outage must be a whole number of seconds from 1 to 86400.";
        r.dropOutages = o.dropOutages;
    }
    if (o.Given("--drop-stationary")) {
        r.dropStationary = ParseStandStillOption(o.dropStationary);
        if (!r.dropStationary)
            return "--drop-stationary takes DISTANCE,SECONDS: a distance above 0 ending in m, deg "
                   "or min and whole seconds from 1 to 3600 (50m,30 or .0005deg,30), not '" +
                   o.dropStationary + "'";
    }
    if (o.Given("--threshold")) {
        r.threshold = ParseThresholdOption(o.threshold);
        if (!r.threshold)
            return "--threshold takes FIELD, a comparison and a number: rssi>-90, velocity>=5 or "
                   "rssi,gt,-90 (> >= = <= <, or gt ge eq le lt), not '" +
                   o.threshold + "'";
    }
    if (o.Given("--frequencies")) {
        const auto items = ListItems(o.frequencies);
        std::optional<double> first, second;
        if (items && items->size() == 2) {
            first = ParseFrequencyText((*items)[0]);
            second = ParseFrequencyText((*items)[1]);
        }
        if (!first || !second)
            return "--frequencies takes the two receivers' frequencies in MHz: F1,F2";
        r.frequencies = {*first, *second};
    }
    if (o.Given("--scans")) {
        const auto scans = NumberList(o.scans);
        if (!scans) return "--scans takes scan numbers separated by commas, not '" + o.scans + "'";
        for (int n : *scans) {
            if (n < 1) return "--scans: " + std::to_string(n) + " is not a scan number";
        }
        r.scans = *scans;
    }
    return std::nullopt;
}

// Options that only mean something in one of the two modes are refused in the other.
std::optional<std::string> ParseModeOptions(const ConvertOptions& o, ConvertRequest& r) {
    r.folderMode = o.Given("--input-folder") || o.Given("--output-folder");
    if (r.folderMode == o.Given("INPUT"))
        return "Give either INPUT or --input-folder and --output-folder.";
    if (r.folderMode &&
        !(o.Given("--input-folder") && (o.Given("--output-folder") || o.Given("--merge"))))
        return "Input and Output Folders Must Be Selected.";
    for (const char* name : {"--jobs", "--pattern", "--output-ext"}) {
        if (!r.folderMode && o.Given(name))
            return std::string(name) +
                   " applies only to folder jobs (--input-folder and --output-folder)";
    }
    if (r.folderMode && o.Given("--output"))
        return "--output cannot be used with a folder job: outputs are named after their inputs";
    if (o.provenance && (r.folderMode || o.output == "-"))
        return "--provenance applies only to a single file converted into an output file";
    if (r.folderMode && o.Given("--scans"))
        return "--scans cannot be used with a folder job: every scan of every file is converted";
    r.toStandardOutput = o.output == "-";
    if (r.toStandardOutput && o.split)
        return "--split cannot be used with -o - (standard output has no part files)";
    if (o.Given("--jobs")) {
        const auto jobs = WholeNumber(o.jobs);
        if (!jobs || *jobs < 1 || *jobs > 64) return "--jobs must be a whole number from 1 to 64";
        r.jobs = *jobs;
    }
    if (o.Given("--pattern")) r.pattern = o.pattern;
    if (o.Given("--output-ext")) {
        // Outputs stay in the output folder: "in/a.klf" gives "out/a" + the extension.
        if (o.outputExt.find('/') != std::string::npos || o.outputExt == "." || o.outputExt == "..")
            return "--output-ext takes a file name extension (no '/', not '.' or '..'), not '" +
                   o.outputExt + "'";
        r.outputExt = o.outputExt;
    }
    r.provenance = o.provenance;
    return std::nullopt;
}

// The output format: --format, else the extension of -o or --merge; a name whose extension is
// another map format's is refused before anything is read.
std::optional<std::string> ParseFormatOptions(const ConvertOptions& o, ConvertRequest& r) {
    std::optional<MapFormat> chosen;
    if (o.Given("--format")) {
        chosen = FormatOfName(o.format);
        if (!chosen) return "--format must be text, gpkg, geojson, fgb, kml or csv";
    }
    if (o.Given("--merge")) {
        if (!r.folderMode) return "--merge applies only to folder jobs (--input-folder)";
        if (MapFormatOfPath(o.merge) != MapFormat::GeoPackage)
            return "--merge takes a GeoPackage file name ending in .gpkg";
        if (chosen && *chosen != MapFormat::GeoPackage)
            return "--merge writes a GeoPackage: it cannot be used with --format " + o.format;
        chosen = MapFormat::GeoPackage;
        r.merge = o.merge;
    }
    const std::string& named = o.Given("--output") ? o.output : std::string();
    if (const auto implied = MapFormatOfPath(named)) {
        if (chosen && *chosen != *implied)
            return "--format " + o.format + " cannot write '" + named + "': its extension is " +
                   std::string(FormatExtension(*implied));
        chosen = implied;
    }
    r.format = chosen.value_or(MapFormat::Text);
    if (o.noSpatialIndex && r.format != MapFormat::FlatGeobuf)
        return "--no-spatial-index applies only to FlatGeobuf (--format fgb)";
    r.spatialIndex = !o.noSpatialIndex;
    if ((o.kmlPoints || o.Given("--kml-channel")) && r.format != MapFormat::Kml)
        return std::string(o.kmlPoints ? "--kml-points" : "--kml-channel") +
               " applies only to KML (--format kml)";
    r.kmlPoints = o.kmlPoints;
    if (o.Given("--kml-channel") && o.kmlChannel != "strongest") {
        int channel = -1;
        const char* end = o.kmlChannel.data() + o.kmlChannel.size();
        const auto result = std::from_chars(o.kmlChannel.data(), end, channel);
        if (result.ec != std::errc() || result.ptr != end || channel < 0)
            return "--kml-channel takes a channel number or 'strongest'";
        r.kmlChannel = channel;
    }
    if (r.format == MapFormat::Text) {
        if (o.Given("--rssi-thresholds"))
            return "--rssi-thresholds applies only to map layer formats (--format kml and others)";
        return std::nullopt;
    }
    if (r.toStandardOutput) return "-o - writes text only: a map layer needs a file";
    if (o.Given("--jobs") && r.jobs > 1) return "--jobs applies to text output only";
    if (o.Given("--output-ext")) {
        // ".csv" names text unless --format csv says otherwise.
        const bool csv = r.format == MapFormat::Csv &&
                         o.outputExt == std::string(FormatExtension(MapFormat::Csv));
        const auto implied = csv ? std::optional(MapFormat::Csv) : MapFormatOfPath(o.outputExt);
        if (implied != r.format)
            return "--output-ext " + o.outputExt + " does not suit --format " +
                   std::string(FormatName(r.format));
    }
    r.outputExt = std::string(FormatExtension(r.format));
    if (o.Given("--rssi-thresholds")) {
        std::string error;
        const auto ramp = LevelRamp::Parse(o.rssiThresholds, &error);
        if (!ramp) return "--rssi-thresholds: " + error;
        r.ramp = *ramp;
    }
    return std::nullopt;
}

// Applies the checked options over the window's settings.
void ApplyRequest(const ConvertRequest& r, SettingsModel& w) {
    if (r.tags) {
        w.selectedFields.clear();
        w.selectedTags.clear();
        for (int tag : *r.tags) {
            w.selectedFields.emplace_back(FieldName(tag));
            w.selectedTags.push_back(w.selectedTags.size() < kSelectedFieldRows ? tag : kNoTag);
        }
    }
    if (r.delimiter) w.delimiter = *r.delimiter;
    if (r.otherDelimiter) w.otherDelimiter = *r.otherDelimiter;
    if (r.header) w.fieldTitles = *r.header;
    if (r.receiver) {
        w.receiver1 = *r.receiver == 1;
        w.receiver2 = *r.receiver == 2;
    }
    if (r.columns) {
        w.frequencyField = w.channelField = w.rssiField = false;
        for (const std::string& column : *r.columns) {
            if (column == "frequency") w.frequencyField = true;
            if (column == "channel") w.channelField = true;
            if (column == "rssi") w.rssiField = true;
        }
    }
    if (r.bestServer) {
        w.bsAvg = true;
        w.noAvg = false;
    }
    if (r.averageLambda) w.averageLambda = *r.averageLambda;
    if (r.averageLinear) w.averageLinear = *r.averageLinear;
    if (r.split) w.split = true;
    if (r.dropOutages) {
        w.recDrop = true;
        w.outageSeconds = *r.dropOutages;
    }
    if (r.dropStationary) {
        w.traffic = true;
        w.trafficDistance = r.dropStationary->distance;
        w.trafficUnit = static_cast<int>(r.dropStationary->unit);
        w.trafficSeconds = r.dropStationary->seconds;
    }
    if (r.threshold) {
        w.threshold = true;
        w.thresholdField = static_cast<int>(r.threshold->field);
        w.thresholdComparator = static_cast<int>(r.threshold->comparator);
        w.thresholdValue = r.threshold->value;
    }
}

}  // namespace

// Gives the typed frequencies as the frequency dialog would; false when the conversion is aborted.
bool SupplyFrequencies(Workflow& workflow, const std::optional<std::pair<double, double>>& typed,
                       ConsoleObserver& console) {
    const FrequencyQuestion question = workflow.Question();
    if (typed) {
        const auto refusal = workflow.TypeFrequencies(typed->first, typed->second);
        if (refusal) {
            // "866.5000 is not in the range of receiver 2 (851.00000 - 866.00000 MHz)."
            std::string text;
            AppendFixed(text, refusal->mhz, 4);
            console.ReportMessage(MessageKind::Error, text + " is not in the range of receiver " +
                                                          std::to_string(refusal->receiver) + ' ' +
                                                          RangeText(refusal->range) + '.');
        }
        return !refusal;
    }
    console.ReportMessage(MessageKind::Error, kFrequencyExplanation);
    std::string ranges = "Give them with --frequencies F1,F2 (MHz): receiver 1 ";
    ranges += RangeText(question.receiver1);
    ranges += ", receiver 2 ";
    ranges += RangeText(question.receiver2);
    console.ReportMessage(MessageKind::Error, ranges + '.');
    console.ReportMessage(MessageKind::Information, "Conversion Aborted.");
    return false;
}

// Scan numbers run from 1 to the number of scans of the file.
std::optional<std::string> MissingScan(const std::vector<int>& scans, int scanCount,
                                       const std::string& path) {
    for (int n : scans) {
        if (n <= scanCount) continue;
        std::string text = "--scans: '" + path + "' has no scan " + std::to_string(n) + "; ";
        if (scanCount == 0) return text + "it has no scans.";
        if (scanCount == 1) return text + "its only scan is 1.";
        return text + "its scans are 1 to " + std::to_string(scanCount) + '.';
    }
    return std::nullopt;
}

namespace {

ScanSelectionSnapshot SelectScans(const ScanTree& tree, int scanCount,
                                  const std::vector<int>& scans) {
    if (scans.empty()) return tree.Snapshot();
    std::vector<signed char> states(static_cast<std::size_t>(scanCount) + 1, 0);
    for (int n : scans) {
        if (n >= 1 && n <= scanCount) states[static_cast<std::size_t>(n)] = 1;
    }
    return ScanSelectionSnapshot(std::move(states));
}

// One warning line per scan whose 40-lambda windows would hold a median below 36 samples.
void WarnOfSparseWindows(Workflow& workflow, const JobRequest& job, ConsoleObserver& console,
                         std::stop_token stop) {
    const LambdaWarnings warnings = workflow.SparseWindows(job, stop);
    for (const LambdaWarning& warning : warnings.listed)
        console.ReportMessage(MessageKind::Warning, LambdaWarningText(warning));
    if (warnings.unlisted > 0)
        console.ReportMessage(MessageKind::Warning, UnlistedWarningsText(warnings.unlisted));
}

// 0 only when every file was converted; the shell's status after a stopping signal.
int Finish(JobOutcome outcome, const InterruptStop& interrupt) {
    if (outcome == JobOutcome::Cancelled) return interrupt.ExitStatus(kExitFailed);
    return outcome == JobOutcome::Completed ? kExitDone : kExitFailed;
}

// Ctrl-C in the index pass that comes before a conversion cancels the conversion.
int IndexCancelled(ConsoleObserver& console, const InterruptStop& interrupt) {
    console.ReportMessage(MessageKind::Information, "Conversion Cancelled.");
    return interrupt.ExitStatus(kExitFailed);
}

// A missing or unreadable input folder is named; nothing is converted then.
bool CheckFolderReadable(const std::string& folder) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        const int reason = std::filesystem::exists(folder, error) ? ENOTDIR : ENOENT;
        std::cerr << "Error: Cannot open '" << folder << "': " << std::strerror(reason) << '\n';
        return false;
    }
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) {
        std::cerr << "Error: Cannot open '" << folder << "': " << std::strerror(errno) << '\n';
        return false;
    }
    ::closedir(listing);
    return true;
}

MapExportOptions MapOptionsOf(const ConvertRequest& request) {
    MapExportOptions options;
    options.format = request.format;
    options.ramp = request.ramp;
    options.spatialIndex = request.spatialIndex;
    options.provenanceRecord = request.provenance;
    options.kmlForm = request.kmlPoints ? KmlForm::Points : KmlForm::Track;
    options.kmlChannel = request.kmlChannel;
    return options;
}

// The job a request of the command line asks for.
JobRequest JobOf(const ConvertRequest& request, const ConversionSettings& settings) {
    JobRequest job;
    job.settings = settings;
    job.product = request.format == MapFormat::Text ? JobProduct::Text : JobProduct::MapLayers;
    job.layers = MapOptionsOf(request);
    job.provenance = request.provenance;
    job.filesAtOnce = request.jobs;
    return job;
}

int ConvertSingleFile(const ConvertOptions& o, const ConvertRequest& request,
                      ConversionSettings settings, ConsoleObserver& console) {
    const std::optional<int> identified = ReadableLogFormat(o.input, console);
    if (!identified) return kExitFailed;
    const int format = *identified;
    JobRequest job = JobOf(request, settings);
    job.inputs = {o.input};
    job.outputs = {!o.output.empty() ? o.output
                   : request.format == MapFormat::Text
                       ? DefaultOutputName(o.input)
                       : WithoutExtension(o.input) + std::string(FormatExtension(request.format))};
    // Every file the job writes is checked before the index pass and the frequency question.
    if (const auto refusal = Workflow::CheckFiles(job)) {
        console.ReportFailure(MessageKind::Error, refusal->message, refusal->path, {});
        return kExitFailed;
    }
    TavrelReader reader;
    Workflow workflow(reader);
    std::stop_source stop;
    InterruptStop interrupt(stop, [&console] {
        console.ReportMessage(MessageKind::Information, "Conversion Cancelled.");
    });
    if (auto failed = PrepareSingleInput(o, request, format, workflow, stop, interrupt, console,
                                         job.settings))
        return *failed;
    if (job.settings.averageType == kAverageLambda)
        WarnOfSparseWindows(workflow, job, console, stop.get_token());
    return Finish(workflow.Run(job, console, stop.get_token()), interrupt);
}

int ConvertFolder(const ConvertOptions& o, const ConvertRequest& request,
                  ConversionSettings settings, ConsoleObserver& console) {
    if (!CheckFolderReadable(o.inputFolder)) return kExitFailed;
    const FileLists lists =
        ListFolderFiles(o.inputFolder, request.pattern, o.outputFolder, request.outputExt);
    if (lists.inputs.empty()) {
        std::cerr << "Error: No files match '" << request.pattern << "' in " << o.inputFolder
                  << ".\n";
        return kExitFailed;
    }
    settings.convertAllScans = true;
    std::stop_source stop;
    InterruptStop interrupt(stop, [&console] {
        console.ReportMessage(MessageKind::Information, "Conversion Cancelled.");
    });
    TavrelReader reader;
    Workflow workflow(reader);
    if (request.frequencies) {
        // The plans of the first log give the channel steps of the typed frequencies.
        for (const std::string& input : lists.inputs) {
            const int format = IdentifyLogFile(input);
            if (format == kFormatNone) continue;
            IndexRecorder recorder(console);
            if (workflow.Index(input, format, recorder, stop.get_token()) == IndexOutcome::Stopped)
                return IndexCancelled(console, interrupt);
            if (!SupplyFrequencies(workflow, request.frequencies, console)) return kExitFailed;
            break;
        }
    }
    JobRequest job = JobOf(request, settings);
    job.kind = JobKind::Folder;
    job.inputs = lists.inputs;
    job.outputs = lists.outputs;
    if (!request.merge.empty()) job.merge = request.merge;
    return Finish(workflow.Run(job, console, stop.get_token()), interrupt);
}

}  // namespace

std::optional<int> PrepareSingleInput(const ConvertOptions& o, const ConvertRequest& request,
                                      int format, Workflow& workflow, std::stop_source& stop,
                                      const InterruptStop& interrupt, ConsoleObserver& console,
                                      ConversionSettings& settings) {
    IndexRecorder recorder(console);
    // A 40-lambda job's sample check is gathered along with the index pass.
    std::optional<ReceiverChoice> lambdaReceivers;
    if (settings.averageType == kAverageLambda) lambdaReceivers = settings.receivers;
    const IndexOutcome indexed =
        workflow.Index(o.input, format, recorder, stop.get_token(), lambdaReceivers);
    if (indexed == IndexOutcome::Stopped) return IndexCancelled(console, interrupt);
    if (indexed != IndexOutcome::Indexed) return kExitFailed;
    if (auto missing = MissingScan(request.scans, workflow.ScanCount(), o.input)) {
        console.ReportMessage(MessageKind::Error, *missing);
        return kExitFailed;
    }
    if (workflow.FrequenciesNeeded()) {
        if (!SupplyFrequencies(workflow, request.frequencies, console)) return kExitFailed;
    } else if (request.frequencies) {
        console.ReportMessage(MessageKind::Warning, "--frequencies is not used: '" + o.input +
                                                        "' has its frequency information.");
    }
    settings.convertAllScans = false;
    settings.scans = SelectScans(recorder.tree, workflow.ScanCount(), request.scans);
    settings.typed = workflow.TypedChannelCodes();
    return std::nullopt;
}

std::optional<StandStillRule> ParseStandStillOption(const std::string& text) {
    const auto items = ListItems(text);
    if (!items || items->size() != 2) return std::nullopt;
    std::string_view distance = (*items)[0];
    StandStillRule rule;
    constexpr std::pair<std::string_view, DistanceUnit> kUnits[] = {{"deg", DistanceUnit::Degrees},
                                                                    {"min", DistanceUnit::Minutes},
                                                                    {"m", DistanceUnit::Metres}};
    bool unitGiven = false;
    for (const auto& [suffix, unit] : kUnits) {
        if (distance.size() > suffix.size() && distance.ends_with(suffix)) {
            distance.remove_suffix(suffix.size());
            rule.unit = unit;
            unitGiven = true;
            break;
        }
    }
    // The number is written as it is (no blanks: "50 m" is no distance).
    const auto value = unitGiven && distance.find_first_of(" \t") == std::string_view::npos
                           ? ParseDecimal(distance)
                           : std::nullopt;
    const auto seconds = WholeNumber((*items)[1]);
    if (!value || !seconds) return std::nullopt;
    rule.distance = *value;
    rule.seconds = *seconds;
    if (rule.Problem() != nullptr) return std::nullopt;
    return rule;
}

std::optional<ThresholdRule> ParseThresholdOption(const std::string& text) {
    std::string_view rest = text;
    const auto skipBlanks = [&rest] {
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
            rest.remove_prefix(1);
    };
    // Takes `word` (letters in any case) when the text goes on with it.
    const auto take = [&rest](std::string_view word) {
        if (rest.size() < word.size()) return false;
        for (std::size_t i = 0; i < word.size(); ++i) {
            const char c = rest[i];
            if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != word[i])
                return false;
        }
        rest.remove_prefix(word.size());
        return true;
    };
    ThresholdRule rule;
    skipBlanks();
    if (take("rssi")) {
        rule.field = ThresholdField::Rssi;
    } else if (take("velocity")) {
        rule.field = ThresholdField::Velocity;
    } else {
        return std::nullopt;
    }
    skipBlanks();
    // The signs, longest first, or a word between commas.
    constexpr std::pair<std::string_view, Comparator> kSigns[] = {
        {">=", Comparator::GreaterOrEqual},
        {"<=", Comparator::LessOrEqual},
        {">", Comparator::Greater},
        {"<", Comparator::Less},
        {"=", Comparator::Equal}};
    constexpr std::pair<std::string_view, Comparator> kWords[] = {
        {"ge", Comparator::GreaterOrEqual},
        {"le", Comparator::LessOrEqual},
        {"gt", Comparator::Greater},
        {"lt", Comparator::Less},
        {"eq", Comparator::Equal}};
    bool compared = false;
    if (take(",")) {
        skipBlanks();
        for (const auto& [word, comparator] : kWords) {
            if (!take(word)) continue;
            skipBlanks();
            compared = take(",");
            rule.comparator = comparator;
            break;
        }
    } else {
        for (const auto& [sign, comparator] : kSigns) {
            if (!take(sign)) continue;
            compared = true;
            rule.comparator = comparator;
            break;
        }
    }
    const auto value = compared ? ParseDecimal(rest) : std::nullopt;
    if (!value) return std::nullopt;
    rule.value = *value;
    return rule;
}

// An empty value ('') is a usage error, never a silent fall-back to a default.
CLI::Validator NotEmptyValue() {
    return CLI::Validator(
        [](std::string& value) { return value.empty() ? "the value is empty" : std::string(); }, "",
        "NOT EMPTY");
}

void AddConvertOptions(CLI::App& c, ConvertOptions& o) {
    const ValueOptions value(c);
    value("INPUT", o.input, "Log file to convert (single-file mode)", "FILE");
    value("-o,--output", o.output,
          "Output file (default: the input name with .out); - for standard output", "FILE");
    value("--config", o.config, "Configuration file (.cfg) to start from", "FILE");
    value("--tags", o.tags,
          "Selected fields by tag, in order (see 'fields'; default without --config: "
          "5,11,22,18,0)",
          "TAG,...");
    value("--delimiter", o.delimiter, "comma, semicolon, tab, space or other", "NAME");
    value("--other-delimiter", o.otherDelimiter,
          "The Other delimiter character (implies --delimiter other)", "C");
    c.add_flag("--header")
        ->description("Write header records (the default)")
        ->disable_flag_override();
    c.add_flag("--no-header")->description("No header records")->disable_flag_override();
    value("--receiver", o.receiver, "Data source: receiver 1 or 2", "1|2");
    value("--columns", o.columns, "Columns of << DATA >>: frequency,channel,rssi", "COLUMN,...");
    c.add_flag("--best-server", o.bestServer,
               "Reduce the data to the best server (not with --average 40-lambda)");
    value("--average", o.average, "none or 40-lambda", "none|40-lambda");
    value("--average-domain", o.averageDomain,
          "40-lambda bins average dBm values (db, the default) or power in mW (linear)",
          "db|linear");
    c.add_flag("--split", o.split, "Split the output into parts of at most 60000 lines");
    value("--drop-outages", o.dropOutages, "Drop data during GPS outages of SECONDS or more",
          "SECONDS");
    value("--drop-stationary", o.dropStationary,
          "Drop the data logged while the vehicle stood still: stops in which the fixes stay "
          "within DISTANCE (ending in m, deg or min) of the stop's first fix for SECONDS (1 to "
          "3600) or longer, e.g. 50m,30 or .0005deg,30",
          "DISTANCE,SECONDS");
    value("--threshold", o.threshold,
          "Write only the rows whose level (rssi, dBm) or GPS speed (velocity, whole MPH) meets "
          "the comparison, e.g. 'rssi>-90', 'velocity>=5' or rssi,gt,-90 (> >= = <= <, or gt ge "
          "eq le lt); quote it: > is a shell redirection",
          "EXPR");
    value("--frequencies", o.frequencies, "Receiver frequencies F1,F2 in MHz", "F1,F2");
    value("--scans", o.scans, "Scan numbers to convert, as 'index' lists them (default: all)",
          "N,...");
    value("--input-folder", o.inputFolder, "Folder of log files (folder job)", "DIR");
    value("--output-folder", o.outputFolder, "Folder of the output files (folder job)", "DIR");
    value("--pattern", o.pattern, "Folder job: input file pattern (default *.klf)", "PATTERN");
    value("--output-ext", o.outputExt, "Folder job: output file extension (default .out)", ".EXT");
    value("-j,--jobs", o.jobs, "Folder job: files converted at once, 1 to 64 (default 1)", "N");
    value("--format", o.format,
          "Output format: text (default), gpkg, geojson, fgb, kml or csv (the samples as a table "
          "for pandas); without it an output name ending in .gpkg, .geojson, .fgb or .kml "
          "chooses that format (a .csv name stays text)",
          "FORMAT");
    value("--merge", o.merge,
          "Folder job: every file into this one GeoPackage, with a source_file field", "FILE.gpkg");
    value("--rssi-thresholds", o.rssiThresholds,
          "The five increasing level bounds (dBm) of the map colours (default "
          "-110,-100,-90,-80,-70)",
          "A,B,C,D,E");
    c.add_flag("-q,--quiet", o.quiet, "No progress bar and no information lines");
    c.add_flag("--provenance", o.provenance,
               "Write NAME.EXT.provenance.json beside the output NAME.EXT, put in place with it: "
               "program version, the input's size and SHA-256, the settings, the run's counts "
               "and times (single-file jobs)");
    c.add_flag("--kml-points", o.kmlPoints,
               "KML: a placemark per point (at most 100,000) instead of the drive as a track "
               "coloured by level");
    value("--kml-channel", o.kmlChannel,
          "KML: the channel shown, or the strongest of each row (default)", "N|strongest");
    c.add_flag("--no-spatial-index", o.noSpatialIndex,
               "FlatGeobuf: no spatial index, even for a file of at most 100,000 features (a "
               "larger one never gets one: GDAL would hold a few hundred bytes a feature)");
}

void NoteGivenOptions(const CLI::App& command, ConvertOptions& options) {
    for (const CLI::Option* option : command.get_options()) {
        if (option->count() == 0) continue;
        // A hidden option (one map refuses) has no name of its own for the help text.
        std::string name = option->get_name();
        if (name.empty() && !option->get_lnames().empty()) name = "--" + option->get_lnames()[0];
        options.given.insert(name);
    }
    // Of --header and --no-header, the one given last.
    for (const CLI::Option* option : command.parse_order()) {
        if (option->get_name() == "--header") options.header = true;
        if (option->get_name() == "--no-header") options.header = false;
    }
}

void AddDataOptions(CLI::App& c, ConvertOptions& o) {
    const ValueOptions value(c);
    value("INPUT", o.input, "Log file", "FILE");
    value("--receiver", o.receiver, "Data source: receiver 1 or 2", "1|2");
    value("--frequencies", o.frequencies, "Receiver frequencies F1,F2 in MHz", "F1,F2");
    value("--scans", o.scans, "Scan numbers, as 'index' lists them (default: all)", "N,...");
}

std::optional<std::string> ParseDataOptions(const ConvertOptions& o, ConvertRequest& r) {
    return ParseFilterOptions(o, r);
}

std::optional<std::string> ParseConvertOptions(const ConvertOptions& o, ConvertRequest& r) {
    if (auto problem = ParseModeOptions(o, r)) return problem;
    if (auto problem = ParseFieldOptions(o, r)) return problem;
    if (auto problem = ParseFilterOptions(o, r)) return problem;
    return ParseFormatOptions(o, r);
}

std::optional<int> LoadSettingsModel(const ConvertOptions& o, ConvertRequest& request,
                                     SettingsModel& window) {
    if (!o.config.empty()) {
        // A configuration that cannot be read is an error, not a silent fall-back to defaults.
        if (const std::string refusal = ConfigurationRefusal(o.config); !refusal.empty()) {
            std::cerr << "Error: " << refusal << '\n';
            return kExitFailed;
        }
        if (const int unknown = OpenConfiguration(o.config, window); unknown > 0)
            std::cerr << "Warning: " << UnknownFieldsText(unknown) << '\n';
    } else if (!request.tags)
        request.tags = kDefaultTags;  // a first run gives positions, times and levels
    ApplyRequest(request, window);
    return std::nullopt;
}

int ConvertCommand(const ConvertOptions& o) {
    ConvertRequest request;
    if (auto problem = ParseConvertOptions(o, request)) return UsageError(*problem);
    SettingsModel window;
    if (auto failed = LoadSettingsModel(o, request, window)) return *failed;
    ConsoleObserver console(!o.quiet && isatty(STDERR_FILENO), o.quiet);
    if (window.bsAvg && window.averageLambda)
        console.ReportMessage(MessageKind::Warning,
                              "The configuration's Best Server is not used with --average "
                              "40-lambda: one reduction at a time.");
    if (window.selectedFields.empty()) {
        console.ReportMessage(MessageKind::Error, "No output fields are selected.");
        return kExitFailed;
    }
    ConversionSettings settings = ConversionSettingsOf(window);
    settings.toStandardOutput = request.toStandardOutput;
    return request.folderMode ? ConvertFolder(o, request, settings, console)
                              : ConvertSingleFile(o, request, settings, console);
}

}  // namespace varistrum::cli
