// SPDX-License-Identifier: GPL-3.0-or-later
// The samples and route layers carry exactly what the text conversion of the same file shows.
#include "geodata/sample_layer_sink.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "averaging/averaging_engine.h"
#include "base/geodesic.h"
#include "base/number_format.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"

namespace varistrum {
namespace {

using test::FieldSettings;
using test::ReadFile;
using test::RecordingObserver;
using test::TempDir;

struct KeptPoint {
    SamplePoint point;
    std::string time, status, utc, clock, fix;
};
struct KeptRoute {
    RouteLine line;
    std::vector<GeoPosition> points;
};

class KeepingConsumer : public SampleLayerConsumer {
  public:
    void BeginScan(int scan, ScanKind) override { scans.push_back(scan); }
    void AcceptPoint(const SamplePoint& point) override {
        points.push_back({point, std::string(point.time), std::string(point.gpsStatus),
                          std::string(point.utcText), std::string(point.clockText),
                          std::string(point.fix)});
    }
    void AcceptRoute(const RouteLine& route) override {
        routes.push_back({route, {route.points.begin(), route.points.end()}});
    }
    std::vector<int> scans;
    std::vector<KeptPoint> points;
    std::vector<KeptRoute> routes;
};

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    return fields;
}

std::string Fixed(double value, int decimals) {
    std::string text;
    AppendFixed(text, value, decimals);
    return text;
}

// A text line's (channel -> levels) and its other values, the fields in the order of kTags.
struct TextRow {
    std::vector<std::string> fields;
    std::map<int, std::vector<int>> levels;
    std::map<int, std::string> frequencies;
};
const std::vector<int> kTags = {RecordNumber,
                                LatitudeDecimalDegrees,
                                LongitudeDecimalDegrees,
                                GpsTime,
                                GpsDate,
                                RtcDate,
                                RtcTime,
                                GpsStatus,
                                DataField};
constexpr std::size_t kFixedFields = 8;

std::map<std::int64_t, TextRow> ParseText(const std::string& text) {
    std::map<std::int64_t, TextRow> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        TextRow row;
        row.fields = Split(line);
        for (std::size_t i = kFixedFields; i + 2 < row.fields.size(); i += 3) {
            const int channel = std::stoi(row.fields[i + 1]);
            row.frequencies[channel] = row.fields[i];
            row.levels[channel].push_back(std::stoi(row.fields[i + 2]));
        }
        rows[std::stoll(row.fields[0])] = row;
    }
    return rows;
}

// "06/15/2026" and "14:30:05" as ISO 8601 UTC.
std::string GpsIso(const std::string& date, const std::string& clock) {
    return date.substr(6, 4) + "-" + date.substr(0, 2) + "-" + date.substr(3, 2) + "T" + clock +
           "Z";
}
std::string RtcIso(const std::string& date, const std::string& clock) {
    const int yy = std::stoi(date.substr(6, 2));
    return std::to_string(yy < 80 ? 2000 + yy : 1900 + yy) + "-" + date.substr(0, 2) + "-" +
           date.substr(3, 2) + "T" + clock;
}

TEST(SampleLayerSinkTest, PointsEqualTheTextConversion) {
    struct Case {
        sim::Scenario scenario;
        int averageType;
        bool dropOutages;
        bool receiver2;
    };
    const Case cases[] = {
        {sim::Scenario::SingleGps, kAverageNone, false, false},
        {sim::Scenario::SingleGps, kAverageNone, false, true},
        {sim::Scenario::SingleGps, kAverageLambda, false, false},
        {sim::Scenario::SingleRtc, kAverageNone, false, false},
        {sim::Scenario::List, kAverageNone, false, false},
        {sim::Scenario::List, kAverageBestServer, false, false},
        {sim::Scenario::Table, kAverageNone, false, false},
        {sim::Scenario::Table, kAverageBestServer, false, false},
        {sim::Scenario::Mixed, kAverageNone, false, false},
        {sim::Scenario::Mixed, kAverageNone, true, false},
        {sim::Scenario::Mixed, kAverageLambda, true, false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(sim::ScenarioName(c.scenario)) + " average " +
                     std::to_string(c.averageType) + (c.dropOutages ? " outage drop" : "") +
                     (c.receiver2 ? " receiver 2" : ""));
        const std::string input = dir.File("in.klf");
        test::WriteFile(input, sim::SimulateLog(c.scenario, 8, 5, 240));
        auto settings = FieldSettings(kTags);
        settings.averageType = c.averageType;
        settings.convertAllScans = true;
        settings.columns = {true, true, true};
        settings.receivers = {!c.receiver2, c.receiver2};
        settings.dropOutages = c.dropOutages;
        settings.outageSeconds = 5;
        KeepingConsumer consumer;
        SampleLayerSink sink(consumer);
        RowSink* const extra[] = {&sink};
        TavrelReader reader;
        RecordingObserver observer;
        ASSERT_EQ(
            ConvertFile(reader, input, dir.File("in.txt"), settings, observer, {}, extra).outcome,
            JobOutcome::Completed);
        const auto text = ParseText(ReadFile(dir.File("in.txt")));
        ASSERT_FALSE(text.empty());

        // Every text row gives its (row, channel) points, or is left out as a whole.
        std::map<std::int64_t, std::map<int, const KeptPoint*>> byRow;
        for (const KeptPoint& kept : consumer.points) {
            EXPECT_TRUE(byRow[kept.point.row].emplace(kept.point.channel, &kept).second)
                << "row " << kept.point.row << " channel " << kept.point.channel << " twice";
        }
        std::int64_t pairs = 0, leftOut = 0, lastLeftOut = 0, firstKept = 0;
        for (const auto& [number, row] : text) {
            if (row.levels.empty()) continue;  // a line with an empty data block gives no pair
            if (!byRow.count(number)) {
                ++leftOut;
                lastLeftOut = number;
                continue;
            }
            if (firstKept == 0) firstKept = number;
            pairs += static_cast<std::int64_t>(row.levels.size());
        }
        EXPECT_EQ(sink.LeftOutRows(), leftOut);
        EXPECT_EQ(sink.Points(), pairs);
        EXPECT_EQ(static_cast<std::int64_t>(consumer.points.size()), pairs);
        // The simulator's positions are all in range: only rows before the first good fix go.
        if (firstKept != 0) {
            EXPECT_LT(lastLeftOut, firstKept);
        }
        if (c.scenario == sim::Scenario::SingleRtc) {
            EXPECT_EQ(pairs, 0);  // no GPS at all: no position
        } else {
            EXPECT_GT(pairs, 0);
        }

        for (const KeptPoint& kept : consumer.points) {
            const SamplePoint& p = kept.point;
            SCOPED_TRACE("row " + std::to_string(p.row));
            const auto found = text.find(p.row);
            ASSERT_NE(found, text.end());
            const TextRow& row = found->second;
            EXPECT_EQ(Fixed(p.latitude, 6), row.fields[1]);
            EXPECT_EQ(Fixed(p.longitude, 6), row.fields[2]);
            const bool gpsTimed = !kept.time.empty() && kept.time.back() == 'Z';
            if (gpsTimed) {
                EXPECT_EQ(kept.time, GpsIso(row.fields[4], row.fields[3]));
            } else {
                EXPECT_EQ(kept.time, RtcIso(row.fields[5], row.fields[6]));
            }
            // The UTC time only for GPS-timed rows; the clock's stamp whenever the log gave one.
            EXPECT_EQ(kept.utc, gpsTimed ? kept.time : "");
            EXPECT_EQ(kept.point.utc.known, gpsTimed);
            const std::string rtc = RtcIso(row.fields[5], row.fields[6]);
            EXPECT_EQ(kept.clock, row.fields[5] == "00/00/00" ? "" : rtc);
            EXPECT_EQ(p.timeSource, gpsTimed             ? TimeSource::Gps
                                    : kept.clock.empty() ? TimeSource::None
                                                         : TimeSource::Rtc);
            // The fix as the text's status, and speed and height only where it vouches for them.
            const std::string& status = row.fields[7];
            EXPECT_EQ(kept.fix, status == "3D Fix" ? "3D" : status == "2D Fix" ? "2D" : status);
            EXPECT_EQ(p.speedKnown, status == "3D Fix" || status == "2D Fix");
            EXPECT_EQ(p.altitudeKnown, status == "3D Fix");
            ASSERT_TRUE(row.levels.count(p.channel));
            const std::vector<int>& levels = row.levels.at(p.channel);
            EXPECT_EQ(Fixed(p.frequencyMHz, 5), row.frequencies.at(p.channel));
            double sum = 0;
            for (int level : levels) sum += level;
            EXPECT_EQ(p.rssiDbm, sum / static_cast<double>(levels.size()));
            EXPECT_EQ(p.averaged, c.averageType == kAverageLambda &&
                                      p.scanKind == ScanKind::SingleFrequency && gpsTimed);
            if (p.averaged) {
                // The bin's own count and spread: the written level (its mean truncated toward
                // zero) lies between its lowest and highest sample.
                EXPECT_GE(p.samples, 1);
                EXPECT_LE(p.rssiMinDbm, p.rssiDbm);
                EXPECT_GE(p.rssiMaxDbm, p.rssiDbm);
            } else {
                EXPECT_EQ(p.samples, static_cast<int>(levels.size()));
                EXPECT_EQ(p.rssiMinDbm, *std::min_element(levels.begin(), levels.end()));
                EXPECT_EQ(p.rssiMaxDbm, *std::max_element(levels.begin(), levels.end()));
            }
            EXPECT_EQ(p.receiver, c.receiver2 ? 2 : 1);
            if (c.averageType == kAverageBestServer) {
                EXPECT_EQ(row.levels.size(), 1u);
            }
        }

        // Routes: good fixes of a scan, the length the sum of their legs.
        if (c.scenario != sim::Scenario::SingleRtc) {
            EXPECT_FALSE(consumer.routes.empty());
        }
        EXPECT_EQ(sink.Routes(), static_cast<std::int64_t>(consumer.routes.size()));
        for (const KeptRoute& route : consumer.routes) {
            ASSERT_GE(route.points.size(), 2u);
            EXPECT_EQ(route.line.fixes, static_cast<std::int64_t>(route.points.size()));
            double metres = 0;
            for (std::size_t i = 1; i < route.points.size(); ++i) {
                const GeoPosition& a = route.points[i - 1];
                const GeoPosition& b = route.points[i];
                metres += GeodesicMetres(a.latitude, a.longitude, b.latitude, b.longitude);
            }
            EXPECT_NEAR(route.line.lengthM, metres, 1e-9 * metres + 1e-9);
            EXPECT_LE(route.line.start, route.line.end);
            EXPECT_TRUE(route.line.first.known && route.line.last.known);
        }
    }
}

// Hand-made rows: which are left out, and how several samples of a channel become one point.
TEST(SampleLayerSinkTest, HandMadeRows) {
    GpsBlock good;
    good.statusCode = 7;
    good.latitudeA.decimalDegrees = 51.5;
    good.longitudeA.decimalDegrees = -0.1;
    GpsBlock bad = good;
    bad.statusCode = 0;
    const std::uint32_t codes[] = {68000};
    const std::int8_t levels[] = {-80, -90, -101};
    struct Case {
        const char* name;
        const GpsBlock* fixBefore;  // nullptr: no fix met yet
        double latitude, longitude;
        bool kept;
    };
    const Case cases[] = {
        {"no fix yet", nullptr, 51.5, -0.1, false},
        {"bad fix only", &bad, 51.5, -0.1, false},
        {"good fix", &good, 51.5, -0.1, true},
        {"latitude out of range", &good, 90.5, -0.1, false},
        {"longitude out of range", &good, 51.5, -180.5, false},
        {"not a number", &good, std::nan(""), 0.0, false},
        {"on the edge", &good, -90.0, 180.0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KeepingConsumer consumer;
        SampleLayerSink sink(consumer);
        if (c.fixBefore != nullptr) sink.AcceptFix({*c.fixBefore, 1, ScanKind::SingleFrequency});
        OutputRow row;
        row.number = 1;
        row.latitude = c.latitude;
        row.longitude = c.longitude;
        row.dataMode = DataKind::Samples;
        row.scanKind = ScanKind::SingleFrequency;
        row.levels = levels;
        row.channelCodes = codes;
        row.plan = test::kBand800;
        sink.AcceptRow(row);
        EXPECT_EQ(sink.LeftOutRows(), c.kept ? 0 : 1);
        ASSERT_EQ(consumer.points.size(), c.kept ? 1u : 0u);
        if (!c.kept) continue;
        const SamplePoint& p = consumer.points[0].point;
        EXPECT_DOUBLE_EQ(p.rssiDbm, -271.0 / 3.0);  // unrounded
        EXPECT_EQ(p.samples, 3);
        EXPECT_EQ(p.rssiMinDbm, -101);
        EXPECT_EQ(p.rssiMaxDbm, -80);
        EXPECT_EQ(p.frequencyMHz, test::kBand800.CodeToMHz(68000));
    }
}

// What a point says of its fix and time: the fix by name, speed only with a fix, height only with
// a 3D fix; the UTC time only for GPS-timed rows, the clock's stamp whenever there is one.
TEST(SampleLayerSinkTest, FixAndTimeOfAPoint) {
    struct Case {
        const char* name;
        int status;
        Timing timing;
        bool rtcStamp;
        const char* fix;
        bool speed, altitude;
        const char* utc;
        const char* clock;
        TimeSource source;
    };
    const Case cases[] = {
        {"3D fix, GPS time", 7, Timing::Gps, false, "3D", true, true, "2026-06-15T14:30:05Z", "",
         TimeSource::Gps},
        {"2D fix, GPS time and a stamp", 6, Timing::Gps, true, "2D", true, false,
         "2026-06-15T14:30:05Z", "2026-06-15T14:29:59", TimeSource::Gps},
        {"no fix, RTC time", 3, Timing::Rtc, true, "Acquiring Satellites", false, false, "",
         "2026-06-15T14:29:59", TimeSource::Rtc},
        {"position hold, no time", 4, Timing::None, false, "Position Hold", false, false, "", "",
         TimeSource::None},
    };
    GpsBlock good;
    good.statusCode = 7;
    good.latitudeA.decimalDegrees = 51.5;
    good.longitudeA.decimalDegrees = -0.1;
    const std::uint32_t codes[] = {68000};
    const std::int8_t levels[] = {-80};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KeepingConsumer consumer;
        SampleLayerSink sink(consumer);
        sink.AcceptFix({good, 1, ScanKind::SingleFrequency});
        GpsBlock gps = good;
        gps.statusCode = c.status;
        gps.year = 2026;
        gps.month = 6;
        gps.day = 15;
        gps.speed1 = 1000;
        gps.height3 = 4250;
        const RtcClock rtc = c.rtcStamp ? RtcClock{59, 29, 14, 15, 6, 26, 0} : RtcClock{};
        OutputRow row;
        row.number = 1;
        row.latitude = 51.5;
        row.longitude = -0.1;
        row.hours = 14;
        row.minutes = 30;
        row.seconds = 5;
        row.gps = &gps;
        row.rtc = &rtc;
        row.timing = c.timing;
        row.dataMode = DataKind::Samples;
        row.scanKind = ScanKind::SingleFrequency;
        row.levels = levels;
        row.channelCodes = codes;
        row.plan = test::kBand800;
        sink.AcceptRow(row);
        ASSERT_EQ(consumer.points.size(), 1u);
        const KeptPoint& kept = consumer.points[0];
        EXPECT_EQ(kept.fix, c.fix);
        EXPECT_EQ(kept.point.speedKnown, c.speed);
        EXPECT_EQ(kept.point.altitudeKnown, c.altitude);
        EXPECT_DOUBLE_EQ(kept.point.speedKmh, 36.0);
        EXPECT_DOUBLE_EQ(kept.point.altitudeM, 42.5);
        EXPECT_EQ(kept.utc, c.utc);
        EXPECT_EQ(kept.clock, c.clock);
        EXPECT_EQ(kept.point.timeSource, c.source);
        EXPECT_EQ(TimeSourceName(kept.point.timeSource), c.source == TimeSource::Gps   ? "gps"
                                                         : c.source == TimeSource::Rtc ? "rtc"
                                                                                       : "");
    }
}

TEST(SampleLayerSinkTest, IsoTimes) {
    struct Case {
        RtcClock rtc;
        const char* expected;
    };
    const Case rtcCases[] = {
        {{5, 4, 3, 2, 1, 79, 0}, "2079-01-02T03:04:05"},
        {{5, 4, 3, 2, 1, 80, 0}, "1980-01-02T03:04:05"},
        {{0, 0, 0, 31, 12, 0, 0}, "2000-12-31T00:00:00"},
        {{0, 0, 0, 0, 0, 0, 0}, ""},  // no calendar date
        {{0, 60, 0, 1, 1, 26, 0}, ""},
    };
    for (const Case& c : rtcCases) {
        char text[kIsoTimeRoom];
        EXPECT_EQ(std::string(text, WriteRtcIsoTime(text, c.rtc)), c.expected);
    }
    char text[kIsoTimeRoom];
    EXPECT_EQ(std::string(text, WriteGpsIsoTime(text, 2026, 6, 15, 23, 59, 58)),
              "2026-06-15T23:59:58Z");
    EXPECT_EQ(std::string(text, WriteGpsIsoTime(text, 2026, 0, 15, 23, 59, 58)), "");
    EXPECT_EQ(LeftOutRowsText(3), "3 rows without a valid position were left out");
}

}  // namespace
}  // namespace varistrum
