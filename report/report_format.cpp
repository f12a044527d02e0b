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
std::string GluedLeeSentence(const ChannelFigures& channel, std::optional<double> medianSpeedKmh);

namespace {

// Takes the report's text piece by piece: a string that grows, the spill array of the scans, or
// the output itself, so that a list of many outages is never one string.
using TextSink = std::function<void(std::string_view)>;

// Joins a number to its unit in texts that get wrapped; a blank in the output.
constexpr char kGlue = '\x1f';
const std::string kUnitGap(1, kGlue);

constexpr const char* kUnknown = "unknown";

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

// "2026-06-15"
std::string DateText(const OutageFigure& o) {
    std::string out;
    AppendInt(out, o.year, 4);
    out.push_back('-');
    AppendInt(out, o.month, 2);
    out.push_back('-');
    AppendInt(out, o.day, 2);
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

std::string DistanceText(const std::optional<double>& metres) {
    return metres ? DistanceText(*metres) : std::string(kUnknown);
}

// "51.123456, 7.123456" (decimal degrees, 6 decimals: about 0.1 m).
std::string PositionText(const FixPosition& p) {
    return Fixed(p.latitude, 6) + "," + kUnitGap + Fixed(p.longitude, 6);
}

// A share of a whole in tenths of a per cent, to the nearest; none of nothing.
std::optional<int> PerMilleOf(std::int64_t part, std::int64_t total) {
    if (total <= 0) return std::nullopt;
    return static_cast<int>((part * 2000 + total) / (total * 2));
}

std::string PercentText(std::int64_t part, std::int64_t total) {
    const auto perMille = PerMilleOf(part, total);
    return perMille ? PerMilleText(*perMille) + kUnitGap + "%" : std::string(kUnknown);
}

std::string SpeedSummary(const DriveFigures& d) {
    if (!d.speedKmh) return "speed unknown";
    return "speed median " + Fixed(d.speedKmh->medianKmh, 0) + kUnitGap + "km/h, 95th percentile " +
           Fixed(d.speedKmh->p95Kmh, 0) + kUnitGap + "km/h";
}

std::string GpsLine(const GpsFigures& g) {
    const std::int64_t total = g.Total();
    if (total == 0) return "GPS: no GPS records";
    return "GPS: " + Whole(g.fixes3d) + " 3D (" + PercentText(g.fixes3d, total) + "), " +
           Whole(g.fixes2d) + " 2D (" + PercentText(g.fixes2d, total) + "), " + Whole(g.bad) +
           " bad (" + PercentText(g.bad, total) + ")";
}

// "2026-06-15 14:32:04 UTC for 36 s: from 51.123456, 7.123456 to 51.128456, 7.123456, 570 m"
std::string OutageText(const OutageFigure& o) {
    const std::string when = o.HasDate() ? DateText(o) + kUnitGap + ClockText(o.startSecondOfDay)
                                         : ClockText(o.startSecondOfDay) + " (no date)";
    return when + kUnitGap + "UTC for " + Fixed(o.durationSeconds, 0) + kUnitGap + "s: from " +
           PositionText(o.before) + " to " + PositionText(o.after) + ", " +
           DistanceText(o.jumpMetres);
}

std::string OutagesHeading(const DriveFigures& d, int outageSeconds) {
    const std::string of = " of " + Whole(outageSeconds) + kUnitGap + "s or more";
    if (!d.outagesKnown) return "GPS outages" + of + ": unknown (no GPS fix)";
    if (d.outages.empty()) return "No GPS outages" + of;
    return "GPS outages" + of + ": " + Whole(static_cast<std::int64_t>(d.outages.size()));
}

// "0:03:00 (12.5 %), 3 stops"
std::string StandingText(const DriveFigures& d) {
    const StandingFigures& st = *d.standing;
    return DurationText(st.seconds) + " (" +
           PercentText(std::llround(st.seconds), std::llround(d.durationSeconds)) + "), " +
           Whole(st.stops) + (st.stops == 1 ? " stop" : " stops");
}

// "stops within 55.6 m of their first fix for 30 s or more"
std::string StandStillRuleText(const StandStillRule& rule) {
    return "stops within " + Trimmed(rule.Metres(), 1, 0) + kUnitGap + "m of their first fix for " +
           Whole(rule.seconds) + kUnitGap + "s or more";
}

void AppendDrive(const TextSink& put, const DriveFigures& d, int outageSeconds) {
    const auto line = [&](const std::string& text, std::size_t indent = 4) {
        put(WrapLine("  " + text, kReportColumns, indent));
    };
    line("Duration " + DurationText(d.durationSeconds) + ", distance " +
         DistanceText(d.distanceMetres) + ", " + SpeedSummary(d));
    line(GpsLine(d.gps));
    line(OutagesHeading(d, outageSeconds));
    for (std::size_t i = 0; i < d.outages.size(); ++i) line("  " + OutageText(d.outages[i]), 6);
    if (d.standing) line("Standing still " + StandingText(d));
    line("Damaged records " + Whole(d.damage.damagedRecords) + ", bytes skipped " +
         Whole(d.damage.skippedBytes));
}

std::string LevelsText(const LevelFigures& l) {
    return "level min/median/max " + Whole(l.minimum) + "/" + Whole(l.median) + "/" +
           Whole(l.maximum) + kUnitGap + "dBm";
}

std::string ChannelName(const ChannelFigures& c) {
    return FrequencyText(c.frequencyMHz) + (c.receiverSamples ? "" : ", not averaged");
}

// "-110/-100/-90/-80/-70"
std::string BoundsText(const LevelRamp::Bounds& bounds) {
    std::string text;
    for (std::size_t i = 0; i < bounds.size(); ++i)
        text += (i > 0 ? "/" : "") + Trimmed(bounds[i], 2, 0);
    return text;
}

// "95.1/80.2/67.0/40.3/12.1 %"; "unknown" of nothing.
std::string SharesText(const ThresholdCounts& counts) {
    if (counts.counted <= 0) return kUnknown;
    std::string text;
    for (std::size_t i = 0; i < counts.atOrAbove.size(); ++i)
        text += (i > 0 ? "/" : "") + PerMilleText(*PerMilleOf(counts.atOrAbove[i], counts.counted));
    return text + kUnitGap + "%";
}

// "samples 95.1/80.2/67.0/40.3/12.1 %; distance ...; area (cells of 25 m) ..."
std::string SharesHtml(const ChannelFigures& c, const ScanReport& scan) {
    std::string text = "samples " + SharesText(c.samplesAtOrAbove);
    if (c.windowsAtOrAbove) text += "; distance " + SharesText(*c.windowsAtOrAbove);
    if (scan.cellMetres > 0.0)
        text += "; area (cells of " + Trimmed(scan.cellMetres, 2, 0) + " m) " +
                (c.cellsAtOrAbove ? SharesText(*c.cellsAtOrAbove) : std::string(kUnknown));
    std::replace(text.begin(), text.end(), kGlue, ' ');
    return text;
}

// The channel's shares at or above the thresholds, each labelled with what it counts.
void AppendShares(std::string& out, const ChannelFigures& c, const ScanReport& scan) {
    out += "    at or above " + BoundsText(scan.thresholds) + " dBm:\n";
    out += WrapLine("      of " + Whole(c.samplesAtOrAbove.counted) +
                        " samples with a level: " + SharesText(c.samplesAtOrAbove),
                    kReportColumns, 8);
    if (c.windowsAtOrAbove)
        out += WrapLine("      of the distance (" + Whole(c.windowsAtOrAbove->counted) +
                            " 40-lambda windows, linear means): " + SharesText(*c.windowsAtOrAbove),
                        kReportColumns, 8);
    if (scan.cellMetres > 0.0) {
        const std::string cells = "cells of " + Trimmed(scan.cellMetres, 2, 0) + kUnitGap + "m";
        if (c.cellsAtOrAbove)
            out += WrapLine("      of the area (" + Whole(c.cellsAtOrAbove->counted) + " " + cells +
                                ", linear means): " + SharesText(*c.cellsAtOrAbove),
                            kReportColumns, 8);
        else
            out += "      of the area (" + cells + "): unknown\n";
    }
}

void AppendChannel(std::string& out, const ChannelFigures& c,
                   const std::optional<SpeedFigures>& speed) {
    out += WrapLine("  " + ChannelName(c) + ": " + Whole(c.samples) + " samples, " +
                        Fixed(c.samplesPerSecond, 1) + " samples/s, " + LevelsText(c.levels),
                    kReportColumns, 6);
    if (!c.lee) {
        out += "    Lee's criterion: not applicable (no frequency or no drive)\n";
        return;
    }
    std::optional<double> median;
    if (speed) median = speed->medianKmh;
    out += WrapLine("    " + GluedLeeSentence(c, median), kReportColumns, 6);
    const LeeFigures& lee = *c.lee;
    if (lee.windows == 0) {
        out += "    samples per window: no window closed\n";
        return;
    }
    out += WrapLine("    samples per window: min " + Whole(lee.minimum) + ", 10th percentile " +
                        Whole(lee.percentile10) + ", median " + Whole(lee.median) + "; " +
                        PerMilleText(1000 - lee.meetsPerMille) + kUnitGap + "% of " +
                        Whole(lee.windows) + " windows below 36",
                    kReportColumns, 6);
}

// The file's verdict, the worst scan's: "meets in part" carries no share of its own.
std::string FileVerdictText(LeeVerdict verdict) {
    return verdict == LeeVerdict::MeetsPartly ? std::string("meets in part")
                                              : VerdictText(verdict, 0);
}

// "Lee's criterion, averaged channels: meets in part"
std::string ScanVerdictText(const ScanReport& scan) {
    return "Lee's criterion, averaged channels: " +
           (scan.HasAveragedChannel() ? FileVerdictText(scan.verdict) : "none averaged");
}

// The summary's table: fixed columns, a number pushed right when it outgrows its column.
std::string Column(const std::string& text, std::size_t width, bool left = false) {
    if (text.size() >= width) return (left ? text : " " + text) + (left ? " " : "");
    const std::string gap(width - text.size(), ' ');
    return left ? text + gap : gap + text;
}

std::string SummaryRow(const std::string& frequency, const std::string& scans,
                       const std::string& samples, const std::string& median,
                       const std::string& windows, const std::string& below,
                       const std::string& verdict) {
    return "  " + Column(frequency, 14, true) + Column(scans, 6) + Column(samples, 12) +
           Column(median, 10) + Column(windows, 9) + Column(below, 10) + "  " + verdict + "\n";
}

std::string SummaryFrequencyName(const FrequencyFigures& f) {
    if (f.further) return "further";
    return f.frequencyMHz > 0.0 ? Trimmed(f.frequencyMHz, 4, 3) + " MHz" : "unknown";
}

// "meets in 50.7 %": the table's shorter verdict.
std::string ShortVerdict(LeeVerdict verdict, int meetsPerMille) {
    if (verdict == LeeVerdict::MeetsPartly) return "meets in " + PerMilleText(meetsPerMille) + " %";
    return VerdictText(verdict, meetsPerMille);
}

std::string BelowText(std::int64_t windows, int meetsPerMille) {
    return windows > 0 ? PerMilleText(1000 - meetsPerMille) + " %" : "-";
}

void PutSummaryText(const TextSink& put, const DriveReport& report) {
    put("\n");
    put(WrapLine("Summary of " + Whole(report.reportedScans) +
                     (report.reportedScans == 1 ? " scan" : " scans") +
                     " (Lee's criterion: 36 samples a 40-wavelength window)",
                 kReportColumns, 4));
    put(WrapLine("  Verdict of the file (its worst scan, averaged channels): " +
                     FileVerdictText(report.verdict),
                 kReportColumns, 4));
    if (report.frequencies.empty()) {
        put("  No samples of the chosen receiver\n");
        return;
    }
    bool further = false;
    for (const bool averaged : {true, false}) {
        const auto first =
            std::find_if(report.frequencies.begin(), report.frequencies.end(),
                         [&](const FrequencyFigures& f) { return f.receiverSamples == averaged; });
        if (first == report.frequencies.end()) {
            if (averaged) put("  Averaged channels (receiver samples): none\n");
            continue;
        }
        put(averaged ? "  Averaged channels (receiver samples):\n"
                     : "  Not averaged (list and table channels):\n");
        put(SummaryRow("Frequency", "Scans", "Samples", "Median", "Windows", "Below 36",
                       "Verdict"));
        for (auto f = first; f != report.frequencies.end(); ++f) {
            if (f->receiverSamples != averaged) continue;
            further = further || f->further;
            put(SummaryRow(SummaryFrequencyName(*f), Whole(f->scans), Whole(f->samples),
                           Whole(f->levels.median) + " dBm", Whole(f->windows),
                           BelowText(f->windows, f->meetsPerMille),
                           ShortVerdict(f->verdict, f->meetsPerMille)));
        }
    }
    if (further) put("  further: the frequencies beyond those listed, together\n");
}

// JSON ------------------------------------------------------------------------------------

// A share in per cent with one decimal, null of nothing.
void WritePercent(JsonWriter& json, std::optional<int> perMille) {
    if (perMille)
        json.NumberText(PerMilleText(*perMille));
    else
        json.Null();
}

void WritePosition(JsonWriter& json, const FixPosition& p) {
    json.BeginObject();
    json.Key("latitude").Fixed(p.latitude, 6).Key("longitude").Fixed(p.longitude, 6);
    json.EndObject();
}

void WriteLevels(JsonWriter& json, const LevelFigures& l) {
    json.BeginObject();
    json.Key("min").Integer(l.minimum).Key("median").Integer(l.median);
    json.Key("max").Integer(l.maximum);
    json.EndObject();
}

// `put`, when given, takes the text written so far every few thousand outages, so that a long
// list of them is never one string.
void WriteDrive(JsonWriter& json, const DriveFigures& d, const TextSink* put = nullptr) {
    const GpsFigures& g = d.gps;
    const std::int64_t total = g.Total();
    json.Key("duration_s").Fixed(d.durationSeconds, 0);
    json.Key("distance_m");
    if (d.distanceMetres)
        json.Fixed(*d.distanceMetres, 1);
    else
        json.Null();
    json.Key("speed_kmh");
    if (d.speedKmh) {
        json.BeginObject();
        json.Key("median").Fixed(d.speedKmh->medianKmh, 1);
        json.Key("p95").Fixed(d.speedKmh->p95Kmh, 1);
        json.EndObject();
    } else {
        json.Null();
    }
    json.Key("gps").BeginObject();
    json.Key("fixes_3d").Integer(g.fixes3d).Key("fixes_2d").Integer(g.fixes2d);
    json.Key("bad").Integer(g.bad);
    json.Key("percent_3d");
    WritePercent(json, PerMilleOf(g.fixes3d, total));
    json.Key("percent_2d");
    WritePercent(json, PerMilleOf(g.fixes2d, total));
    json.Key("percent_bad");
    WritePercent(json, PerMilleOf(g.bad, total));
    json.EndObject();
    json.Key("outages");
    if (!d.outagesKnown) {
        json.Null();
    } else {
        json.BeginArray();
        for (std::size_t i = 0; i < d.outages.size(); ++i) {
            if (put != nullptr && i % 4096 == 4095) (*put)(json.TakeText());
            const OutageFigure& o = d.outages[i];
            json.BeginObject();
            json.Key("date");
            if (o.HasDate())
                json.String(DateText(o));
            else
                json.Null();
            json.Key("time").String(ClockText(o.startSecondOfDay));
            json.Key("duration_s").Fixed(o.durationSeconds, 0);
            json.Key("jump_m").Fixed(o.jumpMetres, 1);
            json.Key("before");
            WritePosition(json, o.before);
            json.Key("after");
            WritePosition(json, o.after);
            json.EndObject();
        }
        json.EndArray();
    }
    json.Key("damaged_records").Integer(d.damage.damagedRecords);
    json.Key("skipped_bytes").Integer(d.damage.skippedBytes);
    if (d.standing) {
        json.Key("standing_still").BeginObject();
        json.Key("seconds").Fixed(d.standing->seconds, 0);
        json.Key("percent");
        WritePercent(
            json, PerMilleOf(std::llround(d.standing->seconds), std::llround(d.durationSeconds)));
        json.Key("stops").Integer(d.standing->stops);
        json.EndObject();
    }
}

void WriteFrequencyMHz(JsonWriter& json, double mhz) {
    if (mhz > 0.0)
        json.NumberText(Trimmed(mhz, 6, 1));
    else
        json.Null();
}

// The windows' shares: none without windows.
std::optional<int> MeetsOf(std::int64_t windows, int meetsPerMille) {
    return windows > 0 ? std::optional<int>(meetsPerMille) : std::nullopt;
}
std::optional<int> BelowOf(std::int64_t windows, int meetsPerMille) {
    return windows > 0 ? std::optional<int>(1000 - meetsPerMille) : std::nullopt;
}

// {"count": 1234, "percent": [95.1, 80.2, 67.0, 40.3, 12.1]}, the shares null of nothing.
void WriteCounts(JsonWriter& json, const ThresholdCounts& counts) {
    json.BeginObject();
    json.Key("count").Integer(counts.counted);
    json.Key("percent").BeginArray();
    for (const std::int64_t n : counts.atOrAbove) WritePercent(json, PerMilleOf(n, counts.counted));
    json.EndArray();
    json.EndObject();
}

// The shares at or above the thresholds, each of what it counts.
void WriteShares(JsonWriter& json, const ChannelFigures& c, const ScanReport& scan) {
    json.Key("at_or_above").BeginObject();
    json.Key("thresholds_dbm").BeginArray();
    for (const double bound : scan.thresholds) json.NumberText(Trimmed(bound, 2, 0));
    json.EndArray();
    json.Key("samples");
    WriteCounts(json, c.samplesAtOrAbove);
    json.Key("windows");
    if (c.windowsAtOrAbove)
        WriteCounts(json, *c.windowsAtOrAbove);
    else
        json.Null();
    json.Key("cell_m");
    if (scan.cellMetres > 0.0)
        json.NumberText(Trimmed(scan.cellMetres, 2, 0));
    else
        json.Null();
    json.Key("cells");
    if (c.cellsAtOrAbove)
        WriteCounts(json, *c.cellsAtOrAbove);
    else
        json.Null();
    json.EndObject();
}

void WriteChannel(JsonWriter& json, const ChannelFigures& c, const ScanReport& scan) {
    json.BeginObject();
    json.Key("frequency_mhz");
    WriteFrequencyMHz(json, c.frequencyMHz);
    json.Key("averaged").Bool(c.receiverSamples);
    json.Key("samples").Integer(c.samples);
    json.Key("samples_per_second").Fixed(c.samplesPerSecond, 3);
    json.Key("level_dbm");
    WriteLevels(json, c.levels);
    json.Key("lee");
    if (!c.lee) {
        json.Null();
        WriteShares(json, c, scan);
        json.EndObject();
        return;
    }
    const LeeFigures& lee = *c.lee;
    json.BeginObject();
    json.Key("window_m").Fixed(lee.windowMetres, 3);
    json.Key("windows").Integer(lee.windows);
    json.Key("windows_below_36").Integer(lee.windowsBelow36);
    json.Key("samples_per_window");
    if (lee.windows > 0) {
        json.BeginObject();
        json.Key("min").Integer(lee.minimum).Key("p10").Integer(lee.percentile10);
        json.Key("median").Integer(lee.median);
        json.EndObject();
    } else {
        json.Null();
    }
    json.Key("below_36_percent");
    WritePercent(json, BelowOf(lee.windows, lee.meetsPerMille));
    json.Key("max_speed_kmh").Fixed(lee.maxSpeedKmh, 1);
    json.Key("verdict").String(VerdictKey(lee.verdict));
    json.Key("meets_percent");
    WritePercent(json, MeetsOf(lee.windows, lee.meetsPerMille));
    json.EndObject();
    WriteShares(json, c, scan);
    json.EndObject();
}

void WriteSummary(JsonWriter& json, const DriveReport& report) {
    json.Key("summary").BeginObject();
    json.Key("scans").Integer(report.reportedScans);
    json.Key("verdict").String(VerdictKey(report.verdict));
    json.Key("frequencies").BeginArray();
    for (const FrequencyFigures& f : report.frequencies) {
        json.BeginObject();
        json.Key("frequency_mhz");
        WriteFrequencyMHz(json, f.further ? 0.0 : f.frequencyMHz);
        json.Key("averaged").Bool(f.receiverSamples);
        json.Key("further").Bool(f.further);
        json.Key("scans").Integer(f.scans);
        json.Key("samples").Integer(f.samples);
        json.Key("level_dbm");
        WriteLevels(json, f.levels);
        json.Key("windows").Integer(f.windows);
        json.Key("windows_below_36").Integer(f.windowsBelow36);
        json.Key("below_36_percent");
        WritePercent(json, BelowOf(f.windows, f.meetsPerMille));
        json.Key("verdict").String(VerdictKey(f.verdict));
        json.Key("meets_percent");
        WritePercent(json, MeetsOf(f.windows, f.meetsPerMille));
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
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
    std::string outages = !d.outagesKnown     ? "unknown (no GPS fix)"
                          : d.outages.empty() ? "none"
                                              : "";
    for (std::size_t i = 0; i < d.outages.size(); ++i) {
        if (i > 0) outages += "; ";
        outages += OutageText(d.outages[i]);
    }
    row("GPS outages (" + Whole(outageSeconds) + " s or more)", outages);
    if (d.standing) row("Standing still", StandingText(d));
    row("Damaged records", Whole(d.damage.damagedRecords));
    row("Bytes skipped", Whole(d.damage.skippedBytes));
    out += "</table>\n";
}

void AppendSummaryHtml(std::string& out, const DriveReport& report) {
    out += "<h2>Summary of " + Whole(report.reportedScans) +
           (report.reportedScans == 1 ? " scan" : " scans") +
           "</h2>\n<p>Lee's criterion: 36 samples a 40-wavelength window. Verdict of the file (its "
           "worst scan, averaged channels): <b>" +
           FileVerdictText(report.verdict) + "</b></p>\n";
    bool further = false;
    for (const bool averaged : {true, false}) {
        const bool any =
            std::any_of(report.frequencies.begin(), report.frequencies.end(),
                        [&](const FrequencyFigures& f) { return f.receiverSamples == averaged; });
        if (!any) {
            if (averaged) out += "<p>No averaged channels (receiver samples).</p>\n";
            continue;
        }
        out += averaged ? "<h3>Averaged channels (receiver samples)</h3>\n"
                        : "<h3>Not averaged (list and table channels)</h3>\n";
        out +=
            "<table border=\"1\" cellpadding=\"3\"><tr><th>Frequency</th><th>Scans</th>"
            "<th>Samples</th><th>Median level (dBm)</th><th>Windows</th><th>Below 36</th>"
            "<th>Lee's criterion</th></tr>\n";
        for (const FrequencyFigures& f : report.frequencies) {
            if (f.receiverSamples != averaged) continue;
            further = further || f.further;
            out += "<tr><td>" + Escaped(SummaryFrequencyName(f)) + "</td><td>" + Whole(f.scans) +
                   "</td><td>" + Whole(f.samples) + "</td><td>" + Whole(f.levels.median) +
                   "</td><td>" + Whole(f.windows) + "</td><td>" +
                   Escaped(BelowText(f.windows, f.meetsPerMille)) + "</td><td>" +
                   Escaped(VerdictText(f.verdict, f.meetsPerMille)) + "</td></tr>\n";
        }
        out += "</table>\n";
    }
    if (further) out += "<p>further: the frequencies beyond those listed, together.</p>\n";
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

std::string GluedLeeSentence(const ChannelFigures& channel, std::optional<double> medianSpeedKmh) {
    const std::string notAveraged = channel.receiverSamples ? "" : " (not averaged)";
    if (!channel.lee) return FrequencyText(channel.frequencyMHz) + ": not applicable" + notAveraged;
    const LeeFigures& lee = *channel.lee;
    const std::string speed =
        medianSpeedKmh ? Fixed(*medianSpeedKmh, 0) + kUnitGap + "km/h" : std::string(kUnknown);
    return FrequencyText(channel.frequencyMHz) + ": window " + Fixed(lee.windowMetres, 1) +
           kUnitGap + "m; " + Fixed(channel.samplesPerSecond, 0) +
           " samples/s give 36 samples a window up to " + Fixed(lee.maxSpeedKmh, 1) + kUnitGap +
           "km/h; median speed " + speed + ": " + VerdictText(lee.verdict, lee.meetsPerMille) +
           notAveraged;
}

std::string LeeSentence(const ChannelFigures& channel, std::optional<double> medianSpeedKmh) {
    std::string text = GluedLeeSentence(channel, medianSpeedKmh);
    std::replace(text.begin(), text.end(), kGlue, ' ');
    return text;
}

namespace {

// The title and the summary; then, unless only the summary is asked for, the whole file.
void PutReportTextHead(const TextSink& put, const DriveReport& report, bool summaryOnly) {
    put(WrapLine("Drive quality of " + report.input + " (" +
                     Whole(static_cast<std::int64_t>(report.fileBytes)) + " bytes)",
                 kReportColumns, 4));
    if (report.standStill)
        put(WrapLine("Standing still dropped: " + StandStillRuleText(*report.standStill) +
                         "; their samples are left out",
                     kReportColumns, 4));
    PutSummaryText(put, report);
    if (summaryOnly) return;
    put("\nWhole file:\n");
    AppendDrive(put, report.file, report.outageSeconds);
}

void PutScanText(const TextSink& put, const ScanReport& scan, int outageSeconds) {
    put("\n" + WrapLine("Scan " + Whole(scan.number) + " (" + scan.name + "):", kReportColumns, 4));
    AppendDrive(put, scan.drive, outageSeconds);
    if (scan.channels.empty()) {
        put("  No samples of the chosen receiver\n");
        return;
    }
    std::string channels = "  " + ScanVerdictText(scan) + "\n";
    for (const ChannelFigures& channel : scan.channels) {
        AppendChannel(channels, channel, scan.drive.speedKmh);
        AppendShares(channels, channel, scan);
    }
    put(channels);
}

// The document up to its list of scans, which the scans' own texts fill (comma separated) and
// "]}" closes; with the summary only, the whole document but its closing brace.
void PutReportJsonHead(const TextSink& put, const DriveReport& report, bool summaryOnly) {
    JsonWriter json;
    json.BeginObject();
    json.Key("schema_version").Integer(kReportSchemaVersion);
    json.Key("input").BeginObject();
    json.Key("name").String(report.input);
    json.Key("bytes").Integer(static_cast<std::int64_t>(report.fileBytes));
    json.EndObject();
    json.Key("outage_seconds").Integer(report.outageSeconds);
    if (report.standStill) {
        json.Key("standing_still").BeginObject();
        json.Key("distance_m").NumberText(Trimmed(report.standStill->Metres(), 3, 0));
        json.Key("seconds").Integer(report.standStill->seconds);
        json.EndObject();
    }
    WriteSummary(json, report);
    if (!summaryOnly) {
        json.Key("file").BeginObject();
        WriteDrive(json, report.file, &put);
        json.Key("verdict").String(VerdictKey(report.verdict));
        json.EndObject();
        json.Key("scans").BeginArray();
    }
    put(json.TakeText());
}

void PutScanJson(const TextSink& put, const ScanReport& scan) {
    JsonWriter json;
    json.BeginObject();
    json.Key("number").Integer(scan.number).Key("name").String(scan.name);
    WriteDrive(json, scan.drive, &put);
    json.Key("channels").BeginArray();
    for (const ChannelFigures& channel : scan.channels) WriteChannel(json, channel, scan);
    json.EndArray();
    json.Key("verdict").String(VerdictKey(scan.verdict));
    json.EndObject();
    put(json.TakeText());
}

const char* JsonTail(bool summaryOnly) {
    return summaryOnly ? "}\n" : "]}\n";
}

}  // namespace

std::string ReportText(const DriveReport& report, bool summaryOnly) {
    std::string out;
    const TextSink put = [&](std::string_view text) { out += text; };
    PutReportTextHead(put, report, summaryOnly);
    if (summaryOnly) return out;
    for (const ScanReport& scan : report.scans) PutScanText(put, scan, report.outageSeconds);
    return out;
}

std::string ReportJson(const DriveReport& report, bool summaryOnly) {
    std::string out;
    const TextSink put = [&](std::string_view text) { out += text; };
    PutReportJsonHead(put, report, summaryOnly);
    if (!summaryOnly) {
        for (std::size_t i = 0; i < report.scans.size(); ++i) {
            if (i > 0) out += ",";
            PutScanJson(put, report.scans[i]);
        }
    }
    return out + JsonTail(summaryOnly);
}

SpilledReport::SpilledReport(bool json, int outageSeconds, bool summaryOnly)
    : json_(json), outageSeconds_(outageSeconds), summaryOnly_(summaryOnly) {}

void SpilledReport::Add(const ScanReport& scan) {
    if (summaryOnly_) return;
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
        PutReportJsonHead(put, report, summaryOnly_);
    } else {
        PutReportTextHead(put, report, summaryOnly_);
    }
    char chunk[1 << 16];
    for (std::size_t at = 0; at < text_.size() && out;) {
        const std::size_t n = std::min(sizeof chunk, text_.size() - at);
        text_.CopyOut(at, n, chunk);
        out.write(chunk, static_cast<std::streamsize>(n));
        at += n;
    }
    if (json_) out << JsonTail(summaryOnly_);
    return static_cast<bool>(out.flush());
}

std::string ReportHtml(const DriveReport& report) {
    std::string out =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Drive Quality</title>"
        "</head><body>\n<h1>Drive quality</h1>\n<p>" +
        Escaped(report.input) + " (" + Whole(static_cast<std::int64_t>(report.fileBytes)) +
        " bytes)</p>\n";
    if (report.standStill)
        out += "<p>Standing still dropped: " + Escaped(StandStillRuleText(*report.standStill)) +
               "; their samples are left out.</p>\n";
    AppendSummaryHtml(out, report);
    out += "<h2>Whole file</h2>\n";
    AppendDriveHtml(out, report.file, report.outageSeconds);
    for (const ScanReport& scan : report.scans) {
        out += "<h2>Scan " + Whole(scan.number) + " (" + Escaped(scan.name) + ")</h2>\n";
        AppendDriveHtml(out, scan.drive, report.outageSeconds);
        if (scan.channels.empty()) continue;
        out += "<p>" + Escaped(ScanVerdictText(scan)) + "</p>\n";
        out +=
            "<table border=\"1\" cellpadding=\"3\"><tr><th>Channel</th><th>Samples</th>"
            "<th>Samples/s</th><th>Level min/median/max (dBm)</th><th>Lee's criterion</th>"
            "<th>At or above " +
            Escaped(BoundsText(scan.thresholds)) + " dBm</th></tr>\n";
        std::optional<double> speed;
        if (scan.drive.speedKmh) speed = scan.drive.speedKmh->medianKmh;
        for (const ChannelFigures& c : scan.channels) {
            out += "<tr><td>" + Escaped(ChannelName(c)) + "</td><td>" + Whole(c.samples) +
                   "</td><td>" + Fixed(c.samplesPerSecond, 1) + "</td><td>" +
                   Whole(c.levels.minimum) + " / " + Whole(c.levels.median) + " / " +
                   Whole(c.levels.maximum) + "</td><td>" + Escaped(GluedLeeSentence(c, speed)) +
                   "</td><td>" + Escaped(SharesHtml(c, scan)) + "</td></tr>\n";
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
