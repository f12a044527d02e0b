// SPDX-License-Identifier: GPL-3.0-or-later
// The convert command: its options and how they become conversion settings.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

#include "export/map_format.h"
#include "filters/stop_finder.h"
#include "filters/threshold_stage.h"
#include "geodata/level_ramp.h"

namespace varistrum {
class TavrelReader;
class Workflow;
struct ConversionSettings;
struct SettingsModel;
}  // namespace varistrum

namespace varistrum::cli {

class ConsoleObserver;
class InterruptStop;

// The options as typed. Every option may be given more than once: the last one wins.
struct ConvertOptions {
    std::string input, output, config;
    std::string tags, delimiter, otherDelimiter;
    bool header = true;  // --header / --no-header, whichever came last
    std::string receiver, columns, average, dropOutages, frequencies, scans;
    std::string averageDomain;
    std::string dropStationary, threshold;  // --drop-stationary, --threshold
    bool bestServer = false, split = false;
    std::string inputFolder, outputFolder, pattern, outputExt, jobs;
    std::string format, merge, rssiThresholds;
    bool quiet = false;
    bool provenance = false;      // write NAME.EXT.provenance.json beside the output
    bool noSpatialIndex = false;  // FlatGeobuf without its spatial index
    bool kmlPoints = false;       // KML: a placemark per point instead of the track
    std::string kmlChannel;       // KML: the channel shown, or "strongest"
    std::set<std::string> given;  // long names of the options on the command line, and "INPUT"

    bool Given(const std::string& name) const { return given.count(name) > 0; }
};

// The options' values, checked; unset optionals leave the configuration's setting alone.
struct ConvertRequest {
    bool folderMode = false;
    bool toStandardOutput = false;  // -o -
    std::optional<std::vector<int>> tags;
    std::optional<int> delimiter;
    std::optional<std::string> otherDelimiter;
    std::optional<bool> header;
    std::optional<int> receiver;
    std::optional<std::vector<std::string>> columns;
    bool bestServer = false;
    std::optional<bool> averageLambda;
    std::optional<bool> averageLinear;  // --average-domain linear
    bool split = false;
    std::optional<std::string> dropOutages;
    std::optional<StandStillRule> dropStationary;
    std::optional<ThresholdRule> threshold;
    std::optional<std::pair<double, double>> frequencies;
    std::vector<int> scans;
    std::string pattern = "*.klf", outputExt = ".out";
    int jobs = 1;
    MapFormat format = MapFormat::Text;  // --format, or what the output name's extension says
    std::string merge;                   // folder job: every file into this GeoPackage
    LevelRamp ramp;                      // the KML's level colours
    bool spatialIndex = true;            // FlatGeobuf: --no-spatial-index turns it off
    bool provenance = false;             // a provenance record beside the output
    bool kmlPoints = false;              // KML: a placemark per point
    std::optional<int> kmlChannel;       // KML: the channel shown; none: the strongest
};

// The fields a first run converts: position, GPS date and time and the levels.
inline const std::vector<int> kDefaultTags = {5, 11, 22, 18, 0};

// Refuses an explicitly empty value ('') of an option or argument.
CLI::Validator NotEmptyValue();

// Adds options and arguments that take one value: the last one given counts, and an empty one
// is refused.
class ValueOptions {
  public:
    explicit ValueOptions(CLI::App& app) : app_(app) {}
    CLI::Option* operator()(const std::string& name, std::string& target, const std::string& help,
                            const std::string& type) const {
        return app_.add_option(name, target, help)
            ->type_name(type)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
            ->check(NotEmptyValue());
    }

  private:
    CLI::App& app_;
};

// --drop-stationary DISTANCE,SECONDS: "50m,30", ".0005deg,30", "1.5min,60"; nullopt when
// malformed (a distance not above 0, seconds outside 1..3600).
std::optional<StandStillRule> ParseStandStillOption(const std::string& text);
// --threshold EXPR: "rssi>-90", "velocity>=5", "rssi,gt,-90" (gt ge eq le lt); nullopt when
// malformed.
std::optional<ThresholdRule> ParseThresholdOption(const std::string& text);

void AddConvertOptions(CLI::App& command, ConvertOptions& options);
// Fills `given` from the parsed command.
void NoteGivenOptions(const CLI::App& command, ConvertOptions& options);
// Checks every value and combination before anything is read; the usage error's text, if any.
std::optional<std::string> ParseConvertOptions(const ConvertOptions& options,
                                               ConvertRequest& request);
int ConvertCommand(const ConvertOptions& options);

// The window's settings a command starts from: the configuration file (or the first-run
// fields) with the checked options over it; the exit status when that fails.
std::optional<int> LoadSettingsModel(const ConvertOptions& options, ConvertRequest& request,
                                     SettingsModel& window);
// Makes one identified log ready for a pass over its rows: indexed, typed frequencies given,
// the scans of --scans and the typed frequencies in `settings`; the exit status when that fails.
std::optional<int> PrepareSingleInput(const ConvertOptions& options, const ConvertRequest& request,
                                      int format, Workflow& workflow, std::stop_source& stop,
                                      const InterruptStop& interrupt, ConsoleObserver& console,
                                      ConversionSettings& settings);
// Shared with the report command: the data options (--receiver, --scans, --frequencies) ...
void AddDataOptions(CLI::App& command, ConvertOptions& options);
std::optional<std::string> ParseDataOptions(const ConvertOptions& options, ConvertRequest& request);
// ... the scan numbers checked against the file ...
std::optional<std::string> MissingScan(const std::vector<int>& scans, int scanCount,
                                       const std::string& path);
// ... and the typed frequencies given as the frequency dialog would (false: not accepted).
bool SupplyFrequencies(Workflow& workflow, const std::optional<std::pair<double, double>>& typed,
                       ConsoleObserver& console);

}  // namespace varistrum::cli
