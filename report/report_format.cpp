// SPDX-License-Identifier: GPL-3.0-or-later
// Text, JSON and HTML forms of the drive report.
#include "report/report_format.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string_view>

#include "base/json_text.h"
#include "base/number_format.h"

namespace varistrum {

// The Lee sentence with its numbers glued to their units.
std::string GluedLeeSentence(const ChannelFigures& channel, double medianSpeedKmh);

namespace {

// Takes the report's text piece by piece: a string that grows, the spill array of the scans, or
// the output itself, so that a list of many outages is never one string.
using TextSink = std::function<void(std::string_view)>;

// Joins a number to its unit in texts that get wrapped; a blank in the output.
constexpr char kGlue = '\x1f';
const std::string kUnitGap(1, kGlue);

std::string Fixed(double value, int precision) {
    std::string out;
    AppendFixed(out, value, precision);
    return out;
}

std::string Whole(std::int64_t value) {
    std::string out;
    AppendInt(out, value);
    return out;
}

// Fixed with `precision` decimals, trailing zeros dropped down to `keep` decimals.
std::string Trimmed(double value, int precision, int keep) {
    std::string text = Fixed(value, precision);
    const std::size_t point = text.find('.');
    if (point == std::string::npos) return text;
    std::size_t end = text.size();
    while (end > point + 1 + static_cast<std::size_t>(keep) && text[end - 1] == '0') --end;
    if (end == point + 1) --end;  // no decimals left: no point either
    return text.substr(0, end);
}

std::string FrequencyText(double mhz) {
    return mhz > 0.0 ? Trimmed(mhz, 4, 3) + kUnitGap + "MHz" : "unknown frequency";
}

std::string ClockText(std::int64_t secondOfDay) {
    std::string out;
    AppendInt(out, secondOfDay / 3600 % 24, 2);
    out.push_back(':');
    AppendInt(out, secondOfDay / 60 % 60, 2);
    out.push_back(':');
    AppendInt(out, secondOfDay % 60, 2);
    return out;
}

// "1:02:03" (hours, minutes, seconds).
std::string DurationText(double seconds) {
    const auto total = static_cast<std::int64_t>(std::llround(seconds));
    std::string out;
    AppendInt(out, total / 3600);
    out.push_back(':');
    AppendInt(out, total / 60 % 60, 2);
    out.push_back(':');
    AppendInt(out, total % 60, 2);
    return out;
}

std::string DistanceText(double metres) {
    return metres >= 1000.0 ? Fixed(metres / 1000.0, 2) + kUnitGap + "km"
                            : Fixed(metres, 0) + kUnitGap + "m";
}

std::string Percent(std::int64_t part, std::int64_t total) {
    return total > 0 ? Fixed(100.0 * static_cast<double>(part) / static_cast<double>(total), 1)
                     : std::string("0.0");
}

std::string SpeedSummary(const DriveFigures& d) {
    return "speed median " + Fixed(d.speedMedianKmh, 0) + kUnitGap + "km/h, 95th percentile " +
           Fixed(d.speed95Kmh, 0) + kUnitGap + "km/h";
}

std::string GpsLine(const GpsFigures& g) {
    const std::int64_t total = g.Total();
    return "GPS: " + Whole(g.fixes3d) + " 3D (" + Percent(g.fixes3d, total) + " %), " +
           Whole(g.fixes2d) + " 2D (" + Percent(g.fixes2d, total) + " %), " + Whole(g.bad) +
           " bad (" + Percent(g.bad, total) + " %)";
}

void AppendDrive(const TextSink& put, const DriveFigures& d, int outageSeconds) {
    const auto line = [&](const std::string& text) {
        put(WrapLine("  " + text, kReportColumns, 4));
    };
    line("Duration " + DurationText(d.durationSeconds) + ", distance " +
         DistanceText(d.distanceMetres) + ", " + SpeedSummary(d));
    line(GpsLine(d.gps));
    if (d.outages.empty()) {
        line("No GPS outages of " + Whole(outageSeconds) + " s or more");
    } else {
        line("GPS outages of " + Whole(outageSeconds) +
             " s or more: " + Whole(static_cast<std::int64_t>(d.outages.size())));
        for (std::size_t i = 0; i < d.outages.size(); ++i) {
            const OutageFigure& o = d.outages[i];
            line("  " + ClockText(o.startSecondOfDay) + " for " + Fixed(o.durationSeconds, 0) +
                 " s, position jumped " + DistanceText(o.jumpMetres));
        }
    }
    line("Damaged records " + Whole(d.damage.damagedRecords) + ", bytes skipped " +
         Whole(d.damage.skippedBytes));
}

std::string LevelsText(const LevelFigures& l) {
    return "level min/median/max " + Whole(l.minimum) + "/" + Whole(l.median) + "/" +
           Whole(l.maximum) + kUnitGap + "dBm";
}

void AppendChannel(std::string& out, const ChannelFigures& c, double medianSpeedKmh) {
    out += WrapLine("  " + FrequencyText(c.frequencyMHz) + ": " + Whole(c.samples) + " samples, " +
                        Fixed(c.samplesPerSecond, 1) + " samples/s, " + LevelsText(c.levels),
                    kReportColumns, 6);
    if (!c.lee) {
        out += "    Lee's criterion: not applicable (no frequency or no drive)\n";
        return;
    }
    out += WrapLine("    " + GluedLeeSentence(c, medianSpeedKmh), kReportColumns, 6);
    const LeeFigures& lee = *c.lee;
    out += WrapLine("    samples per window: min " + Whole(lee.minimum) + ", 10th percentile " +
                        Whole(lee.percentile10) + ", median " + Whole(lee.median) + "; " +
                        Fixed(lee.shareBelow36 * 100.0, 1) + " % of " + Whole(lee.windows) +
                        " windows below 36",
                    kReportColumns, 6);
}

// JSON ------------------------------------------------------------------------------------

double Share(std::int64_t part, std::int64_t total) {
    return total > 0 ? static_cast<double>(part) / static_cast<double>(total) : 0.0;
}

// `put`, when given, takes the text written so far every few thousand outages, so that a long
// list of them is never one string.
void WriteDrive(JsonWriter& json, const DriveFigures& d, const TextSink* put = nullptr) {
    const GpsFigures& g = d.gps;
    const std::int64_t total = g.Total();
    json.Key("duration_s").Fixed(d.durationSeconds, 0);
    json.Key("distance_m").Fixed(d.distanceMetres, 1);
    json.Key("speed_kmh").BeginObject();
    json.Key("median").Fixed(d.speedMedianKmh, 1).Key("p95").Fixed(d.speed95Kmh, 1);
    json.EndObject();
    json.Key("gps").BeginObject();
    json.Key("fixes_3d").Integer(g.fixes3d).Key("fixes_2d").Integer(g.fixes2d);
    json.Key("bad").Integer(g.bad);
    json.Key("share_3d").Fixed(Share(g.fixes3d, total), 4);
    json.Key("share_2d").Fixed(Share(g.fixes2d, total), 4);
    json.Key("share_bad").Fixed(Share(g.bad, total), 4);
    json.EndObject();
    json.Key("outages").BeginArray();
    for (std::size_t i = 0; i < d.outages.size(); ++i) {
        if (put != nullptr && i % 4096 == 4095) (*put)(json.TakeText());
        const OutageFigure& o = d.outages[i];
        json.BeginObject();
        json.Key("start").String(ClockText(o.startSecondOfDay));
        json.Key("duration_s").Fixed(o.durationSeconds, 0);
        json.Key("jump_m").Fixed(o.jumpMetres, 1);
        json.EndObject();
    }
    json.EndArray();
    json.Key("damaged_records").Integer(d.damage.damagedRecords);
    json.Key("skipped_bytes").Integer(d.damage.skippedBytes);
}

void WriteChannel(JsonWriter& json, const ChannelFigures& c) {
    json.BeginObject();
    json.Key("frequency_mhz");
    if (c.frequencyMHz > 0.0)
        json.NumberText(Trimmed(c.frequencyMHz, 6, 1));
    else
        json.Null();
    json.Key("samples").Integer(c.samples);
    json.Key("samples_per_second").Fixed(c.samplesPerSecond, 3);
    json.Key("level_dbm").BeginObject();
    json.Key("min").Integer(c.levels.minimum).Key("median").Integer(c.levels.median);
    json.Key("max").Integer(c.levels.maximum);
    json.EndObject();
    json.Key("lee");
    if (!c.lee) {
        json.Null().EndObject();
        return;
    }
    const LeeFigures& lee = *c.lee;
    json.BeginObject();
    json.Key("window_m").Fixed(lee.windowMetres, 3);
    json.Key("windows").Integer(lee.windows);
    json.Key("samples_per_window").BeginObject();
    json.Key("min").Integer(lee.minimum).Key("p10").Integer(lee.percentile10);
    json.Key("median").Integer(lee.median);
    json.EndObject();
    json.Key("share_below_36").Fixed(lee.shareBelow36, 4);
    json.Key("max_speed_kmh").Fixed(lee.maxSpeedKmh, 1);
    json.Key("verdict").String(VerdictKey(lee.verdict));
    json.Key("meets_percent").Integer(lee.meetsPercent);
    json.EndObject().EndObject();
}

// HTML ------------------------------------------------------------------------------------

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case kGlue:
                out += "&nbsp;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

void AppendDriveHtml(std::string& out, const DriveFigures& d, int outageSeconds) {
    const auto row = [&](const std::string& name, const std::string& value) {
        out += "<tr><th align=\"left\">" + Escaped(name) + "</th><td>" + Escaped(value) +
               "</td></tr>\n";
    };
    out += "<table>\n";
    row("Duration", DurationText(d.durationSeconds));
    row("Distance", DistanceText(d.distanceMetres));
    row("Speed", SpeedSummary(d));
    row("GPS", GpsLine(d.gps).substr(5));
    std::string outages = d.outages.empty() ? "none" : "";
    for (std::size_t i = 0; i < d.outages.size(); ++i) {
        const OutageFigure& o = d.outages[i];
        if (!outages.empty()) outages += "; ";
        outages += ClockText(o.startSecondOfDay) + " for " + Fixed(o.durationSeconds, 0) +
                   " s, jumped " + DistanceText(o.jumpMetres);
    }
    row("GPS outages (" + Whole(outageSeconds) + " s or more)", outages);
    row("Damaged records", Whole(d.damage.damagedRecords));
    row("Bytes skipped", Whole(d.damage.skippedBytes));
    out += "</table>\n";
}

}  // namespace

static std::string WrapGlued(const std::string& line, std::size_t width, std::size_t indent);

std::string WrapLine(const std::string& line, std::size_t width, std::size_t indent) {
    std::string out = WrapGlued(line, width, indent);
    std::replace(out.begin(), out.end(), kGlue, ' ');
    return out;
}

static std::string WrapGlued(const std::string& line, std::size_t width, std::size_t indent) {
    std::string out;
    std::string rest = line;
    std::size_t lead = 0;
    for (;;) {
        if (rest.size() + lead <= width) {
            out.append(lead, ' ');
            out += rest + '\n';
            return out;
        }
        std::size_t cut = rest.rfind(' ', width - lead);
        const std::size_t firstText = rest.find_first_not_of(' ');
        if (cut == std::string::npos || cut <= firstText) cut = rest.find(' ', width - lead);
        if (cut == std::string::npos) {
            out.append(lead, ' ');
            out += rest + '\n';
            return out;
        }
        out.append(lead, ' ');
        out += rest.substr(0, cut) + '\n';
        rest = rest.substr(cut + 1);
        lead = indent;
    }
}

std::string GluedLeeSentence(const ChannelFigures& channel, double medianSpeedKmh) {
    if (!channel.lee) return FrequencyText(channel.frequencyMHz) + ": not applicable";
    const LeeFigures& lee = *channel.lee;
    std::string text =
        FrequencyText(channel.frequencyMHz) + ": window " + Fixed(lee.windowMetres, 1) + kUnitGap +
        "m; " + Fixed(channel.samplesPerSecond, 0) + " samples/s give 36 samples a window up to " +
        Fixed(lee.maxSpeedKmh, 1) + kUnitGap + "km/h; median speed " + Fixed(medianSpeedKmh, 0) +
        kUnitGap + "km/h: " + VerdictText(lee.verdict, lee.meetsPercent);
    return text;
}

std::string LeeSentence(const ChannelFigures& channel, double medianSpeedKmh) {
    std::string text = GluedLeeSentence(channel, medianSpeedKmh);
    std::replace(text.begin(), text.end(), kGlue, ' ');
    return text;
}

namespace {

void PutReportTextHead(const TextSink& put, const DriveReport& report) {
    put(WrapLine("Drive quality of " + report.input + " (" +
                     Whole(static_cast<std::int64_t>(report.fileBytes)) + " bytes)",
                 kReportColumns, 4));
    put("Whole file:\n");
    AppendDrive(put, report.file, report.outageSeconds);
    put("  Lee's criterion (36 samples a 40-wavelength window): " +
        (report.verdict == LeeVerdict::MeetsPartly ? std::string("meets in part")
                                                   : VerdictText(report.verdict, 0)) +
        "\n");
}

void PutScanText(const TextSink& put, const ScanReport& scan, int outageSeconds) {
    put("\n" + WrapLine("Scan " + Whole(scan.number) + " (" + scan.name + "):", kReportColumns, 4));
    AppendDrive(put, scan.drive, outageSeconds);
    std::string channels;
    for (const ChannelFigures& channel : scan.channels)
        AppendChannel(channels, channel, scan.drive.speedMedianKmh);
    if (scan.channels.empty()) channels = "  No samples of the chosen receiver\n";
    put(channels);
}

// The document up to its list of scans, which the scans' own texts fill (comma separated) and
// "]}" closes.
void PutReportJsonHead(const TextSink& put, const DriveReport& report) {
    JsonWriter json;
    json.BeginObject();
    json.Key("schema_version").Integer(kReportSchemaVersion);
    json.Key("input").BeginObject();
    json.Key("name").String(report.input);
    json.Key("bytes").Integer(static_cast<std::int64_t>(report.fileBytes));
    json.EndObject();
    json.Key("outage_seconds").Integer(report.outageSeconds);
    json.Key("file").BeginObject();
    WriteDrive(json, report.file, &put);
    json.Key("verdict").String(VerdictKey(report.verdict));
    json.EndObject();
    json.Key("scans").BeginArray();
    put(json.TakeText());
}

void PutScanJson(const TextSink& put, const ScanReport& scan) {
    JsonWriter json;
    json.BeginObject();
    json.Key("number").Integer(scan.number).Key("name").String(scan.name);
    WriteDrive(json, scan.drive, &put);
    json.Key("channels").BeginArray();
    for (const ChannelFigures& channel : scan.channels) WriteChannel(json, channel);
    json.EndArray();
    json.Key("verdict").String(VerdictKey(scan.verdict));
    json.EndObject();
    put(json.TakeText());
}

}  // namespace

std::string ReportText(const DriveReport& report) {
    std::string out;
    const TextSink put = [&](std::string_view text) { out += text; };
    PutReportTextHead(put, report);
    for (const ScanReport& scan : report.scans) PutScanText(put, scan, report.outageSeconds);
    return out;
}

std::string ReportJson(const DriveReport& report) {
    std::string out;
    const TextSink put = [&](std::string_view text) { out += text; };
    PutReportJsonHead(put, report);
    for (std::size_t i = 0; i < report.scans.size(); ++i) {
        if (i > 0) out += ",";
        PutScanJson(put, report.scans[i]);
    }
    return out + "]}\n";
}

SpilledReport::SpilledReport(bool json, int outageSeconds)
    : json_(json), outageSeconds_(outageSeconds) {}

void SpilledReport::Add(const ScanReport& scan) {
    const TextSink put = [this](std::string_view text) { text_.Append(text.data(), text.size()); };
    if (json_) {
        if (scans_ > 0) put(",");
        PutScanJson(put, scan);
    } else {
        PutScanText(put, scan, outageSeconds_);
    }
    ++scans_;
}

bool SpilledReport::WriteTo(std::ostream& out, const DriveReport& report) const {
    const TextSink put = [&](std::string_view text) {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    };
    if (json_) {
        PutReportJsonHead(put, report);
    } else {
        PutReportTextHead(put, report);
    }
    char chunk[1 << 16];
    for (std::size_t at = 0; at < text_.size() && out;) {
        const std::size_t n = std::min(sizeof chunk, text_.size() - at);
        text_.CopyOut(at, n, chunk);
        out.write(chunk, static_cast<std::streamsize>(n));
        at += n;
    }
    if (json_) out << "]}\n";
    return static_cast<bool>(out.flush());
}

std::string ReportHtml(const DriveReport& report) {
    std::string out =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Drive Quality</title>"
        "</head><body>\n<h1>Drive quality</h1>\n<p>" +
        Escaped(report.input) + " (" + Whole(static_cast<std::int64_t>(report.fileBytes)) +
        " bytes)</p>\n<h2>Whole file</h2>\n";
    AppendDriveHtml(out, report.file, report.outageSeconds);
    out += "<p>Lee's criterion (36 samples a 40-wavelength window): <b>" +
           (report.verdict == LeeVerdict::MeetsPartly ? std::string("meets in part")
                                                      : VerdictText(report.verdict, 0)) +
           "</b></p>\n";
    for (const ScanReport& scan : report.scans) {
        out += "<h2>Scan " + Whole(scan.number) + " (" + Escaped(scan.name) + ")</h2>\n";
        AppendDriveHtml(out, scan.drive, report.outageSeconds);
        if (scan.channels.empty()) continue;
        out +=
            "<table border=\"1\" cellpadding=\"3\"><tr><th>Channel</th><th>Samples</th>"
            "<th>Samples/s</th><th>Level min/median/max (dBm)</th><th>Lee's criterion</th>"
            "</tr>\n";
        for (const ChannelFigures& c : scan.channels) {
            out += "<tr><td>" + Escaped(FrequencyText(c.frequencyMHz)) + "</td><td>" +
                   Whole(c.samples) + "</td><td>" + Fixed(c.samplesPerSecond, 1) + "</td><td>" +
                   Whole(c.levels.minimum) + " / " + Whole(c.levels.median) + " / " +
                   Whole(c.levels.maximum) + "</td><td>" +
                   Escaped(GluedLeeSentence(c, scan.drive.speedMedianKmh)) + "</td></tr>\n";
        }
        out += "</table>\n";
    }
    if (report.unlistedScans > 0) {
        out += "<p>" + Whole(report.unlistedScans) +
               " further scans are not listed here; varistrum-cli report lists every scan.</p>\n";
    }
    return out + "</body></html>\n";
}

}  // namespace varistrum
