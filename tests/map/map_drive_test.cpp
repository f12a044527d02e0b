// SPDX-License-Identifier: GPL-3.0-or-later
// The map of simulated drives: the collecting pass against the samples layer of the same
// settings (the GIS export's content), the picture's colours and the scan selection.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "averaging/averaging_engine.h"
#include "geodata/sample_layer_sink.h"
#include "map/map_collection.h"
#include "mapdraw/map_renderer.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"

namespace varistrum {
namespace {

struct Kept {
    std::int64_t row;
    int scan, channel, samples;
    double mhz, dbm, longitude, latitude;
};

class KeepingConsumer : public SampleLayerConsumer {
  public:
    void AcceptPoint(const SamplePoint& p) override {
        points.push_back({p.row, p.scan, p.channel, p.samples, p.frequencyMHz, p.rssiDbm,
                          p.longitude, p.latitude});
    }
    std::vector<Kept> points;
};

ConversionSettings DataSettings(int averageType) {
    ConversionSettings settings = test::FieldSettings({5, 11, 18, 0});
    settings.averageType = averageType;
    settings.convertAllScans = true;
    settings.columns = {true, true, true};
    return settings;
}

// The samples layer of the same settings, as the GIS export receives it.
std::vector<Kept> SamplesLayer(const std::string& input, const ConversionSettings& settings) {
    KeepingConsumer consumer;
    SampleLayerSink sink(consumer);
    RowSink* const extra[] = {&sink};
    TavrelReader reader;
    test::RecordingObserver observer;
    test::TempDir dir;
    EXPECT_EQ(
        ConvertFile(reader, input, dir.File("rows.txt"), settings, observer, {}, extra).outcome,
        JobOutcome::Completed);
    return consumer.points;
}

MapData Collect(const std::string& input, const ConversionSettings& settings) {
    MapData data;
    TavrelReader reader;
    test::RecordingObserver observer;
    const MapCollection collection = CollectMap(reader, input, settings, observer, {}, data);
    EXPECT_EQ(collection.outcome.outcome, JobOutcome::Completed);
    return data;
}

// The strongest point of each row, the first of equal ones.
std::vector<Kept> StrongestOfRows(const std::vector<Kept>& points) {
    std::vector<Kept> best;
    for (const Kept& p : points) {
        if (!best.empty() && best.back().row == p.row && best.back().scan == p.scan) {
            if (p.dbm > best.back().dbm) best.back() = p;
        } else {
            best.push_back(p);
        }
    }
    return best;
}

void ExpectSameStatistics(const LevelCounts& counts, const std::vector<Kept>& points) {
    ASSERT_FALSE(points.empty());
    const LevelRamp ramp;
    const LevelSummary summary = Summarise(counts, ramp);
    std::vector<double> levels;
    std::int64_t samples = 0;
    for (const Kept& p : points) {
        levels.push_back(p.dbm);
        samples += p.samples;
    }
    std::sort(levels.begin(), levels.end());
    const auto n = static_cast<std::int64_t>(levels.size());
    EXPECT_EQ(summary.points, n);
    EXPECT_EQ(summary.samples, samples);
    for (const int p : {10, 50, 90}) {
        const double expected =
            levels[static_cast<std::size_t>(std::max<std::int64_t>(1, (p * n + 99) / 100) - 1)];
        EXPECT_EQ(NearestRankPercentile(counts, p), DeciDbm(expected)) << "P" << p;
    }
    std::map<int, std::int64_t> bins;
    for (const double level : levels) ++bins[static_cast<int>(std::floor(level))];
    for (const auto& [bin, count] : bins)
        EXPECT_EQ(summary.bins[static_cast<std::size_t>(bin - summary.firstBinDbm)], count) << bin;
    EXPECT_EQ(summary.cumulative.back(), n);
}

struct Case {
    sim::Scenario scenario;
    int averageType;
};
const Case kCases[] = {
    {sim::Scenario::SingleGps, kAverageNone}, {sim::Scenario::SingleGps, kAverageLambda},
    {sim::Scenario::List, kAverageNone},      {sim::Scenario::List, kAverageBestServer},
    {sim::Scenario::Table, kAverageNone},     {sim::Scenario::Mixed, kAverageNone},
};

TEST(MapOfADrive, StatisticsEqualThoseOfTheSamplesLayer) {
    test::TempDir dir;
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(sim::ScenarioName(c.scenario)) + " average " +
                     std::to_string(c.averageType));
        const std::string input = dir.File("drive.klf");
        test::WriteFile(input, sim::SimulateLog(c.scenario, 8, 11, 240));
        const ConversionSettings settings = DataSettings(c.averageType);
        const std::vector<Kept> layer = SamplesLayer(input, settings);
        const MapData data = Collect(input, settings);
        std::map<std::pair<int, double>, std::vector<Kept>> byChannel;
        for (const Kept& p : layer) byChannel[{p.channel, p.mhz}].push_back(p);
        EXPECT_EQ(data.channels.Size(), byChannel.size() + 1);
        for (const auto& [key, points] : byChannel) {
            SCOPED_TRACE("channel " + std::to_string(key.first));
            MapChannels channels = data.channels;
            ExpectSameStatistics(data.LevelsOf(channels.IdOf(key.first, key.second)), points);
        }
        SCOPED_TRACE("strongest");
        ExpectSameStatistics(data.LevelsOf(MapChannels::kStrongest), StrongestOfRows(layer));
    }
}

RgbColour ColourOfPixel(QRgb pixel) {
    return {static_cast<std::uint8_t>(qRed(pixel)), static_cast<std::uint8_t>(qGreen(pixel)),
            static_cast<std::uint8_t>(qBlue(pixel))};
}

// Checks the pixel of each point where no point of another colour lies within two pixels (a
// neighbour's square may cover it, and the picture rounds positions of under a centimetre
// differently from the test); the number of points checked.
int CheckPixels(const QImage& image, const MapViewport& view, const std::vector<Kept>& points) {
    std::map<std::pair<int, int>, std::vector<const Kept*>> near;
    const auto pixelOf = [&](const Kept& p) {
        const ScreenPoint s = view.ToScreen(ProjectToWorld(p.longitude, p.latitude));
        return std::make_pair(static_cast<int>(std::floor(s.x)), static_cast<int>(std::floor(s.y)));
    };
    for (const Kept& p : points) near[pixelOf(p)].push_back(&p);
    const auto alone = [&](const Kept& p, std::pair<int, int> at) {
        for (int dy = -2; dy <= 2; ++dy) {
            for (int dx = -2; dx <= 2; ++dx) {
                const auto found = near.find({at.first + dx, at.second + dy});
                if (found == near.end()) continue;
                for (const Kept* q : found->second)
                    if (LevelRamp().BandOf(q->dbm) != LevelRamp().BandOf(p.dbm)) return false;
            }
        }
        return true;
    };
    const int width = image.width(), height = image.height();
    int checked = 0;
    for (const Kept& p : points) {
        const auto at = pixelOf(p);
        if (at.first < 0 || at.second < 0 || at.first >= width || at.second >= height) continue;
        // The legend (top right) and the scale bar (bottom left) lie over the map.
        if ((at.first > width - 260 && at.second < 200) ||
            (at.first < width / 4 + 40 && at.second > height - 40))
            continue;
        if (!alone(p, at)) continue;
        EXPECT_EQ(ColourOfPixel(image.pixel(at.first, at.second)), LevelRamp().ColourOf(p.dbm))
            << "row " << p.row << " level " << p.dbm;
        ++checked;
    }
    return checked;
}

TEST(MapOfADrive, PixelsAtKnownRowsTakeTheirRampColour) {
    test::TempDir dir;
    const QSize size(900, 700);
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(sim::ScenarioName(c.scenario)) + " average " +
                     std::to_string(c.averageType));
        const std::string input = dir.File("drive.klf");
        test::WriteFile(input, sim::SimulateLog(c.scenario, 8, 3, 180));
        const ConversionSettings settings = DataSettings(c.averageType);
        // Rows at one position (a table sweep's channels at one fix) show the last one drawn.
        std::map<std::pair<double, double>, Kept> lastAt;
        for (const Kept& p : StrongestOfRows(SamplesLayer(input, settings)))
            lastAt.insert_or_assign({p.longitude, p.latitude}, p);
        std::vector<Kept> strongest;
        for (const auto& [position, p] : lastAt) strongest.push_back(p);
        const MapData data = Collect(input, settings);
        const MapScene scene{&data, nullptr, MapChannels::kStrongest, LevelRamp()};
        // The whole drive, and zoomed in where the points of a dense drive stand apart.
        MapViewport view = FittedView(scene, size);
        const Kept& middle = strongest[strongest.size() / 2];
        const ScreenPoint anchor = view.ToScreen(ProjectToWorld(middle.longitude, middle.latitude));
        int checked = 0;
        for (const double zoom : {1.0, 4.0, 4.0}) {
            view.ZoomAbout(anchor, zoom);
            checked += CheckPixels(RenderMap(view, scene), view, strongest);
        }
        EXPECT_GT(checked, 15) << strongest.size() << " points";
    }
}

TEST(MapOfADrive, UncheckedScansAreAbsent) {
    test::TempDir dir;
    const std::string input = dir.File("mixed.klf");
    test::WriteFile(input, sim::SimulateLog(sim::Scenario::Mixed, 8, 5, 240));
    ConversionSettings settings = DataSettings(kAverageNone);
    const std::vector<Kept> all = SamplesLayer(input, settings);
    std::map<int, std::int64_t> perScan;
    for (const Kept& p : all) ++perScan[p.scan];
    ASSERT_GE(perScan.size(), 2u);
    const int chosen = std::next(perScan.begin())->first;
    std::vector<signed char> states(static_cast<std::size_t>(perScan.rbegin()->first) + 1, 0);
    states[static_cast<std::size_t>(chosen)] = 1;
    settings.convertAllScans = false;
    settings.scans = ScanSelectionSnapshot(states);
    const MapData data = Collect(input, settings);
    ASSERT_EQ(data.scans.size(), 1u);
    EXPECT_EQ(data.scans[0].number, chosen);
    std::int64_t points = 0;
    for (std::uint16_t id = 1; id < data.channels.Size(); ++id)
        points += data.LevelsOf(id).Points();
    EXPECT_EQ(points, perScan[chosen]);
    for (const MapRoute& route : data.routes) EXPECT_EQ(route.scan, 0);
}

}  // namespace
}  // namespace varistrum
