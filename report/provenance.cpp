// SPDX-License-Identifier: GPL-3.0-or-later
// The provenance record of a conversion.
#include "report/provenance.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "base/json_text.h"
#include "base/number_format.h"
#include "base/sha256.h"

namespace varistrum {

namespace {

std::string Number(std::int64_t value) {
    std::string out;
    AppendInt(out, value);
    return out;
}

const char* Bool(bool value) {
    return value ? "true" : "false";
}

const char* AverageTypeName(int type) {
    switch (type) {
        case kAverageLambda:
            return "40_lambda";
        case kAverageBestServer:
            return "best_server";
        default:
            return "none";
    }
}

std::string SettingsJson(const ProvenanceRun& run) {
    const ConversionSettings& s = run.settings;
    std::string out = "{\"delimiter\":" + JsonString(std::string(1, s.Delimiter())) +
                      ",\"field_titles\":" + Bool(s.fieldTitles) + ",\"fields\":[";
    for (std::size_t i = 0; i < s.selectedTitles.size(); ++i) {
        const int tag = i < s.selectedTags.size() ? s.selectedTags[i] : -10;
        out += std::string(i ? "," : "") + "{\"name\":" + JsonString(s.selectedTitles[i]) +
               ",\"tag\":" + Number(tag) + "}";
    }
    out += "],\"data_columns\":{\"frequency\":" + std::string(Bool(s.columns.frequency)) +
           ",\"channel\":" + Bool(s.columns.channel) + ",\"rssi\":" + Bool(s.columns.rssi) +
           "},\"receiver\":" + (s.receivers.receiver1 ? "1" : "2") + ",\"average_type\":\"" +
           AverageTypeName(s.averageType) + "\",\"average_domain\":\"" +
           (s.averageLinearPower ? "linear" : "db") + "\",\"split\":" + Bool(s.split) +
           ",\"drop_outages\":" + Bool(s.dropOutages) +
           ",\"outage_seconds\":" + Number(s.outageSeconds) +
           ",\"all_scans\":" + Bool(s.convertAllScans) + ",\"unchecked_scans\":";
    // The scans left out by their check boxes (only when not every scan is converted).
    out += "[";
    bool first = true;
    for (std::size_t n = 1; !s.convertAllScans && n < s.scans.States().size(); ++n) {
        if (s.scans.States()[n] != 0) continue;
        out += std::string(first ? "" : ",") + Number(static_cast<std::int64_t>(n));
        first = false;
    }
    out += "],\"typed_frequencies_mhz\":";
    if (run.typedFrequencies) {
        out += "[";
        AppendFixed(out, run.typedFrequencies->first, 6);
        out += ",";
        AppendFixed(out, run.typedFrequencies->second, 6);
        out += "]";
    } else {
        out += "null";
    }
    return out + "}";
}

}  // namespace

std::string UtcTimeText(std::int64_t unixSeconds) {
    const auto time = static_cast<std::time_t>(unixSeconds);
    std::tm utc{};
    gmtime_r(&time, &utc);
    std::string out;
    AppendInt(out, utc.tm_year + 1900, 4);
    out.push_back('-');
    AppendInt(out, utc.tm_mon + 1, 2);
    out.push_back('-');
    AppendInt(out, utc.tm_mday, 2);
    out.push_back('T');
    AppendInt(out, utc.tm_hour, 2);
    out.push_back(':');
    AppendInt(out, utc.tm_min, 2);
    out.push_back(':');
    AppendInt(out, utc.tm_sec, 2);
    out.push_back('Z');
    return out;
}

std::int64_t UnixSecondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string ProvenancePathOf(const std::string& output) {
    std::filesystem::path path(output);
    path.replace_extension(".provenance.json");
    return path.string();
}

std::string ProvenanceJson(const ProvenanceRun& run) {
    const std::optional<FileDigest> digest = DigestOfFile(run.input);
    const ProvenanceCounts& c = run.counts;
    return "{\"provenance_version\":1,\"program\":{\"name\":\"Varistrum CW\",\"version\":" +
           JsonString(VARISTRUM_VERSION) + "},\"input\":{\"name\":" +
           JsonString(std::filesystem::path(run.input).filename().string()) +
           ",\"path\":" + JsonString(run.input) +
           ",\"bytes\":" + (digest ? Number(static_cast<std::int64_t>(digest->size)) : "null") +
           ",\"sha256\":" + (digest ? JsonString(digest->sha256) : "null") +
           "},\"output\":" + (run.output.empty() ? std::string("null") : JsonString(run.output)) +
           ",\"settings\":" + SettingsJson(run) + ",\"counts\":{" +
           (c.features >= 0 ? "\"features\":" + Number(c.features)
                            : "\"output_lines\":" + Number(c.outputLines)) +
           ",\"damaged_records\":" + Number(c.damagedRecords) +
           ",\"skipped_bytes\":" + Number(c.skippedBytes) +
           ",\"rows_dropped_in_outages\":" + Number(c.rowsDroppedInOutages) + "},\"started\":\"" +
           UtcTimeText(run.startUnixSeconds) + "\",\"ended\":\"" + UtcTimeText(run.endUnixSeconds) +
           "\"}\n";
}

bool WriteProvenanceFile(const ProvenanceRun& run, std::string& reason) {
    const std::string json = ProvenanceJson(run);
    std::ofstream file(ProvenancePathOf(run.output), std::ios::binary | std::ios::trunc);
    file.write(json.data(), static_cast<std::streamsize>(json.size()));
    file.close();
    if (file) return true;
    reason = std::strerror(errno);
    return false;
}

}  // namespace varistrum
