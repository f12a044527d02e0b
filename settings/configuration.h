// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's settings as a model, and saving/opening them as a configuration file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "settings/tile_sources.h"

namespace varistrum {

// Opening reads at most this many rows of each field list, whatever Count says.
inline constexpr int kMaxConfigurationRows = 1000;

// The names of the offered fields, in display order: the Available Fields list at start.
std::vector<std::string> DefaultAvailableFields();

// Everything a user sets, in the window or on the command line (which fills the same model);
// the defaults are the window's state at start.
struct SettingsModel {
    // Stored in a configuration file.
    int inputFormat = 0;  // 0 none, 8 log file, 9 PC card file (hidden radio group, 0..9)
    std::string inputFilename;
    int brindletMode = 0;   // hidden radio group, 0..2
    int scanType = 1;       // hidden radio group, 0..1
    bool receiver1 = true;  // radio pair with receiver2
    bool receiver2 = false;
    bool frequencyField = true;
    bool channelField = false;
    bool rssiField = true;
    bool noAvg = true;  // radio pair with bsAvg ("Convert All Data" / "Best Server")
    bool bsAvg = false;
    // "Average in linear power (mW)": 40-lambda bins average power, not dBm (AverageDomain=1).
    bool averageLinear = false;
    // "Drop data while standing still" and its dialog's values (Traffic=1, TrafficDistance,
    // TrafficUnit: 0 degrees, 1 minutes, 2 metres, TrafficSeconds).
    bool traffic = false;
    double trafficDistance = 0.0005;
    int trafficUnit = 0;
    int trafficSeconds = 30;
    // "Threshold" and its dialog's values (Threshold=1, ThresholdField: 0 RSSI, 1 Velocity,
    // ThresholdComparator: 0 >, 1 >=, 2 =, 3 <=, 4 <, ThresholdValue).
    bool threshold = false;
    int thresholdField = 0;
    int thresholdComparator = 0;
    double thresholdValue = -100.0;
    int delimiter = 0;  // 0 comma, 1 semicolon, 2 tab, 3 space, 4 other
    bool fieldTitles = true;
    std::vector<std::string> availableFields = DefaultAvailableFields();
    std::vector<std::string> selectedFields;
    // One per selected row: the field's catalog tag; rows from kSelectedFieldRows on have
    // none (kNoTag), as the reader keeps tags for that many rows only.
    std::vector<int> selectedTags;
    std::string outputFilename;
    // The map's tile sources the user added ([Map]); the built-in one is never stored. Opening
    // keeps the entries that pass TileSourceProblem.
    std::vector<TileSource> tileSources;

    // Part of the window only, never in a configuration file.
    bool singleFile = true;
    std::string inFolder;
    std::string outFolder;
    std::string inputExt = "*.klf";
    std::string outputExt = ".out";
    bool averageLambda = false;  // "40 Lambda" instead of "None"
    std::string otherDelimiter = ":";
    bool split = false;
    bool recDrop = false;
    std::string outageSeconds = "30";
};

// Tag for selecting Available Fields row `row`: the catalog tag of the row's text, so that a
// list restored from a file (possibly edited, reordered or shortened) selects what it shows.
// -1 for a name outside the catalog or a row that does not exist.
int AvailableFieldTag(const SettingsModel& settings, std::size_t row);

// Writes the stored settings into `path`, keeping whatever else the file holds. False when the
// file cannot be read or written, is one of `inputs` (the open log), or a text holds a line
// break (the file is then unchanged); `reason` then says why when it is known.
bool SaveConfiguration(const std::string& path, const SettingsModel& settings,
                       const std::vector<std::string>& inputs = {}, std::string* reason = nullptr);

// Why `path` cannot be opened as a configuration, for the user ("'x' is not a regular file.",
// "Cannot open 'x': No such file or directory", "'x' is not a configuration file: it is larger
// than 1 MiB."); empty when it can. Reading a configuration costs several times its size in
// memory: no configuration is that large.
std::string ConfigurationRefusal(const std::string& path);

// Reads a configuration into `settings` and returns the number of field list rows dropped
// because their names are not catalog field names; never fails: a missing file, section or entry,
// or an unreadable value, gives that entry's default (file names "Sample.in" / "Sample.out",
// header record off, empty lists, the filters off with their dialogs' defaults, 0 otherwise).
// The radio pairs receiver1/receiver2 and noAvg/bsAvg behave as radio buttons: a checked value
// unchecks the sibling, an unchecked one changes nothing, so `settings` must hold a valid pair
// on entry. Settings not stored are left alone.
//
// The window applies the result to its controls in this order: the input file name; then the
// input format, set to 0 and then to the value so that its handler runs even when unchanged
// and the index pass it starts reads the configured file; then the remaining fields in the
// order they are declared above.
int OpenConfiguration(const std::string& path, SettingsModel& settings);

// The window's note about dropped rows: "N unknown fields in the configuration were ignored."
std::string UnknownFieldsText(int count);

}  // namespace varistrum
