// SPDX-License-Identifier: GPL-3.0-or-later
// The drive report against drives of known speed, scan rate and GPS gaps; its verdicts, its
// unknowns and its summary per frequency.
#include "report/drive_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "averaging/averaging_engine.h"
#include "base/geodesic.h"
#include "convert/gps_outage_pass.h"
#include "logfile/tavrel_reader.h"
#include "report/report_format.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"
#include "tools/log_builder.h"
#include "tools/steady_drive.h"

namespace varistrum {
namespace {

constexpr double kRadius = 6378137.0;

// The haversine distance on the engine's sphere, worked out here: what the report's distances
// are not.
double Haversine(double lat1, double lon1, double lat2, double lon2) {
    const double toRadians = std::numbers::pi / 180.0;
    const double dLat = (lat2 - lat1) * toRadians;
    const double dLon = (lon2 - lon1) * toRadians;
    const double h = std::pow(std::sin(dLat / 2), 2) + std::cos(lat1 * toRadians) *
                                                           std::cos(lat2 * toRadians) *
                                                           std::pow(std::sin(dLon / 2), 2);
    return 2 * kRadius * std::asin(std::sqrt(h));
}

class ReportTest : public ::testing::Test {
  protected:
    DriveReport Report(const std::vector<std::uint8_t>& log, ReportRequest request = {}) {
        path_ = dir_.File("drive.klf");
        test::WriteFile(path_, log);
        return BuildDriveReport(reader_, path_, request, {});
    }

    test::TempDir dir_;
    std::string path_;
    TavrelReader reader_;
};

// The 40-wavelength window of the steady drive's receiver-1 frequency, as the engine lays it.
double WindowMetres(double mhz) {
    return 40.0 * 300000000.0 / (mhz * 1e6);
}

struct LeeCase {
    double speedKmh;
    int samplesPerSecond;
    LeeVerdict verdict;
};

TEST_F(ReportTest, LeeFiguresFollowSpeedAndScanRate) {
    const double mhz = 873.075;
    const double window = WindowMetres(mhz);
    const double breakEven30 = 30.0 * window / 36.0 * 3.6;  // km/h for 30 samples/s
    const LeeCase cases[] = {
        {20.0, 30, LeeVerdict::Meets},                     // 74.2: 75 samples a window
        {30.0, 25, LeeVerdict::Meets},                     // 41.2: 42
        {breakEven30 * 2.0, 30, LeeVerdict::DoesNotMeet},  // half of 36
        {50.0, 20, LeeVerdict::DoesNotMeet},               // about 20
    };
    for (const LeeCase& c : cases) {
        SCOPED_TRACE(c.speedKmh);
        sim::SteadyDriveOptions drive;
        drive.speedKmh = c.speedKmh;
        drive.samplesPerSecond = c.samplesPerSecond;
        drive.frequencyMHz = mhz;
        const DriveReport report = Report(sim::SteadyDriveLog(drive));
        ASSERT_EQ(report.scans.size(), 1u);
        const ScanReport& scan = report.scans[0];
        ASSERT_EQ(scan.channels.size(), 1u);
        const ChannelFigures& channel = scan.channels[0];
        ASSERT_TRUE(channel.lee.has_value());
        // The bin closes at the first sample a window length from its start: it holds the
        // whole number of sample spacings that reach the window length.
        const double expectedPerWindow =
            std::ceil(c.samplesPerSecond * window / (c.speedKmh / 3.6));
        const double expectedBreakEven = c.samplesPerSecond * window / 36.0 * 3.6;
        EXPECT_NEAR(channel.lee->median, expectedPerWindow, expectedPerWindow * 0.01);
        EXPECT_NEAR(channel.lee->maxSpeedKmh, expectedBreakEven, expectedBreakEven * 0.01);
        EXPECT_NEAR(channel.lee->windowMetres, window, 1e-9);
        EXPECT_NEAR(channel.samplesPerSecond, c.samplesPerSecond, c.samplesPerSecond * 0.01);
        ASSERT_TRUE(scan.drive.speedKmh.has_value());
        EXPECT_NEAR(scan.drive.speedKmh->medianKmh, c.speedKmh, c.speedKmh * 0.01);
        EXPECT_EQ(channel.lee->verdict, c.verdict);
        EXPECT_EQ(scan.verdict, c.verdict);
        EXPECT_EQ(report.verdict, c.verdict);
        EXPECT_EQ(channel.samples, 600 * c.samplesPerSecond);
        EXPECT_DOUBLE_EQ(scan.drive.durationSeconds, 599.0);
    }
}

TEST(LeeCriterionTest, VerdictsAndPercentiles) {
    struct Case {
        std::vector<std::uint32_t> bins;
        LeeVerdict verdict;
        std::string text;
        std::uint32_t minimum, p10, median;
        std::int64_t below;
    };
    const Case cases[] = {
        {{36, 40, 50}, LeeVerdict::Meets, "meets", 36, 36, 40, 0},
        {{35, 40, 50, 60}, LeeVerdict::MeetsPartly, "meets in 75.0 % of windows", 35, 35, 40, 1},
        {{10, 20, 40, 50}, LeeVerdict::MeetsPartly, "meets in 50.0 % of windows", 10, 10, 20, 2},
        {{10, 20, 30, 50}, LeeVerdict::DoesNotMeet, "does not meet", 10, 10, 20, 3},
        {{}, LeeVerdict::NotApplicable, "not applicable", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        BinSizeCounts counts;
        for (const std::uint32_t size : c.bins) counts.Add(size);
        const LeeFigures lee = LeeFiguresOf(counts, 31.0, 13.7);
        EXPECT_EQ(lee.verdict, c.verdict);
        EXPECT_EQ(VerdictText(lee.verdict, lee.meetsPerMille), c.text);
        EXPECT_EQ(lee.minimum, c.minimum);
        EXPECT_EQ(lee.percentile10, c.p10);
        EXPECT_EQ(lee.median, c.median);
        EXPECT_EQ(lee.windowsBelow36, c.below);
        EXPECT_EQ(lee.windows, static_cast<std::int64_t>(c.bins.size()));
        EXPECT_NEAR(lee.maxSpeedKmh, 31.0 * 13.7 / 36.0 * 3.6, 1e-9);
    }
}

TEST_F(ReportTest, OutagesAreThoseOfTheOutagePass) {
    sim::SteadyDriveOptions drive;
    drive.seconds = 500;
    drive.gaps = {{100, 40, false}, {300, 35, true}, {400, 10, false}, {450, 29, false}};
    const auto log = sim::SteadyDriveLog(drive);
    ReportRequest request;
    request.outageSeconds = 30;
    const DriveReport report = Report(log, request);
    const OutageListing listing = GpsOutagePass(reader_, path_, 30, {});
    ASSERT_EQ(report.file.outages.size(), listing.starts.size());
    ASSERT_EQ(report.file.outages.size(), 3u);  // 41 s, 36 s and 30 s from good fix to good fix
    const double masPerSecond = drive.speedKmh / 3.6 / sim::MetresPerLatitudeMas();
    const int lastGood[] = {99, 299, 449};
    const int nextGood[] = {140, 335, 479};
    for (std::size_t i = 0; i < 3; ++i) {
        const OutageFigure& o = report.file.outages[i];
        EXPECT_EQ(o.startSecondOfDay, drive.startSecondOfDay + lastGood[i]);
        EXPECT_DOUBLE_EQ(o.durationSeconds, nextGood[i] - lastGood[i]);
        const double from =
            (drive.startLatitudeMas + std::lround(masPerSecond * lastGood[i])) / 3.6e6;
        const double to =
            (drive.startLatitudeMas + std::lround(masPerSecond * nextGood[i])) / 3.6e6;
        const double longitude = drive.longitudeMas / 3.6e6;
        // On WGS 84, as every distance the product reports; not on the engine's sphere.
        EXPECT_NEAR(o.jumpMetres, GeodesicMetres(from, longitude, to, longitude), 1e-6);
        EXPECT_GT(std::abs(o.jumpMetres - Haversine(from, longitude, to, longitude)), 0.1);
        // Where and when: the fixes on either side of the gap, with their GPS date.
        EXPECT_NEAR(o.before.latitude, from, 1e-9);
        EXPECT_NEAR(o.after.latitude, to, 1e-9);
        EXPECT_NEAR(o.before.longitude, longitude, 1e-9);
        EXPECT_NEAR(o.after.longitude, longitude, 1e-9);
        EXPECT_EQ(o.year * 10000 + o.month * 100 + o.day, 20260615);
    }
    EXPECT_TRUE(report.file.outagesKnown);
    EXPECT_EQ(report.scans.at(0).drive.outages.size(), 3u);
    EXPECT_EQ(report.file.gps.bad, 35);
    EXPECT_EQ(report.file.gps.fixes3d, 500 - 40 - 35 - 10 - 29);
}

// Fixes of a route in degrees: the distance is the sum of the geodesics (WGS 84) between the
// good ones, not of the engine's great circles.
TEST_F(ReportTest, DistanceIsTheGeodesicSumThroughGoodFixes) {
    struct Fix {
        double latitude, longitude;
        int status;
    };
    const std::vector<std::vector<Fix>> routes = {
        {{51.0, 7.0, 7}, {51.001, 7.0, 7}, {51.001, 7.002, 6}, {51.0, 7.0, 7}},
        {{-33.9, 18.4, 7}, {-33.9, 18.41, 2}, {-33.91, 18.42, 7}, {-33.92, 18.42, 7}},
        {{0.0005, -0.0005, 7}, {-0.0005, 0.0005, 7}, {0.0, 0.0, 0}, {0.001, 0.001, 6}},
    };
    for (const auto& route : routes) {
        sim::LogBuilder log(8);
        log.Config(3, test::kBand800, test::kBand800);
        log.ScanList32(69846, 69046);
        double expected = 0.0, onTheSphere = 0.0;
        const Fix* previous = nullptr;
        for (std::size_t i = 0; i < route.size(); ++i) {
            sim::GpsFix fix;
            fix.seconds = static_cast<int>(i);
            fix.latitudeMas = static_cast<std::int32_t>(std::lround(route[i].latitude * 3.6e6));
            fix.longitudeMas = static_cast<std::int32_t>(std::lround(route[i].longitude * 3.6e6));
            fix.statusCode = route[i].status;
            log.Gps(fix);
            const std::vector<int> levels(10, -70);
            log.Samples(1, levels);
            if (route[i].status < 6) continue;
            if (previous != nullptr) {
                expected += GeodesicMetres(previous->latitude, previous->longitude,
                                           route[i].latitude, route[i].longitude);
                onTheSphere += Haversine(previous->latitude, previous->longitude, route[i].latitude,
                                         route[i].longitude);
            }
            previous = &route[i];
        }
        ASSERT_GT(std::abs(onTheSphere - expected), 1e-5 * expected);  // the test can tell
        const DriveReport report = Report(log.Bytes());
        ASSERT_TRUE(report.file.distanceMetres.has_value());
        EXPECT_NEAR(*report.file.distanceMetres, expected, 1e-6 * expected);
        ASSERT_EQ(report.scans.size(), 1u);
        ASSERT_TRUE(report.scans[0].drive.distanceMetres.has_value());
        EXPECT_NEAR(*report.scans[0].drive.distanceMetres, expected, 1e-6 * expected);
    }
}

TEST_F(ReportTest, ScanSelectionAndLevels) {
    sim::SteadyDriveOptions drive;
    drive.seconds = 60;
    ReportRequest request;
    request.scans = {2};
    EXPECT_TRUE(Report(sim::SteadyDriveLog(drive), request).scans.empty());
    const DriveReport all = Report(sim::SteadyDriveLog(drive));
    ASSERT_EQ(all.scans.size(), 1u);
    const LevelFigures& levels = all.scans[0].channels.at(0).levels;
    EXPECT_EQ(levels.minimum, -89);  // the ramp runs from -60 down to -89
    EXPECT_EQ(levels.maximum, -60);
    EXPECT_GE(levels.median, -76);
    EXPECT_LE(levels.median, -73);
}

// Standing still in the report: the stops' samples are left out, their time and number are
// told per scan, and the samples' rate is that of the time the vehicle moved.
TEST_F(ReportTest, StandingStillLeavesOutTheStopsSamplesAndTellsTheirTime) {
    sim::LogBuilder log;
    log.Config(1, test::kBand800, test::kBand800).ScanList32(68000, 0);
    const int samples[4] = {-70, -71, -72, -73};
    // Fixes one second apart: 10 s driving north at 10 m/s, 40 s standing, 10 s driving on.
    double metres = 0.0;
    for (int second = 0; second <= 60; ++second) {
        if (second <= 10 || second > 50) metres += 10.0;
        sim::GpsFix fix;
        fix.minutes = second / 60;
        fix.seconds = second % 60;
        fix.latitudeMas = static_cast<std::int32_t>((51.0 + metres / 111257.0) * 3600000.0);
        log.Gps(fix).Samples(1, samples);
    }
    ReportRequest request;
    const DriveReport plain = Report(log.Bytes(), request);
    request.standStill = StandStillRule{3.0, DistanceUnit::Metres, 30};
    const DriveReport standing = Report(log.Bytes(), request);
    ASSERT_EQ(plain.scans.size(), 1u);
    ASSERT_EQ(standing.scans.size(), 1u);
    EXPECT_FALSE(plain.scans[0].drive.standing);
    const ScanReport& scan = standing.scans[0];
    ASSERT_TRUE(scan.drive.standing);
    // The stop: fixes of seconds 10 to 50; the records after them up to second 51's fix go.
    EXPECT_EQ(scan.drive.standing->stops, 1);
    EXPECT_DOUBLE_EQ(scan.drive.standing->seconds, 40.0);
    ASSERT_TRUE(standing.file.standing);
    EXPECT_DOUBLE_EQ(standing.file.standing->seconds, 40.0);
    ASSERT_EQ(scan.channels.size(), 1u);
    ASSERT_EQ(plain.scans[0].channels.size(), 1u);
    EXPECT_EQ(plain.scans[0].channels[0].samples, 61 * 4);
    EXPECT_EQ(scan.channels[0].samples, (61 - 41) * 4);
    EXPECT_DOUBLE_EQ(plain.scans[0].channels[0].samplesPerSecond, 61 * 4 / 60.0);
    EXPECT_DOUBLE_EQ(scan.channels[0].samplesPerSecond, 20 * 4 / 20.0);
    EXPECT_NE(ReportText(standing).find("  Standing still 0:00:40 (66.7 %), 1 stop\n"),
              std::string::npos)
        << ReportText(standing);
}

TEST(ReportFormatTest, WrappedLinesFitTheTerminal) {
    const std::string lines[] = {
        "short",
        std::string(200, 'x'),
        "873.075 MHz: window 13.7 m; 31 samples/s give 36 samples a window up to 42.6 km/h; "
        "median speed 38 km/h: meets in 81 % of windows",
    };
    for (const std::string& line : lines) {
        const std::string wrapped = WrapLine(line, 80, 4);
        std::size_t begin = 0;
        std::string joined;
        while (begin < wrapped.size()) {
            const std::size_t end = wrapped.find('\n', begin);
            const std::string part = wrapped.substr(begin, end - begin);
            if (part.find(' ') != std::string::npos || line.size() <= 80) {
                EXPECT_LE(part.size(), 80u);
            }
            joined += (joined.empty() ? "" : " ") + part.substr(part.find_first_not_of(' '));
            begin = end + 1;
        }
        EXPECT_EQ(joined, line);
    }
}

TEST_F(ReportTest, TextFitsEightyColumnsAndCarriesTheLeeSentence) {
    sim::SteadyDriveOptions drive;
    drive.speedKmh = 38;
    drive.samplesPerSecond = 31;
    const DriveReport report = Report(sim::SteadyDriveLog(drive));
    const std::string text = ReportText(report);
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find('\n', begin);
        EXPECT_LE(end - begin, kReportColumns) << text.substr(begin, end - begin);
        begin = end + 1;
    }
    // 18600 samples in 599 s: 31.05 samples/s.
    EXPECT_EQ(LeeSentence(report.scans.at(0).channels.at(0), 38.0),
              "873.075 MHz: window 13.7 m; 31 samples/s give 36 samples a window up to 42.7 "
              "km/h; median speed 38 km/h: meets");
    EXPECT_NE(ReportJson(report).find("\"schema_version\":2"), std::string::npos);
}

}  // namespace
}  // namespace varistrum
