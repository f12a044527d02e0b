// SPDX-License-Identifier: GPL-3.0-or-later
// The map's data: projection, view, time codes, channels, strongest channel, statistics and
// the bounded point store.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "map/level_statistics.h"
#include "map/map_collector.h"
#include "map/map_query.h"
#include "map/time_code.h"
#include "map/web_mercator.h"

namespace varistrum {
namespace {

TEST(WebMercator, KnownPositionsAndRoundTrip) {
    struct Case {
        double longitude, latitude, x, y;
    } const cases[] = {
        {0.0, 0.0, 0.5, 0.5},
        {-180.0, 85.0511287798066, 0.0, 0.0},
        {180.0, -85.0511287798066, 1.0, 1.0},
        {90.0, 0.0, 0.75, 0.5},
    };
    for (const Case& c : cases) {
        const WorldPoint p = ProjectToWorld(c.longitude, c.latitude);
        EXPECT_NEAR(p.x, c.x, 1e-12) << c.longitude;
        EXPECT_NEAR(p.y, c.y, 1e-12) << c.latitude;
    }
    for (const double latitude : {-60.0, -33.9, 0.1, 48.85, 52.52, 70.0}) {
        const GeoPosition back = UnprojectWorld(ProjectToWorld(13.4, latitude));
        EXPECT_NEAR(back.latitude, latitude, 1e-9);
        EXPECT_NEAR(back.longitude, 13.4, 1e-9);
    }
    // Mercator stretches: one world unit is half as many metres at 60 degrees.
    EXPECT_NEAR(MetresPerWorldUnit(60.0), MetresPerWorldUnit(0.0) / 2.0, 1e-6);
}

TEST(MapViewport, ZoomAndPanKeepThePointUnderTheCursor) {
    MapViewport view(800, 600);
    view.Fit(ProjectToWorld(13.30, 52.55), ProjectToWorld(13.50, 52.45));
    struct Case {
        double x, y, factor;
    } const cases[] = {{400, 300, 2.0}, {10, 590, 1.25}, {799, 0, 0.5}, {123, 456, 8.0}};
    for (const Case& c : cases) {
        const WorldPoint before = view.ToWorld({c.x, c.y});
        view.ZoomAbout({c.x, c.y}, c.factor);
        const ScreenPoint after = view.ToScreen(before);
        EXPECT_NEAR(after.x, c.x, 1e-6) << c.factor;
        EXPECT_NEAR(after.y, c.y, 1e-6) << c.factor;
        // A drag moves the world point with the cursor.
        view.Pan(37.0, -12.5);
        const ScreenPoint dragged = view.ToScreen(before);
        EXPECT_NEAR(dragged.x, c.x + 37.0, 1e-6);
        EXPECT_NEAR(dragged.y, c.y - 12.5, 1e-6);
        view.Pan(-37.0, 12.5);
    }
}

TEST(MapViewport, FitShowsTheWholeBoxCentred) {
    MapViewport view(640, 480);
    const WorldPoint a = ProjectToWorld(-0.2, 51.6), b = ProjectToWorld(0.1, 51.4);
    view.Fit(a, b, 20);
    for (const WorldPoint corner : {a, b}) {
        const ScreenPoint s = view.ToScreen(corner);
        EXPECT_GE(s.x, 19.999);
        EXPECT_LE(s.x, 620.001);
        EXPECT_GE(s.y, 19.999);
        EXPECT_LE(s.y, 460.001);
    }
    const ScreenPoint centre = view.ToScreen({(a.x + b.x) / 2, (a.y + b.y) / 2});
    EXPECT_NEAR(centre.x, 320.0, 1e-6);
    EXPECT_NEAR(centre.y, 240.0, 1e-6);
}

TEST(TimeCode, RoundTripsTheTimesOfTheLayer) {
    for (const char* text : {"2024-05-17T08:15:42Z", "2024-05-17T08:15:42.250Z",
                             "1999-12-31T23:59:59", "2079-01-02T03:04:05.5", ""}) {
        EXPECT_EQ(UnpackTime(PackTime(text)), text);
    }
    for (const char* bad : {"2024-05-17 08:15:42", "2024-05-17T08:15:42.1234", "2024-5-17T08:15:42",
                            "2024-05-17T08:15:42ZZ", "2024-05-17T08:15:42."}) {
        EXPECT_EQ(PackTime(bad), 0u) << bad;
    }
}

SamplePoint Point(std::int64_t row, int channel, double dbm, double longitude = 13.4,
                  double latitude = 52.5) {
    SamplePoint p;
    p.row = row;
    p.scan = 1;
    p.scanKind = ScanKind::List;
    p.channel = channel;
    p.frequencyMHz = 800.0 + channel * 0.0125;
    p.rssiDbm = dbm;
    p.longitude = longitude;
    p.latitude = latitude;
    p.time = "2024-05-17T08:15:42Z";
    return p;
}

TEST(MapCollector, StrongestChannelIsTheBestLevelOfEachRow) {
    MapData data;
    {
        MapCollector collector(data);
        collector.BeginScan(1, ScanKind::List);
        // Row 1: channel 7 is best; row 2: channel 3 (a tie goes to the first); row 3 alone.
        const SamplePoint points[] = {Point(1, 3, -95), Point(1, 7, -71.5), Point(1, 9, -80),
                                      Point(2, 3, -60), Point(2, 7, -60),   Point(3, 9, -101)};
        for (const SamplePoint& p : points) collector.AcceptPoint(p);
    }
    const ChannelPoints& strongest = data.points.Group(MapChannels::kStrongest);
    ASSERT_EQ(strongest.Size(), 3u);
    const std::pair<int, std::int16_t> expected[] = {{7, -7150}, {3, -6000}, {9, -10100}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(data.channels.Entry(strongest.channel[i]).channel, expected[i].first) << i;
        EXPECT_EQ(strongest.levelCentiDbm[i], expected[i].second) << i;
    }
    EXPECT_EQ(data.channels.Size(), 4u);  // the strongest and three channels
    EXPECT_EQ(data.channels.Label(MapChannels::kStrongest), "Strongest channel");
    EXPECT_EQ(data.channels.Label(data.channels.IdOf(7, 800.0875)), "Channel 7 (800.0875 MHz)");
    EXPECT_EQ(data.LevelsOf(MapChannels::kStrongest).Points(), 3);
}

TEST(MapQuery, TooltipTellsScanTimeChannelFrequencyLevelAndSamples) {
    MapData data;
    {
        MapCollector collector(data);
        SamplePoint p = Point(4, 12, -87.25);
        p.scan = 5;
        p.samples = 3;
        collector.AcceptPoint(p);
    }
    const std::uint16_t channel = data.channels.IdOf(12, 800.15);
    MapViewport view(200, 200);
    view.Fit(data.Minimum(), data.Maximum());
    const auto hit = NearestPoint(data, channel, view, {101.0, 99.5}, 4.0);
    ASSERT_TRUE(hit.has_value());
    EXPECT_EQ(PointDescription(data, channel, *hit),
              "Scan 5\nTime 2024-05-17T08:15:42Z\nChannel 12\nFrequency 800.15 MHz\n"
              "Level -87.25 dBm\nSamples 3");
    EXPECT_FALSE(NearestPoint(data, channel, view, {150.0, 150.0}, 4.0).has_value());
    EXPECT_EQ(PositionText({13.404954, 52.520008}), "lat 52.520008, lon 13.404954");
}

// Nearest rank computed the plain way: sort, take rank ceil(p N / 100).
double SortedPercentile(std::vector<double> levels, int p) {
    std::sort(levels.begin(), levels.end());
    const auto n = static_cast<std::int64_t>(levels.size());
    const std::int64_t rank = std::max<std::int64_t>(1, (p * n + 99) / 100);
    return levels[static_cast<std::size_t>(rank - 1)];
}

TEST(LevelStatistics, HistogramPercentilesAndSharesEqualThoseOfThePoints) {
    struct Case {
        std::vector<double> levels;
    };
    std::mt19937 random(7);
    std::uniform_int_distribution<int> integer(-125, -40);
    std::vector<double> many, means;
    for (int i = 0; i < 5001; ++i) many.push_back(integer(random));
    for (int i = 0; i < 777; ++i) means.push_back(integer(random) + integer(random) / 97.0);
    const Case cases[] = {{{-90.0}}, {{-110.0, -100.0, -90.0, -80.0, -70.0}}, {many}, {means}};
    const LevelRamp ramp;
    for (const Case& c : cases) {
        LevelCounts counts;
        for (const double level : c.levels) counts.Add(DeciDbm(level), 2);
        const LevelSummary summary = Summarise(counts, ramp);
        const auto n = static_cast<std::int64_t>(c.levels.size());
        EXPECT_EQ(summary.points, n);
        EXPECT_EQ(summary.samples, 2 * n);
        EXPECT_EQ(summary.p10, DeciDbm(SortedPercentile(c.levels, 10)));
        EXPECT_EQ(summary.p50, DeciDbm(SortedPercentile(c.levels, 50)));
        EXPECT_EQ(summary.p90, DeciDbm(SortedPercentile(c.levels, 90)));
        for (std::size_t b = 0; b < summary.bins.size(); ++b) {
            const double low = summary.firstBinDbm + static_cast<double>(b);
            const auto inBin = std::count_if(c.levels.begin(), c.levels.end(),
                                             [&](double v) { return v >= low && v < low + 1.0; });
            EXPECT_EQ(summary.bins[b], inBin) << low;
        }
        EXPECT_EQ(summary.cumulative.back(), n);
        for (int b = 0; b < LevelRamp::kBounds; ++b) {
            const double bound = ramp.Thresholds()[static_cast<std::size_t>(b)];
            EXPECT_EQ(summary.atOrAbove[static_cast<std::size_t>(b)],
                      std::count_if(c.levels.begin(), c.levels.end(),
                                    [&](double v) { return v >= bound; }));
        }
    }
}

TEST(LevelStatistics, LevelsRoundDownAndOddValuesStayDefined) {
    struct Case {
        double dbm;
        std::int16_t centi, deci;
    } const cases[] = {
        {-80.0, -8000, -800},
        {-80.004, -8001, -801},
        {-79.996, -8000, -800},
        {-72.5, -7250, -725},
        {0.0, 0, 0},
        {5.55, 555, 55},
        {std::nan(""), -32000, -32000},
        {1e9, 32000, 32000},
        {-1e9, -32000, -32000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CentiDbm(c.dbm), c.centi) << c.dbm;
        EXPECT_EQ(DeciDbm(c.dbm), c.deci) << c.dbm;
    }
    MapChannels channels;
    EXPECT_EQ(channels.IdOf(5, std::nan("")), channels.IdOf(5, 0.0));
}

TEST(LevelStatistics, Texts) {
    LevelCounts counts;
    const std::pair<double, int> levels[] = {{-95, 1}, {-91, 1}, {-90, 1}, {-85, 1}, {-60, 3}};
    for (const auto& [level, samples] : levels) counts.Add(DeciDbm(level), samples);
    const LevelSummary summary = Summarise(counts, *LevelRamp::Parse("-110,-100,-90,-72.5,-70"));
    EXPECT_EQ(summary.CountLine(), "5 points, 7 samples");
    EXPECT_EQ(summary.PercentileLine(), "P10 -95.0, P50 -90.0, P90 -60.0 dBm");
    EXPECT_EQ(
        summary.ShareLines(),
        (std::vector<std::string>{"100.0 % at or above -110 dBm", "100.0 % at or above -100 dBm",
                                  "60.0 % at or above -90 dBm", "20.0 % at or above -72.5 dBm",
                                  "20.0 % at or above -70 dBm"}));
    EXPECT_EQ(Summarise(LevelCounts(), LevelRamp()).CountLine(), "0 points, 0 samples");
}

TEST(MapPointStore, StaysWithinItsCapacityAndKeepsTheExtent) {
    MapPointStore store(1000);
    // A drive back and forth along one street, 20,000 points.
    for (int i = 0; i < 20000; ++i) {
        const double along = (i % 400) / 400.0 * 0.01;
        StoredPoint p;
        p.position = ToFixed(ProjectToWorld(13.40 + along, 52.50));
        p.levelCentiDbm = static_cast<std::int16_t>(-9000 + i % 7);
        store.Add(static_cast<std::uint16_t>(1 + i % 2), p);
    }
    EXPECT_LE(store.Total(), 1000u);
    EXPECT_GT(store.Total(), 100u);
    EXPECT_GT(store.CellShift(), 0);
    EXPECT_EQ(store.Group(1).Size() + store.Group(2).Size(), store.Total());
    EXPECT_NEAR(store.Minimum().x, ProjectToWorld(13.40, 52.5).x, 1e-9);
    EXPECT_NEAR(store.Maximum().x, ProjectToWorld(13.40 + 399 / 400.0 * 0.01, 52.5).x, 1e-9);
    // Thinning keeps file order: the x of the first points along the street increase.
    const ChannelPoints& one = store.Group(1);
    EXPECT_TRUE(std::is_sorted(one.x.begin(), one.x.begin() + 5));
}

// The arrays of all channels never hold room for more points than the capacity, however the
// points spread over the channels; under the capacity nothing is thinned.
TEST(MapPointStore, ItsArraysStayWithinTheCapacity) {
    const struct {
        const char* name;
        int channels;
        int points;
        bool thinned;
    } cases[] = {
        {"under the capacity", 2, 4000, false},
        {"one channel", 1, 50000, true},
        {"a channel and the strongest", 2, 50000, true},
        {"thirty channels", 30, 50000, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MapPointStore store(5000);
        std::mt19937 random(7);
        std::uniform_real_distribution<double> where(0.0, 0.05);
        std::size_t reservedAtMost = 0;
        for (int i = 0; i < c.points; ++i) {
            StoredPoint p;
            p.position = ToFixed(ProjectToWorld(13.3 + where(random), 52.4 + where(random)));
            store.Add(static_cast<std::uint16_t>(i % c.channels), p);
            reservedAtMost = std::max(reservedAtMost, store.Reserved());
        }
        EXPECT_LE(reservedAtMost, 5000u);
        EXPECT_LE(store.Total(), 5000u);
        EXPECT_EQ(store.CellShift() > 0, c.thinned);
        if (!c.thinned) {
            EXPECT_EQ(store.Total(), static_cast<std::size_t>(c.points));
        }
        std::size_t total = 0;
        for (int g = 0; g < c.channels; ++g)
            total += store.Group(static_cast<std::uint16_t>(g)).Size();
        EXPECT_EQ(total, store.Total());
    }
    EXPECT_EQ(MapPointStore::kBytesPerPoint, 24u);
    EXPECT_EQ(MapPointStore::kDefaultCapacity * MapPointStore::kBytesPerPoint,
              MapPointStore::kDefaultBytes - MapPointStore::kDefaultBytes % 24);
}

// Routes beyond their capacity are thinned to coarser cells: each keeps its ends' cells and at
// least two points, and the map's box stays the routes' box.
TEST(MapCollector, RoutesStayWithinTheirCapacity) {
    MapData data;
    MapCollector collector(data, 1000);
    std::vector<GeoPosition> fixes;
    for (int scan = 1; scan <= 20; ++scan) {
        collector.BeginScan(scan, ScanKind::SingleFrequency);
        fixes.clear();
        // About 3 m between fixes along a street: every fix is a point of its own at first.
        for (int k = 0; k < 300; ++k)
            fixes.push_back({13.40 + scan * 0.01 + k * 0.00004, 52.50 + k * 0.00001});
        RouteLine route;
        route.scan = scan;
        route.points = fixes;
        collector.AcceptRoute(route);
    }
    collector.Finish();
    ASSERT_EQ(data.routes.size(), 20u);
    std::size_t points = 0;
    for (const MapRoute& route : data.routes) {
        EXPECT_GE(route.points.size(), 2u);
        points += route.points.size();
    }
    EXPECT_LE(points, 1000u);
    EXPECT_GT(points, 100u);
    EXPECT_NEAR(data.Minimum().x, ProjectToWorld(13.41, 52.5).x, 1e-6);
    EXPECT_NEAR(data.Maximum().x, ProjectToWorld(13.60 + 299 * 0.00004, 52.5).x, 1e-6);
}

}  // namespace
}  // namespace varistrum
