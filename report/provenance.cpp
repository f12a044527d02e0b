// SPDX-License-Identifier: GPL-3.0-or-later
// The provenance record of a conversion.
#include "report/provenance.h"

#include <chrono>
#include <ctime>
#include <filesystem>

#include "base/json_text.h"
#include "base/number_format.h"
#include "base/sha256.h"

namespace varistrum {

namespace {

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

const char* DistanceUnitName(DistanceUnit unit) {
    switch (unit) {
        case DistanceUnit::Minutes:
            return "minutes";
        case DistanceUnit::Metres:
            return "metres";
        default:
            return "degrees";
    }
}

void WriteSettings(JsonWriter& json, const ProvenanceRun& run) {
    const ConversionSettings& s = run.settings;
    json.BeginObject();
    json.Key("delimiter").String(std::string(1, s.Delimiter()));
    json.Key("field_titles").Bool(s.fieldTitles);
    json.Key("fields").BeginArray();
    for (std::size_t i = 0; i < s.selectedTitles.size(); ++i) {
        const int tag = i < s.selectedTags.size() ? s.selectedTags[i] : -10;
        json.BeginObject().Key("name").String(s.selectedTitles[i]).Key("tag").Integer(tag);
        json.EndObject();
    }
    json.EndArray();
    json.Key("data_columns").BeginObject();
    json.Key("frequency").Bool(s.columns.frequency);
    json.Key("channel").Bool(s.columns.channel);
    json.Key("rssi").Bool(s.columns.rssi);
    json.EndObject();
    json.Key("receiver").Integer(s.receivers.receiver1 ? 1 : 2);
    json.Key("average_type").String(AverageTypeName(s.averageType));
    json.Key("average_domain").String(s.averageLinearPower ? "linear" : "db");
    json.Key("split").Bool(s.split);
    json.Key("drop_outages").Bool(s.dropOutages);
    json.Key("outage_seconds").Integer(s.outageSeconds);
    json.Key("drop_standing_still").Bool(s.dropStandingStill);
    json.Key("standing_still_distance").NumberText(ShortestText(s.standStill.distance));
    json.Key("standing_still_unit").String(DistanceUnitName(s.standStill.unit));
    json.Key("standing_still_seconds").Integer(s.standStill.seconds);
    json.Key("threshold").Bool(s.threshold);
    json.Key("threshold_field")
        .String(s.thresholdRule.field == ThresholdField::Velocity ? "velocity" : "rssi");
    json.Key("threshold_comparator").String(ComparatorText(s.thresholdRule.comparator));
    json.Key("threshold_value").NumberText(ShortestText(s.thresholdRule.value));
    json.Key("all_scans").Bool(s.convertAllScans);
    // The scans left out by their check boxes (only when not every scan is converted).
    json.Key("unchecked_scans").BeginArray();
    for (std::size_t n = 1; !s.convertAllScans && n < s.scans.States().size(); ++n) {
        if (s.scans.States()[n] == 0) json.Integer(static_cast<std::int64_t>(n));
    }
    json.EndArray();
    json.Key("typed_frequencies_mhz");
    if (run.typedFrequencies) {
        json.BeginArray();
        json.Fixed(run.typedFrequencies->first, 6).Fixed(run.typedFrequencies->second, 6);
        json.EndArray();
    } else {
        json.Null();
    }
    json.EndObject();
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
    return output + ".provenance.json";
}

void CountPass(ProvenanceCounts& counts, const FilePass& pass) {
    counts.damagedRecords = pass.damage.damagedRecords;
    counts.skippedBytes = pass.damage.skippedBytes;
    counts.rowsDroppedInOutages = pass.dropped.outages;
    counts.rowsDroppedStandingStill = pass.dropped.standingStill;
    counts.stops = pass.dropped.stops;
    counts.stoppedSeconds = pass.dropped.stoppedSeconds;
    counts.rowsDroppedByThreshold = pass.dropped.threshold;
}

std::string ProvenanceJson(const ProvenanceRun& run) {
    const std::optional<FileDigest> digest = DigestOfFile(run.input);
    const ProvenanceCounts& c = run.counts;
    JsonWriter json;
    json.BeginObject();
    json.Key("provenance_version").Integer(1);
    json.Key("program").BeginObject();
    json.Key("name").String("Varistrum CW").Key("version").String(VARISTRUM_VERSION);
    json.EndObject();
    json.Key("input").BeginObject();
    json.Key("name").String(std::filesystem::path(run.input).filename().string());
    json.Key("path").String(run.input);
    json.Key("bytes");
    if (digest)
        json.Integer(static_cast<std::int64_t>(digest->size));
    else
        json.Null();
    json.Key("sha256");
    if (digest)
        json.String(digest->sha256);
    else
        json.Null();
    json.EndObject();
    json.Key("output");
    if (run.output.empty())
        json.Null();
    else
        json.String(run.output);
    json.Key("settings");
    WriteSettings(json, run);
    json.Key("counts").BeginObject();
    if (c.features >= 0)
        json.Key("features").Integer(c.features);
    else
        json.Key("output_lines").Integer(c.outputLines);
    json.Key("damaged_records").Integer(c.damagedRecords);
    json.Key("skipped_bytes").Integer(c.skippedBytes);
    json.Key("rows_dropped_in_outages").Integer(c.rowsDroppedInOutages);
    json.Key("rows_dropped_standing_still").Integer(c.rowsDroppedStandingStill);
    json.Key("stops").Integer(c.stops);
    json.Key("stopped_seconds").Integer(c.stoppedSeconds);
    json.Key("rows_dropped_by_threshold").Integer(c.rowsDroppedByThreshold);
    json.EndObject();
    json.Key("started").String(UtcTimeText(run.startUnixSeconds));
    json.Key("ended").String(UtcTimeText(run.endUnixSeconds));
    json.EndObject();
    return json.TakeText() + "\n";
}

}  // namespace varistrum
