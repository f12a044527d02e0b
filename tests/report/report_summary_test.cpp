// SPDX-License-Identifier: GPL-3.0-or-later
// The report as an engineer reads it: verdicts decided by what a 40-lambda conversion averages,
// unknown figures left unknown, shares with one decimal, and the summary per frequency that
// adds up the scans.
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "logfile/tavrel_reader.h"
#include "report/drive_report.h"
#include "report/report_format.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"
#include "tools/log_builder.h"

namespace varistrum {
namespace {

DriveReport ReportOf(const std::string& path, ReportRequest request = {}) {
    TavrelReader reader;
    return BuildDriveReport(reader, path, request, {});
}

DriveReport ReportOf(const test::TempDir& dir, const std::vector<std::uint8_t>& log,
                     ReportRequest request = {}) {
    const std::string path = dir.File("drive.klf");
    test::WriteFile(path, log);
    return ReportOf(path, request);
}

// The example log mixes averaged scans (one meets in part) with list and table scans whose
// sparse channels do not meet: the file's verdict is its averaged scans'.
TEST(ReportVerdictTest, TheExamplesVerdictFollowsItsAveragedScans) {
    const DriveReport report =
        ReportOf(std::string(VARISTRUM_SOURCE_DIR) + "/examples/drive-example.klf");
    ASSERT_TRUE(report.Complete());
    LeeVerdict averaged = LeeVerdict::NotApplicable, everyChannel = LeeVerdict::NotApplicable;
    int scansWithoutAveraging = 0;
    for (const ScanReport& scan : report.scans) {
        SCOPED_TRACE(scan.number);
        LeeVerdict scanVerdict = LeeVerdict::NotApplicable;
        for (const ChannelFigures& channel : scan.channels) {
            if (!channel.lee) continue;
            everyChannel = WorseVerdict(everyChannel, channel.lee->verdict);
            if (channel.receiverSamples)
                scanVerdict = WorseVerdict(scanVerdict, channel.lee->verdict);
        }
        EXPECT_EQ(scan.verdict, scanVerdict);
        if (!scan.HasAveragedChannel()) {
            ++scansWithoutAveraging;
            EXPECT_EQ(scan.verdict, LeeVerdict::NotApplicable);
        }
        averaged = WorseVerdict(averaged, scanVerdict);
    }
    EXPECT_GT(scansWithoutAveraging, 0);
    EXPECT_EQ(everyChannel, LeeVerdict::DoesNotMeet);  // what the list channels would decide
    EXPECT_EQ(report.verdict, averaged);
    EXPECT_EQ(report.verdict, LeeVerdict::MeetsPartly);
    const std::string text = ReportText(report);
    EXPECT_NE(text.find("Verdict of the file (its worst scan, averaged channels): meets in part"),
              std::string::npos);
    EXPECT_NE(text.find(", not averaged: "), std::string::npos);
    EXPECT_NE(text.find(": does not meet (not averaged)\n"), std::string::npos);
    // 37 of 73 windows meet: 50.7 %, not a whole 50.
    EXPECT_NE(text.find("meets in 50.7 % of windows"), std::string::npos) << text;
}

// The README shows the example's summary as the report prints it (up to its "...").
TEST(ReportVerdictTest, TheReadmeShowsTheExamplesSummary) {
    const std::string source = VARISTRUM_SOURCE_DIR;
    const std::string readme = test::ReadFile(source + "/README.md");
    const std::size_t begin = readme.find("```text\nSummary of ");
    ASSERT_NE(begin, std::string::npos);
    const std::size_t end = readme.find("  ...\n", begin);
    ASSERT_NE(end, std::string::npos);
    const std::string shown = readme.substr(begin + 8, end - begin - 8);
    const std::string printed = ReportText(ReportOf(source + "/examples/drive-example.klf"), true);
    EXPECT_NE(printed.find(shown), std::string::npos) << shown << "\n" << printed;
}

// Receiver samples and list entries of the same frequency in one scan stay two channels: only
// the samples are averaged, and only they decide.
TEST(ReportVerdictTest, ListEntriesNeverJoinTheAveragedChannel) {
    test::TempDir dir;
    sim::LogBuilder log(8);
    log.Config(3, test::kBand800, test::kBand800);
    std::array<std::uint32_t, 10> codes{};
    codes.fill(69846);
    log.ScanList10(codes, codes);
    sim::GpsFix fix;
    fix.latitudeMas = 51 * 3600000;
    fix.longitudeMas = 7 * 3600000;
    for (int second = 0; second < 60; ++second) {
        fix.seconds = second;
        fix.latitudeMas += 400;  // about 12 m a second
        log.Gps(fix);
        const std::vector<int> levels(100, -70);  // plenty of samples for every window
        log.Samples(1, levels);
        const sim::ListEntry entries[] = {{0, 0, -90}};  // one list entry a second: too few
        log.ChannelList(entries);
    }
    const DriveReport report = ReportOf(dir, log.Bytes());
    ASSERT_EQ(report.scans.size(), 1u);
    const auto& channels = report.scans[0].channels;
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(channels[0].frequencyMHz, channels[1].frequencyMHz);
    EXPECT_TRUE(channels[0].receiverSamples);
    EXPECT_FALSE(channels[1].receiverSamples);
    EXPECT_EQ(channels[0].samples, 6000);
    EXPECT_EQ(channels[1].samples, 60);
    EXPECT_EQ(channels[0].levels.maximum, -70);  // no list level among the samples
    ASSERT_TRUE(channels[0].lee && channels[1].lee);
    EXPECT_EQ(channels[0].lee->verdict, LeeVerdict::Meets);
    EXPECT_EQ(channels[1].lee->verdict, LeeVerdict::DoesNotMeet);
    EXPECT_EQ(report.scans[0].verdict, LeeVerdict::Meets);
    EXPECT_EQ(report.verdict, LeeVerdict::Meets);
}

TEST(ReportVerdictTest, SharesHaveOneDecimalAndNeverContradictTheVerdict) {
    const struct {
        std::int64_t windows, below;
        LeeVerdict verdict;
        int meetsPerMille;
    } cases[] = {
        {73, 36, LeeVerdict::MeetsPartly, 507},    // 50.68 %
        {4, 1, LeeVerdict::MeetsPartly, 750},      // exact
        {2000, 1, LeeVerdict::MeetsPartly, 999},   // 99.95 % is not 100.0
        {2000, 1999, LeeVerdict::DoesNotMeet, 1},  // 0.05 % is not 0.0
        {3, 2, LeeVerdict::DoesNotMeet, 333},     {10, 0, LeeVerdict::Meets, 1000},
        {10, 10, LeeVerdict::DoesNotMeet, 0},     {0, 0, LeeVerdict::NotApplicable, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.windows) + " windows, " + std::to_string(c.below));
        EXPECT_EQ(VerdictOf(c.windows, c.below), c.verdict);
        EXPECT_EQ(MeetsPerMille(c.windows, c.below), c.meetsPerMille);
    }
    EXPECT_EQ(PerMilleText(507), "50.7");
    EXPECT_EQ(PerMilleText(1000), "100.0");
    EXPECT_EQ(PerMilleText(0), "0.0");
    EXPECT_EQ(VerdictText(LeeVerdict::MeetsPartly, 999), "meets in 99.9 % of windows");
}

// What needs a GPS fix is unknown without one, never 0: in the figures, the text and the JSON.
TEST(ReportUnknownsTest, WithoutGpsFixesDistanceSpeedAndOutagesAreUnknown) {
    test::TempDir dir;
    const auto logWith = [](const std::vector<int>& statuses) {
        sim::LogBuilder log(8);
        log.Config(3, test::kBand800, test::kBand800);
        log.ScanList32(69846, 69046);
        log.Rtc(12, 0, 0);
        log.Samples(1, std::vector<int>(20, -70));
        sim::GpsFix fix;
        fix.latitudeMas = 51 * 3600000;
        fix.longitudeMas = 7 * 3600000;
        for (std::size_t i = 0; i < statuses.size(); ++i) {
            fix.seconds = static_cast<int>(i);
            fix.latitudeMas += 300;
            fix.statusCode = statuses[i];
            log.Gps(fix);
            log.Samples(1, std::vector<int>(20, -70));
        }
        log.Rtc(12, 0, 10);
        return log.Bytes();
    };
    const struct {
        const char* name;
        std::vector<std::uint8_t> log;
        bool distance, speed, outages;
    } cases[] = {
        {"no GPS record", logWith({}), false, false, false},
        {"only fixless records", logWith({0, 3, 5}), false, false, false},
        {"one good fix", logWith({0, 7, 0}), false, false, true},
        {"two good fixes", logWith({7, 6}), true, true, true},
        {"simulated clock-timed drive", sim::SimulateLog(sim::Scenario::SingleRtc, 8, 3, 120),
         false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DriveReport report = ReportOf(dir, c.log);
        ASSERT_TRUE(report.Complete());
        ASSERT_FALSE(report.scans.empty());
        for (const DriveFigures* d : {&report.file, &report.scans[0].drive}) {
            EXPECT_EQ(d->distanceMetres.has_value(), c.distance);
            EXPECT_EQ(d->speedKmh.has_value(), c.speed);
            EXPECT_EQ(d->outagesKnown, c.outages);
        }
        const std::string text = ReportText(report);
        const std::string json = ReportJson(report);
        EXPECT_EQ(text.find("distance unknown, speed unknown") != std::string::npos,
                  !c.distance && !c.speed);
        EXPECT_EQ(json.find("\"distance_m\":null,\"speed_kmh\":null") != std::string::npos,
                  !c.distance && !c.speed);
        EXPECT_EQ(json.find("\"outages\":null") != std::string::npos, !c.outages);
        EXPECT_EQ(text.find("speed 0 km/h"), std::string::npos);
        if (!c.speed) {
            EXPECT_NE(text.find("median speed unknown"), std::string::npos);
        }
    }
}

// Per (frequency, averaged): scans, samples, windows and windows below 36, as the summary gives
// them and as the scans' channels add up.
using Key = std::pair<double, bool>;
struct Sums {
    std::int64_t scans = 0, samples = 0, windows = 0, below = 0;
    bool operator==(const Sums&) const = default;
};

std::map<Key, Sums> ScansSummed(const DriveReport& report) {
    std::map<Key, Sums> sums;
    for (const ScanReport& scan : report.scans) {
        for (const ChannelFigures& c : scan.channels) {
            Sums& s = sums[{c.frequencyMHz, c.receiverSamples}];
            ++s.scans;
            s.samples += c.samples;
            if (c.lee) {
                s.windows += c.lee->windows;
                s.below += c.lee->windowsBelow36;
            }
        }
    }
    return sums;
}

std::map<Key, Sums> Summary(const DriveReport& report) {
    std::map<Key, Sums> sums;
    for (const FrequencyFigures& f : report.frequencies) {
        EXPECT_FALSE(f.further);
        EXPECT_TRUE(sums.emplace(Key{f.frequencyMHz, f.receiverSamples},
                                 Sums{f.scans, f.samples, f.windows, f.windowsBelow36})
                        .second);
        EXPECT_EQ(f.verdict, VerdictOf(f.windows, f.windowsBelow36));
    }
    return sums;
}

TEST(ReportSummaryTest, TheSummaryIsTheScansSummed) {
    test::TempDir dir;
    std::vector<std::pair<std::string, std::string>> logs = {
        {"example", std::string(VARISTRUM_SOURCE_DIR) + "/examples/drive-example.klf"}};
    for (const sim::Scenario scenario : sim::AllScenarios()) {
        const std::string path = dir.File(std::string(sim::ScenarioName(scenario)) + ".klf");
        test::WriteFile(path, sim::SimulateLog(scenario, 8, 5, 300));
        logs.emplace_back(sim::ScenarioName(scenario), path);
    }
    for (const auto& [name, path] : logs) {
        SCOPED_TRACE(name);
        const DriveReport report = ReportOf(path);
        ASSERT_TRUE(report.Complete());
        EXPECT_EQ(report.reportedScans, static_cast<std::int64_t>(report.scans.size()));
        EXPECT_EQ(Summary(report), ScansSummed(report));
        // Averaged frequencies first; a frequency of one scan has that scan's levels.
        bool averaged = true;
        for (const FrequencyFigures& f : report.frequencies) {
            EXPECT_TRUE(averaged || !f.receiverSamples);
            averaged = f.receiverSamples;
            if (f.scans != 1) continue;
            for (const ScanReport& scan : report.scans) {
                for (const ChannelFigures& c : scan.channels) {
                    if (c.frequencyMHz != f.frequencyMHz || c.receiverSamples != f.receiverSamples)
                        continue;
                    EXPECT_EQ(c.levels.minimum, f.levels.minimum);
                    EXPECT_EQ(c.levels.median, f.levels.median);
                    EXPECT_EQ(c.levels.maximum, f.levels.maximum);
                }
            }
        }
    }
}

// Scans that cycle through frequencies, each of a few samples at a known level.
std::vector<std::uint8_t> CyclingScans(int scans, int frequencies) {
    sim::LogBuilder log(9);
    log.Config(3, sim::kBand800, sim::kBand30kHz);
    sim::GpsFix fix;
    fix.latitudeMas = 185000000;
    fix.longitudeMas = 25000000;
    for (int s = 0; s < scans; ++s) {
        log.ScanList32(sim::kBand800.first + 100 + s % frequencies, sim::kBand30kHz.first + 7);
        for (int k = 0; k < 3; ++k) {
            fix.seconds = (fix.seconds + 1) % 60;
            fix.latitudeMas += 3000;
            log.Gps(fix);
            // Levels -60, -61, ... by scan: a known median over any set of scans.
            log.Samples(1, std::vector<int>(4, -60 - s));
        }
    }
    return log.Bytes();
}

// Beyond so many frequencies the summary sums each kind's further ones together, in the same
// room whatever their number; the median level over many scans is exact.
TEST(ReportSummaryTest, FrequenciesBeyondTheLimitAreSummedTogether) {
    test::TempDir dir;
    const struct {
        std::size_t limit;
        std::size_t rows;
        std::int64_t furtherScans;
    } cases[] = {{100, 5, 0}, {5, 5, 0}, {2, 3, 6}, {1, 2, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        ReportRequest request;
        request.summaryFrequenciesAtMost = c.limit;
        const DriveReport report = ReportOf(dir, CyclingScans(10, 5), request);
        ASSERT_EQ(report.frequencies.size(), c.rows);
        std::int64_t samples = 0, scans = 0;
        for (const FrequencyFigures& f : report.frequencies) {
            samples += f.samples;
            scans += f.scans;
            EXPECT_TRUE(f.receiverSamples);
        }
        EXPECT_EQ(samples, 10 * 3 * 4);
        EXPECT_EQ(scans, 10);
        const FrequencyFigures& last = report.frequencies.back();
        EXPECT_EQ(last.further, c.furtherScans > 0);
        if (last.further) {
            EXPECT_EQ(last.scans, c.furtherScans);
        }
        // The first frequency: scans 0 and 5, levels -60 and -65; the lower middle rank.
        EXPECT_EQ(report.frequencies[0].levels.median, -65);
        EXPECT_EQ(report.frequencies[0].levels.maximum, -60);
        const std::string text = ReportText(report, true);
        EXPECT_EQ(text.find("further: the frequencies beyond those listed") != std::string::npos,
                  c.furtherScans > 0);
    }
}

}  // namespace
}  // namespace varistrum
