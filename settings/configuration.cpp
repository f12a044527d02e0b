// SPDX-License-Identifier: GPL-3.0-or-later
// Save Configuration and Open Configuration over the window's settings model.
#include "settings/configuration.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "base/job_files.h"
#include "base/number_format.h"
#include "convert/field_catalog.h"
#include "filters/stop_finder.h"
#include "settings/ini_profile.h"

namespace varistrum {
namespace {

// "Field12", "Tag3": the word and the row index in decimal.
std::string RowKey(std::string_view word, std::size_t row) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, row);
    std::string key(word);
    key.append(digits, result.ptr);
    return key;
}

// A radio group index outside the group's items would leave no item to act on (the delimiter
// table, for one): it reads as the default instead.
int ReadChoice(const IniProfile& ini, std::string_view section, std::string_view key, int items) {
    const int value = ini.ReadInteger(section, key, 0);
    return value >= 0 && value < items ? value : 0;
}

// A decimal number ('.' whatever the locale); `def` when it is missing, no number, or `valid`
// refuses it.
template <class Valid>
double ReadNumber(const IniProfile& ini, std::string_view section, std::string_view key, double def,
                  Valid valid) {
    const std::optional<double> value = ParseDecimal(ini.ReadString(section, key, ""));
    return value && valid(*value) ? *value : def;
}

// The number of rows to read: Count, but nothing for a negative one and never a runaway loop.
std::size_t ReadRowCount(const IniProfile& ini, std::string_view section) {
    const int count = ini.ReadInteger(section, "Count", 0);
    return static_cast<std::size_t>(std::clamp(count, 0, kMaxConfigurationRows));
}

// A radio button set checked unchecks its sibling; set unchecked it stays as it is.
void ApplyRadio(bool checked, bool& button, bool& sibling) {
    if (!checked) return;
    button = true;
    sibling = false;
}

}  // namespace

std::vector<std::string> DefaultAvailableFields() {
    std::vector<std::string> names;
    for (std::string_view name : OfferedFieldNames()) names.emplace_back(name);
    return names;
}

std::string UnknownFieldsText(int count) {
    return std::to_string(count) + " unknown fields in the configuration were ignored.";
}

int AvailableFieldTag(const SettingsModel& settings, std::size_t row) {
    if (row >= settings.availableFields.size()) return -1;
    return FieldTagOf(settings.availableFields[row]);
}

std::string ConfigurationRefusal(const std::string& path) {
    const std::string reason = InputFailureReason(path);
    if (reason == kNotRegularFile) return "'" + path + "' is not a regular file.";
    if (!reason.empty()) return "Cannot open '" + path + "': " + reason;
    std::error_code error;
    if (std::filesystem::file_size(path, error) > IniProfile::kMaxBytes)
        return "'" + path + "' is not a configuration file: it is larger than 1 MiB.";
    return {};
}

bool SaveConfiguration(const std::string& path, const SettingsModel& s,
                       const std::vector<std::string>& inputs, std::string* reason) {
    std::string ignored;
    std::string& why = reason != nullptr ? *reason : ignored;
    for (const std::string& input : inputs) {
        if (SameFile(path, input)) {
            why = kOutputIsInput;
            return false;
        }
    }
    IniProfile ini;
    // An existing file that cannot be read must not be replaced by our entries alone.
    if (!ini.Load(path)) {
        why = ConfigurationRefusal(path);
        return false;
    }
    bool ok = ini.WriteInteger("InputFormat", "Product", s.inputFormat);
    ok = ok && ini.WriteString("InputFile", "Filename", s.inputFilename);
    ok = ok && ini.WriteInteger("OutputFilter", "BrindletMode", s.brindletMode);
    ok = ok && ini.WriteInteger("OutputFilter", "ScanType", s.scanType);
    ok = ok && ini.WriteBool("OutputFilter", "Receiver1", s.receiver1);
    ok = ok && ini.WriteBool("OutputFilter", "Receiver2", s.receiver2);
    ok = ok && ini.WriteBool("OutputFilter", "FrequencyField", s.frequencyField);
    ok = ok && ini.WriteBool("OutputFilter", "ChannelField", s.channelField);
    ok = ok && ini.WriteBool("OutputFilter", "RSSIField", s.rssiField);
    ok = ok && ini.WriteBool("OutputFilter", "NoAvg", s.noAvg);
    ok = ok && ini.WriteBool("OutputFilter", "BSAvg", s.bsAvg);
    ok = ok && ini.WriteInteger("OutputFilter", "AverageDomain", s.averageLinear ? 1 : 0);
    ok = ok && ini.WriteBool("OutputFilter", "Traffic", s.traffic);
    ok = ok && ini.WriteString("OutputFilter", "TrafficDistance", ShortestText(s.trafficDistance));
    ok = ok && ini.WriteInteger("OutputFilter", "TrafficUnit", s.trafficUnit);
    ok = ok && ini.WriteInteger("OutputFilter", "TrafficSeconds", s.trafficSeconds);
    ok = ok && ini.WriteBool("OutputFilter", "Threshold", s.threshold);
    ok = ok && ini.WriteInteger("OutputFilter", "ThresholdField", s.thresholdField);
    ok = ok && ini.WriteInteger("OutputFilter", "ThresholdComparator", s.thresholdComparator);
    ok = ok && ini.WriteString("OutputFilter", "ThresholdValue", ShortestText(s.thresholdValue));
    ok = ok && ini.WriteInteger("OutputFieldSelection", "Delimiter", s.delimiter);
    ok = ok && ini.WriteBool("OutputFieldSelection", "FieldTitles", s.fieldTitles);

    ok = ok &&
         ini.WriteInteger("AvailableFields", "Count", static_cast<int>(s.availableFields.size()));
    for (std::size_t i = 0; ok && i < s.availableFields.size(); ++i) {
        ok = ini.WriteString("AvailableFields", RowKey("Field", i), s.availableFields[i]);
    }

    ok = ok &&
         ini.WriteInteger("SelectedFields", "Count", static_cast<int>(s.selectedFields.size()));
    for (std::size_t i = 0; ok && i < s.selectedFields.size(); ++i) {
        // The reader keeps tags for the first rows only; the rest are written as "no tag".
        const int tag =
            i < s.selectedTags.size() && i < static_cast<std::size_t>(kSelectedFieldRows)
                ? s.selectedTags[i]
                : kNoTag;
        ok = ini.WriteString("SelectedFields", RowKey("Field", i), s.selectedFields[i]) &&
             ini.WriteInteger("SelectedTags", RowKey("Tag", i), tag);
    }

    ok = ok && ini.WriteString("OutputFile", "Filename", s.outputFilename);
    // A file without tile sources gets no [Map] section; one that had some gets Count=0.
    if (!s.tileSources.empty() || ini.ReadInteger("Map", "Count", -1) != -1) {
        ok = ok && ini.WriteInteger("Map", "Count", static_cast<int>(s.tileSources.size()));
        for (std::size_t i = 0; ok && i < s.tileSources.size(); ++i) {
            const TileSource& source = s.tileSources[i];
            ok = ini.WriteString("Map", RowKey("Name", i), source.name) &&
                 ini.WriteString("Map", RowKey("Template", i), source.urlTemplate) &&
                 ini.WriteString("Map", RowKey("Attribution", i), source.attribution) &&
                 ini.WriteInteger("Map", RowKey("MaxZoom", i), source.maxZoom);
        }
    }
    if (!ok) {
        why = "A setting holds a line break.";
        return false;
    }
    return ini.Save(path, &why);
}

int OpenConfiguration(const std::string& path, SettingsModel& s) {
    IniProfile ini;
    ini.Load(path);  // an unreadable file reads as an empty one: every entry takes its default

    s.inputFormat = ReadChoice(ini, "InputFormat", "Product", 10);
    s.inputFilename = ini.ReadString("InputFile", "Filename", "Sample.in");
    s.brindletMode = ReadChoice(ini, "OutputFilter", "BrindletMode", 3);
    s.scanType = ReadChoice(ini, "OutputFilter", "ScanType", 2);
    ApplyRadio(ini.ReadBool("OutputFilter", "Receiver1", true), s.receiver1, s.receiver2);
    ApplyRadio(ini.ReadBool("OutputFilter", "Receiver2", false), s.receiver2, s.receiver1);
    s.frequencyField = ini.ReadBool("OutputFilter", "FrequencyField", true);
    s.channelField = ini.ReadBool("OutputFilter", "ChannelField", false);
    s.rssiField = ini.ReadBool("OutputFilter", "RSSIField", true);
    ApplyRadio(ini.ReadBool("OutputFilter", "NoAvg", true), s.noAvg, s.bsAvg);
    ApplyRadio(ini.ReadBool("OutputFilter", "BSAvg", false), s.bsAvg, s.noAvg);
    s.averageLinear = ReadChoice(ini, "OutputFilter", "AverageDomain", 2) == 1;  // older: 0
    // Older files lack the filters: they read as off, with the dialogs' defaults.
    const SettingsModel defaults;
    s.traffic = ini.ReadBool("OutputFilter", "Traffic", false);
    s.trafficDistance = ReadNumber(ini, "OutputFilter", "TrafficDistance", defaults.trafficDistance,
                                   [](double d) { return d > 0.0; });
    s.trafficUnit = ReadChoice(ini, "OutputFilter", "TrafficUnit", 3);
    s.trafficSeconds = ini.ReadInteger("OutputFilter", "TrafficSeconds", defaults.trafficSeconds);
    if (s.trafficSeconds < 1 || s.trafficSeconds > kStandStillSecondsMax)
        s.trafficSeconds = defaults.trafficSeconds;
    s.threshold = ini.ReadBool("OutputFilter", "Threshold", false);
    s.thresholdField = ReadChoice(ini, "OutputFilter", "ThresholdField", 2);
    s.thresholdComparator = ReadChoice(ini, "OutputFilter", "ThresholdComparator", 5);
    s.thresholdValue = ReadNumber(ini, "OutputFilter", "ThresholdValue", defaults.thresholdValue,
                                  [](double) { return true; });
    s.delimiter = ReadChoice(ini, "OutputFieldSelection", "Delimiter", 5);
    s.fieldTitles = ini.ReadBool("OutputFieldSelection", "FieldTitles", false);

    // Rows are names of catalog fields; any other text (a forged title with quotes, a line
    // break) would reach the header record as it is, so it is dropped.
    int unknown = 0;
    s.availableFields.clear();
    const std::size_t available = ReadRowCount(ini, "AvailableFields");
    for (std::size_t i = 0; i < available; ++i) {
        std::string name = ini.ReadString("AvailableFields", RowKey("Field", i), "");
        if (FieldTagOf(name) < 0) {
            ++unknown;
            continue;
        }
        s.availableFields.push_back(std::move(name));
    }

    // A selected row's field is the catalog field of its name, whatever its Tag entry says.
    s.selectedFields.clear();
    s.selectedTags.clear();
    const std::size_t selected = ReadRowCount(ini, "SelectedFields");
    for (std::size_t i = 0; i < selected; ++i) {
        std::string name = ini.ReadString("SelectedFields", RowKey("Field", i), "");
        const int tag = FieldTagOf(name);
        if (tag < 0) {
            ++unknown;
            continue;
        }
        s.selectedTags.push_back(
            s.selectedTags.size() < static_cast<std::size_t>(kSelectedFieldRows) ? tag : kNoTag);
        s.selectedFields.push_back(std::move(name));
    }

    s.outputFilename = ini.ReadString("OutputFile", "Filename", "Sample.out");

    // A source that cannot be used (an edited address, a zoom out of range) is not offered.
    s.tileSources.clear();
    const std::size_t sources = ReadRowCount(ini, "Map");
    for (std::size_t i = 0; i < sources; ++i) {
        TileSource source;
        source.name = ini.ReadString("Map", RowKey("Name", i), "");
        source.urlTemplate = ini.ReadString("Map", RowKey("Template", i), "");
        source.attribution = ini.ReadString("Map", RowKey("Attribution", i), "");
        source.maxZoom = ini.ReadInteger("Map", RowKey("MaxZoom", i), 19);
        if (!TileSourceProblem(source)) s.tileSources.push_back(std::move(source));
    }
    return unknown;
}

}  // namespace varistrum
