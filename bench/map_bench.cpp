// SPDX-License-Identifier: GPL-3.0-or-later
// The map's costs (`make bench`): the collecting pass beside the text conversion of the same
// log, and full redraws of 10^4, 10^5 and 10^6 points. Its peak memory is in the memory table.
//
// usage: varistrum_map_bench LOG WORK_DIR RUNS

#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "averaging/averaging_engine.h"
#include "bench/run_statistics.h"
#include "map/map_collection.h"
#include "mapdraw/map_renderer.h"

namespace {

using namespace varistrum;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

ConversionSettings BenchSettings() {
    ConversionSettings settings;
    settings.selectedTitles = {"Latitude (Decimal Degrees)", "Longitude (Decimal Degrees)",
                               "GPS Time", "<< DATA >>"};
    settings.selectedTags = {5, 11, 18, 0};
    settings.columns = {true, true, true};
    settings.convertAllScans = true;
    return settings;
}

void TimePasses(const std::string& log, const std::string& work, int runs) {
    std::vector<double> convert, collect;
    std::int64_t points = 0;
    for (int run = 0; run < runs; ++run) {
        TavrelReader reader;
        SilentObserver observer;
        auto start = Clock::now();
        ConvertFile(reader, log, work + "/map-bench.out", BenchSettings(), observer, {});
        convert.push_back(Seconds(start));
        MapData data;
        start = Clock::now();
        CollectMap(reader, log, BenchSettings(), observer, {}, data);
        collect.push_back(Seconds(start));
        points = static_cast<std::int64_t>(data.points.Total());
    }
    std::remove((work + "/map-bench.out").c_str());
    std::printf("map: text conversion %.3f s %s; collecting pass %.3f s %s (%lld points kept)\n",
                bench::Median(convert), bench::Range(convert).c_str(), bench::Median(collect),
                bench::Range(collect).c_str(), static_cast<long long>(points));
}

// Points along random streets of a 10 km town, one channel plus the strongest.
void TimeRedraws(int runs) {
    for (const int count : {10'000, 100'000, 1'000'000}) {
        MapData data;
        {
            MapCollector collector(data);
            std::mt19937 random(1);
            std::uniform_real_distribution<double> where(0.0, 0.1), level(-120.0, -50.0);
            SamplePoint point;
            point.scan = 1;
            point.scanKind = ScanKind::List;
            point.channel = 7;
            point.frequencyMHz = 851.0;
            for (int i = 0; i < count; ++i) {
                point.row = i + 1;
                point.longitude = 13.3 + where(random);
                point.latitude = 52.45 + where(random) * 0.6;
                point.rssiDbm = level(random);
                collector.AcceptPoint(point);
            }
        }
        const MapScene scene{&data, nullptr, MapChannels::kStrongest, LevelRamp()};
        MapViewport view = FittedView(scene, QSize(1600, 1000));
        QImage image(1600, 1000, QImage::Format_RGB32);
        std::vector<double> full, pan;
        for (int run = 0; run < runs * 4; ++run) {
            auto start = Clock::now();
            DrawMap(image, view, scene);
            full.push_back(Seconds(start));
            view.Pan(7.0, -3.0);
            start = Clock::now();
            DrawMap(image, view, scene);
            pan.push_back(Seconds(start));
        }
        const double median = bench::Median(full) * 1000.0;
        std::printf(
            "map: redraw of %d points at 1600x1000: %.1f ms, panned %.1f ms "
            "(target < 50 ms: %s)\n",
            count, median, bench::Median(pan) * 1000.0, bench::Verdict(median < 50.0));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: varistrum_map_bench LOG WORK_DIR RUNS\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const int runs = std::max(1, std::atoi(argv[3]));
    TimePasses(argv[1], argv[2], runs);
    TimeRedraws(runs);
    return 0;
}
