// SPDX-License-Identifier: GPL-3.0-or-later
// Standing still: the stop search, the pre-pass that feeds it and the rows a conversion drops,
// checked against simulated drives whose stops are known.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "convert/gps_outage_pass.h"
#include "convert/job_runner.h"
#include "filters/stop_finder.h"
#include "filters/threshold_stage.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"
#include "tools/log_builder.h"

namespace varistrum {
namespace {

using sim::GpsFix;
using sim::LogBuilder;
using test::FieldSettings;
using test::TempDir;
using test::WriteFile;

constexpr double kLatitude = 51.0;
// Metres north of kLatitude as degrees of latitude there (the meridian's degree at 51 N).
constexpr double kMetresPerDegreeAt51 = 111257.0;

struct Span {
    std::int64_t first, last;
    bool operator==(const Span&) const = default;
};

std::string Text(const std::vector<Span>& spans) {
    std::ostringstream out;
    for (const Span& s : spans) out << '[' << s.first << ',' << s.last << ']';
    return out.str();
}

std::vector<Span> SpansOf(SpillArray<StandingStop>& stops) {
    std::vector<Span> spans;
    for (std::size_t k = 0; k < stops.size(); ++k)
        spans.push_back({stops[k].firstGpsRecord, stops[k].lastGpsRecord});
    return spans;
}

// A drive along a meridian, one fix a second, as pieces of constant speed (m/s); fix n (from 1)
// is at second n - 1.
struct Piece {
    int seconds;
    double speed;
};

std::vector<Span> StopsOfDrive(const std::vector<Piece>& pieces, StandStillRule rule) {
    StopFinder finder(rule);
    double metres = 0.0;
    std::int64_t second = 0, number = 0;
    finder.AddFix(++number, second, kLatitude, 7.0);
    for (const Piece& piece : pieces) {
        for (int s = 0; s < piece.seconds; ++s) {
            metres += piece.speed;
            finder.AddFix(++number, ++second, kLatitude + metres / kMetresPerDegreeAt51, 7.0);
        }
    }
    finder.Finish();
    return SpansOf(finder.Stops());
}

TEST(StopFinderTest, FindsEachStopWithItsFirstAndLastFix) {
    const StandStillRule rule{5.0, DistanceUnit::Metres, 30};
    constexpr double kDrive = 10.0;            // m/s: every step leaves the distance
    constexpr double kCreep = 0.8 * 5.0 / 30;  // 0.8 D/T
    constexpr double kFastCreep = 1.2 * 5.0 / 30;
    struct Case {
        const char* name;
        std::vector<Piece> pieces;
        std::vector<Span> stops;
    };
    const Case cases[] = {
        {"at the start", {{40, 0.0}, {30, kDrive}}, {{1, 41}}},
        {"in the middle", {{30, kDrive}, {40, 0.0}, {30, kDrive}}, {{31, 71}}},
        {"exactly T", {{30, kDrive}, {30, 0.0}, {30, kDrive}}, {{31, 61}}},
        {"one second short", {{30, kDrive}, {29, 0.0}, {30, kDrive}}, {}},
        {"at the end, long enough", {{30, kDrive}, {40, 0.0}}, {{31, 71}}},
        {"at the end, too short", {{30, kDrive}, {20, 0.0}}, {}},
        {"the longest run is one stop", {{10, kDrive}, {200, 0.0}, {10, kDrive}}, {{11, 211}}},
        // The fix that ends a stop may begin the next one.
        {"two stops back to back", {{40, 0.0}, {1, kDrive}, {40, 0.0}}, {{1, 41}, {42, 82}}},
        // Within D of the creep's first fix for 37 s, then 22 s left: too short for a second.
        {"a creep at 0.8 D/T", {{30, kDrive}, {60, kCreep}, {30, kDrive}}, {{31, 68}}},
        {"a creep at 1.2 D/T", {{30, kDrive}, {60, kFastCreep}, {30, kDrive}}, {}},
        {"driving only", {{100, kDrive}}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Text(StopsOfDrive(c.pieces, rule)), Text(c.stops)) << c.name;
    }
}

TEST(StopFinderTest, DistancesInEveryUnitAndRulesItRefuses) {
    EXPECT_DOUBLE_EQ((StandStillRule{0.0005, DistanceUnit::Degrees, 30}).Metres(), 55.5975);
    EXPECT_DOUBLE_EQ((StandStillRule{2, DistanceUnit::Minutes, 30}).Metres(), 3706.5);
    EXPECT_DOUBLE_EQ((StandStillRule{50, DistanceUnit::Metres, 30}).Metres(), 50.0);
    EXPECT_EQ((StandStillRule{}).Problem(), nullptr);
    const StandStillRule refused[] = {
        {0.0, DistanceUnit::Metres, 30},          {-1.0, DistanceUnit::Metres, 30},
        {50.0, DistanceUnit::Metres, 0},          {50.0, DistanceUnit::Metres, 3601},
        {1e308, DistanceUnit::Degrees, 30},  // no finite number of metres
        {50.0, static_cast<DistanceUnit>(3), 30},
    };
    for (const StandStillRule& rule : refused)
        EXPECT_NE(rule.Problem(), nullptr) << rule.distance << ' ' << rule.seconds;
    EXPECT_EQ((StandStillRule{50.0, DistanceUnit::Metres, 3600}).Problem(), nullptr);
}

// Fixes whose time does not advance pile up; the search keeps at most its bound of them and
// gives up the oldest candidates, and still finds a stop once time moves on.
TEST(StopFinderTest, KeepsAtMostItsBoundOfFixes) {
    StopFinder finder({5.0, DistanceUnit::Metres, 30});
    const std::int64_t held = static_cast<std::int64_t>(kStopSearchFixesMax);
    std::int64_t number = 0;
    for (; number < held + 5;) finder.AddFix(++number, 0, kLatitude, 7.0);
    EXPECT_LE(finder.FixesHeld(), kStopSearchFixesMax);
    finder.AddFix(++number, 30, kLatitude, 7.0);
    finder.AddFix(++number, 31, kLatitude + 1.0 / 1000, 7.0);  // 111 m on
    finder.Finish();
    // The first candidates were given up when the bound was reached.
    EXPECT_EQ(Text(SpansOf(finder.Stops())), Text({{6, held + 6}}));
}

GpsFix FixAt(int second, double metresNorth, int status = 7) {
    GpsFix fix;
    fix.hours = 12 + second / 3600;
    fix.minutes = second / 60 % 60;
    fix.seconds = second % 60;
    fix.latitudeMas =
        static_cast<std::int32_t>((kLatitude + metresNorth / kMetresPerDegreeAt51) * 3600000.0);
    fix.longitudeMas = 7 * 3600000;
    fix.statusCode = status;
    return fix;
}

// Fixes of a built log with one sample record after each: (second, metres north, status).
struct Step {
    int second;
    double metres;
    int status = 7;
};

std::vector<std::uint8_t> BuiltLog(const std::vector<Step>& steps) {
    LogBuilder log;
    const int sample[1] = {-60};
    log.Config(1, test::kBand800, test::kBand800).ScanList32(68000, 0);
    for (const Step& step : steps)
        log.Gps(FixAt(step.second, step.metres, step.status)).Samples(1, sample);
    return log.Bytes();
}

TEST(StandingStillPrePassTest, TimesAndFixesAsTheOutagePassTakesThem) {
    const StandStillRule rule{5.0, DistanceUnit::Metres, 30};
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<Span> stops;
    };
    const Case cases[] = {
        {"a plain stop", {{0, 0}, {10, 0}, {30, 0}, {31, 50}}, {{1, 3}}},
        // A step back adds no time: 0 -> 20 -> 5 -> 15 is 30 s.
        {"a step back counts as no time", {{0, 0}, {20, 0}, {5, 0}, {15, 0}, {16, 50}}, {{1, 4}}},
        {"without the step back it would", {{0, 0}, {20, 0}, {5, 0}, {14, 0}, {16, 50}}, {}},
        // Bad fixes neither break nor make a stop, but count in the numbering.
        {"bad fixes in between", {{0, 0}, {10, 900, 3}, {30, 0}, {31, 900, 0}, {32, 50}}, {{1, 3}}},
        {"no good fix", {{0, 0, 3}, {40, 0, 3}, {80, 0, 0}}, {}},
        // Across midnight without a date the nearer next day counts.
        {"a stop across midnight", {{86390 - 43200, 0}, {86399 - 43200, 0}}, {}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFile(dir.File("s.klf"), BuiltLog(c.steps));
        TavrelReader reader;
        PrePassRequest request;
        request.standStill = rule;
        OutageListing listing = GpsPrePass(reader, dir.File("s.klf"), request, {});
        ASSERT_TRUE(listing.opened) << c.name;
        EXPECT_EQ(Text(SpansOf(listing.stops)), Text(c.stops)) << c.name;
        EXPECT_TRUE(listing.starts.empty()) << c.name;  // outages were not asked for
    }
}

// The rows of a stop's fixes go, up to the first good fix after its last; the row before the
// first fix stays, and so does a file without good fixes, with a warning.
TEST(StandingStillConversionTest, DropsTheRowsOfTheStopsFixes) {
    auto settings = FieldSettings({GpsTime, DataField});
    settings.columns = {false, false, true};
    // Fixes 1 and 2 are bad: their rows come before the first good fix. Fixes 3 to 5 stand 30 s,
    // fix 6 is bad, fix 7 drives on; a row stands between two fixes.
    const std::vector<std::uint8_t> log =
        BuiltLog({{0, 0, 3}, {1, 0, 3}, {2, 0}, {12, 0}, {32, 0}, {33, 0, 3}, {34, 50}, {35, 100}});
    EXPECT_EQ(test::ConvertBytes(log, settings),
              "12:00:00,-60\r\n12:00:01,-60\r\n12:00:02,-60\r\n12:00:12,-60\r\n12:00:32,-60\r\n"
              "12:00:33,-60\r\n12:00:34,-60\r\n");
    settings.dropStandingStill = true;
    settings.standStill = {5.0, DistanceUnit::Metres, 30};
    EXPECT_EQ(test::ConvertBytes(log, settings),
              "12:00:00,-60\r\n12:00:01,-60\r\n12:00:34,-60\r\n");
}

TEST(StandingStillConversionTest, AJobSaysWhatItDroppedAndWhenThereWasNoFix) {
    TempDir dir;
    auto settings = FieldSettings({GpsTime, DataField});
    settings.dropStandingStill = true;
    settings.standStill = {5.0, DistanceUnit::Metres, 30};
    WriteFile(dir.File("stop.klf"), BuiltLog({{0, 0}, {10, 0}, {30, 0}, {32, 50}}));
    WriteFile(dir.File("none.klf"), BuiltLog({{0, 0, 3}, {40, 0, 3}}));
    struct Case {
        const char* log;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"stop.klf",
         {"Information: Filters dropped 3 data records while standing still (1 stop, 30 s).",
          "Information: Conversion Has Been Completed!"}},
        {"none.klf",
         {"Warning: The log has no good GPS fix (2D or 3D): no data was dropped for standing "
          "still.",
          "Information: Filters dropped 0 data records while standing still (0 stops, 0 s).",
          "Information: Conversion Has Been Completed!"}},
    };
    for (const Case& c : cases) {
        TavrelReader reader;
        reader.SetInputFormat(8);
        test::RecordingObserver observer;
        ASSERT_EQ(RunConversionJob(reader, {dir.File(c.log)}, {dir.File("out.txt")}, settings,
                                   observer, {}),
                  JobOutcome::Completed);
        EXPECT_EQ(observer.messages, c.messages) << c.log;
    }
}

// The rows a sink receives with the GPS record number of the good fix they belong to: the last
// good fix met before them (a placed row arrives before the fix that ends its interval).
class OwnerSink : public RowSink {
  public:
    void AcceptFix(const GpsFixEvent& fix) override {
        ++gpsRecords_;
        if (fix.gps.HasFix()) lastGood_ = gpsRecords_;
    }
    void AcceptRow(const OutputRow& row) override {
        owners.push_back(lastGood_);
        levels.push_back(WrittenLevel(row).value_or(kNoLevel));
    }
    std::vector<std::int64_t> owners;
    std::vector<int> levels;

  private:
    std::int64_t gpsRecords_ = 0, lastGood_ = 0;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find("\r\n", begin)) != std::string::npos; begin = end + 2)
        lines.push_back(text.substr(begin, end - begin));
    return lines;
}

struct Converted {
    std::vector<std::string> lines;
    std::vector<std::int64_t> owners;
    std::vector<int> levels;
    FileOutcome outcome;
};

Converted ConvertSimulated(const TempDir& dir, const std::string& log,
                           const ConversionSettings& settings) {
    TavrelReader reader;
    reader.SetInputFormat(8);
    test::RecordingObserver observer;
    OwnerSink owners;
    RowSink* const sinks[] = {&owners};
    Converted out;
    out.outcome = ConvertFile(reader, log, dir.File("out.txt"), settings, observer, {}, sinks);
    out.lines = Lines(test::ReadFile(dir.File("out.txt")));
    out.owners = std::move(owners.owners);
    out.levels = std::move(owners.levels);
    return out;
}

sim::SimulationOptions DriveWithStops(int count, int seconds, double creep = 0.0) {
    sim::SimulationOptions options;
    options.seed = 11;
    options.scenario = sim::Scenario::SingleGps;
    options.durationSeconds = 400;
    options.stops.count = count;
    options.stops.seconds = seconds;
    options.stops.creepSpeed = creep;
    return options;
}

bool InAStop(std::int64_t owner, const std::vector<sim::StopTruth>& stops) {
    return std::any_of(stops.begin(), stops.end(), [&](const sim::StopTruth& s) {
        return owner >= s.firstGpsRecord && owner <= s.lastGpsRecord;
    });
}

// A simulated drive waits 60 s at three points: the pre-pass finds each stop with its first and
// last fix, and the conversion drops exactly the rows of those fixes, leaving every other line
// as it was.
TEST(StandingStillConversionTest, ASimulatedDrivesStopsAreFoundAndTheirRowsDropped) {
    TempDir dir;
    sim::SimulationTruth truth;
    const std::string log = dir.File("stops.klf");
    WriteFile(log, sim::SimulateLog(DriveWithStops(3, 60), &truth));
    ASSERT_EQ(truth.stops.size(), 3u);
    const StandStillRule rule{3.0, DistanceUnit::Metres, 30};

    TavrelReader reader;
    OutageListing listing = GpsPrePass(reader, log, {std::nullopt, rule}, {});
    std::vector<Span> expected;
    for (const sim::StopTruth& s : truth.stops)
        expected.push_back({s.firstGpsRecord, s.lastGpsRecord});
    EXPECT_EQ(Text(SpansOf(listing.stops)), Text(expected));

    auto settings = FieldSettings(
        {GpsTime, LatitudeDecimalDegrees, LongitudeDecimalDegrees, GpsVelocity, DataField});
    const Converted all = ConvertSimulated(dir, log, settings);
    settings.dropStandingStill = true;
    settings.standStill = rule;
    const Converted kept = ConvertSimulated(dir, log, settings);
    ASSERT_EQ(all.lines.size(), all.owners.size());
    std::vector<std::string> outside;
    for (std::size_t i = 0; i < all.lines.size(); ++i) {
        if (!InAStop(all.owners[i], truth.stops)) outside.push_back(all.lines[i]);
    }
    EXPECT_LT(outside.size(), all.lines.size());
    EXPECT_EQ(kept.lines, outside);
    EXPECT_EQ(kept.outcome.dropped.stops, 3);
    EXPECT_EQ(kept.outcome.dropped.stoppedSeconds,
              truth.stops[0].seconds + truth.stops[1].seconds + truth.stops[2].seconds);
}

// A creep at 0.8 D/T stays within D for longer than T and is dropped; at 1.2 D/T it leaves D
// before T and every row is kept.
TEST(StandingStillConversionTest, ACreepIsDroppedBelowDOverTAndKeptAbove) {
    constexpr double kCreep = 0.5;  // m/s, 36 s at a time: within 1.25 T when at 0.8 D/T
    constexpr int kSeconds = 30;
    struct Case {
        double factor;  // of D/T
        bool dropped;
    };
    for (const Case c : {Case{0.8, true}, Case{1.2, false}}) {
        TempDir dir;
        sim::SimulationTruth truth;
        const std::string log = dir.File("creep.klf");
        WriteFile(log, sim::SimulateLog(DriveWithStops(2, 36, kCreep), &truth));
        auto settings = FieldSettings({GpsTime, LatitudeDecimalDegrees, DataField});
        const Converted all = ConvertSimulated(dir, log, settings);
        settings.dropStandingStill = true;
        settings.standStill = {kCreep * kSeconds / c.factor, DistanceUnit::Metres, kSeconds};
        const Converted kept = ConvertSimulated(dir, log, settings);
        std::size_t creeping = 0;
        for (std::int64_t owner : all.owners) creeping += InAStop(owner, truth.stops) ? 1 : 0;
        ASSERT_GT(creeping, 0u);
        if (c.dropped) {
            EXPECT_EQ(kept.outcome.dropped.stops, 2) << c.factor;
            EXPECT_LE(kept.lines.size() + creeping, all.lines.size()) << c.factor;
        } else {
            EXPECT_EQ(kept.outcome.dropped.stops, 0) << c.factor;
            EXPECT_EQ(kept.lines, all.lines) << c.factor;
        }
    }
}

// Stops in a strong-signal area weigh the levels towards that area; without their rows the
// share of strong rows is that of the same drive without the stops.
TEST(StandingStillConversionTest, DroppingStopsRemovesTheirBiasOfTheLevels) {
    TempDir dir;
    const std::string plain = dir.File("plain.klf");
    const std::string stopped = dir.File("stopped.klf");
    auto options = DriveWithStops(0, 60);
    options.durationSeconds = 600;
    WriteFile(plain, sim::SimulateLog(options));
    options.stops.count = 3;
    options.stops.placement = sim::StopPlacement::NearSite;
    options.stops.site = 2;  // strong at the stops: they raise the share by some 9 points
    options.durationSeconds = 600 + 3 * 60;
    WriteFile(stopped, sim::SimulateLog(options));
    const auto strongShare = [](const Converted& c) {
        const auto strong =
            std::count_if(c.levels.begin(), c.levels.end(), [](int level) { return level >= -90; });
        return 100.0 * static_cast<double>(strong) / static_cast<double>(c.levels.size());
    };
    auto settings = FieldSettings({GpsTime, DataField});
    const double without = strongShare(ConvertSimulated(dir, plain, settings));
    const double biased = strongShare(ConvertSimulated(dir, stopped, settings));
    settings.dropStandingStill = true;
    // Some stops have bad fixes at their ends: 20 s of good fixes find each of them.
    settings.standStill = {3.0, DistanceUnit::Metres, 20};
    const double filtered = strongShare(ConvertSimulated(dir, stopped, settings));
    EXPECT_GT(biased - without, 5.0) << "the stops should weigh the levels";
    EXPECT_NEAR(filtered, without, 1.0);
}

}  // namespace
}  // namespace varistrum
