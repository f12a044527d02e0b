// SPDX-License-Identifier: GPL-3.0-or-later
// Coverage by area (`make bench`): the command line's bins of a simulated drive of 10^6 samples
// into 25 m cells, beside its text conversion of the same log; the binning of those samples
// alone; the cells' memory; then the raster, the GeoPackage and the comparison of the drive
// with itself 6 dB stronger.
//
// usage: varistrum_bins_bench SIM CLI WORK_DIR RUNS
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/run_statistics.h"
#include "bins/bin_comparison.h"
#include "bins/bin_statistic.h"
#include "bins/binning.h"
#include "bins/coverage_geopackage.h"
#include "bins/coverage_raster.h"

namespace {

using namespace varistrum;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kSamples = 1'000'000;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

bool Run(const std::vector<std::string>& arguments) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

// The samples of the text output: each frequency, channel and level of a row with a position.
std::vector<BinSample> ReadSamples(const std::string& text) {
    std::ifstream in(text);
    std::vector<BinSample> samples;
    samples.reserve(kSamples);
    std::string line;
    while (std::getline(in, line) && samples.size() < kSamples) {
        if (line.empty() || line[0] == '"') continue;
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos;
             start = comma + 1)
            fields.push_back(line.substr(start, comma - start));
        fields.push_back(line.substr(start));
        BinSample s;
        s.latitude = std::strtod(fields[0].c_str(), nullptr);
        s.longitude = std::strtod(fields[1].c_str(), nullptr);
        if (s.latitude == 0.0 && s.longitude == 0.0) continue;
        const int hours = std::atoi(fields[2].c_str()), minutes = std::atoi(fields[2].c_str() + 3),
                  seconds = std::atoi(fields[2].c_str() + 6);
        s.time = 1781530000 + hours * 3600 + minutes * 60 + seconds;
        s.timeKnown = s.timeIsGps = true;
        for (std::size_t i = 3; i + 2 < fields.size() && samples.size() < kSamples; i += 3) {
            s.frequencyMHz = std::strtod(fields[i].c_str(), nullptr);
            s.channel = std::atoi(fields[i + 1].c_str());
            s.levelDbm = std::atoi(fields[i + 2].c_str());
            samples.push_back(s);
        }
    }
    return samples;
}

Binning Bin(const std::vector<BinSample>& samples, BinOptions options, int shift = 0) {
    Binner binner(options);
    for (BinSample s : samples) {
        if (s.levelDbm != kBinNoLevel) s.levelDbm += shift;
        binner.Add(s);
    }
    auto binning = binner.Finish();
    if (!binning) {
        std::fprintf(stderr, "binning failed: %s\n", binner.Error().c_str());
        std::exit(1);
    }
    return std::move(*binning);
}

// 10^6 samples along a 500 km route (ten channels every 5 m): far more cells than the
// simulated drive, which circles a small town.
std::vector<BinSample> LongRoute() {
    std::vector<BinSample> samples;
    samples.reserve(kSamples);
    double latitude = 50.0, longitude = 8.0, heading = 0.3;
    std::uint64_t random = 1;
    const auto next = [&random] {
        random = random * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(random >> 11) / 9007199254740992.0;
    };
    for (std::size_t i = 0; samples.size() < kSamples; ++i) {
        heading += (next() - 0.5) * 0.2;
        latitude += 5.0 * std::cos(heading) / 111000.0;
        longitude += 5.0 * std::sin(heading) / 71000.0;
        for (int channel = 1; channel <= 10; ++channel) {
            BinSample s;
            s.latitude = latitude;
            s.longitude = longitude;
            s.channel = channel;
            s.frequencyMHz = 850.0 + channel * 0.2;
            s.levelDbm = static_cast<int>(-60 - 4 * channel - 20 * next());
            s.time = static_cast<std::int64_t>(1781530000 + i);
            s.timeKnown = s.timeIsGps = true;
            samples.push_back(s);
        }
    }
    return samples;
}

// In a child: bins a drive that fills the whole budget, writes its raster and GeoPackage, and
// reports the peak memory above the child's start.
void PeakMemory(const std::string& work) {
    const pid_t pid = fork();
    if (pid == 0) {
        rusage start{};
        getrusage(RUSAGE_SELF, &start);
        // Random places in a 30 km square, 5 m cells: nearly every sample a new cell, until
        // the binning holds nearly as many as it may.
        BinOptions options;
        options.cellMetres = 5.0;
        Binner fine(options);
        std::uint64_t random = 7;
        BinSample s;
        s.frequencyMHz = 851.0;
        s.timeKnown = true;
        for (std::int64_t added = 0;
             fine.MemoryBytes() + static_cast<std::size_t>(added) * kCellWritingBytes <
             kDefaultBinningBudget - (1 << 20);
             ++added) {
            random = random * 6364136223846793005ull + 1442695040888963407ull;
            s.latitude = 50.0 + static_cast<double>(random >> 40) / 16777216.0 * 0.27;
            s.longitude = 8.0 + static_cast<double>((random >> 16) & 0xFFFFFF) / 16777216.0 * 0.42;
            s.channel = 1 + static_cast<int>(random & 3);
            s.levelDbm = -60 - static_cast<int>(random % 50);
            s.time = 1781530000 + added;
            if (!fine.Add(s)) break;
        }
        auto bins = fine.Finish();
        if (!bins) {
            std::printf("bins: %s\n", fine.Error().c_str());
            _exit(1);
        }
        std::string error;
        CoverageRasterRequest request;
        request.statistics.assign(kAllBinStatistics.begin(), kAllBinStatistics.end());
        rusage binned{};
        getrusage(RUSAGE_SELF, &binned);
        const auto begin = Clock::now();
        const bool raster = WriteCoverageRaster(work + "/bins-peak.tif", *bins, request, &error);
        const double rasterSeconds = Seconds(begin);
        const bool layer = WriteCoverageGeoPackage(work + "/bins-peak.gpkg", *bins, {}, &error);
        const double layerSeconds = Seconds(begin) - rasterSeconds;
        rusage end{};
        getrusage(RUSAGE_SELF, &end);
        std::printf(
            "bins: a full binning, %zu cells and channels of 5 m (%.1f MB kept, peak %.1f MB above "
            "the start), COG of 7 statistics %s in %.1f s, GeoPackage %s in %.1f s: peak memory "
            "%.1f MB above the "
            "start (target < 56 MB, leaving 8 MB to the conversion: %s)\n",
            bins->CellChannelCount(), bins->MemoryBytes() / 1048576.0,
            (binned.ru_maxrss - start.ru_maxrss) / 1024.0, raster ? "written" : "FAILED",
            rasterSeconds, layer ? "written" : "FAILED", layerSeconds,
            (end.ru_maxrss - start.ru_maxrss) / 1024.0,
            bench::Verdict(end.ru_maxrss - start.ru_maxrss < 56 * 1024));
        if (!error.empty()) std::printf("bins: %s\n", error.c_str());
        for (const char* suffix : {".tif", ".qml", ".gpkg"})
            std::remove((work + "/bins-peak" + suffix).c_str());
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: varistrum_bins_bench SIM CLI WORK_DIR RUNS\n");
        return 2;
    }
    const std::string sim = argv[1], cli = argv[2], work = argv[3];
    const int runs = std::max(1, std::atoi(argv[4]));
    const std::string log = work + "/bins-bench.klf", text = work + "/bins-bench.txt";
    if (!Run({sim, "--seed", "7", "--out", log, "--scenario", "list", "--duration", "7200"})) {
        std::fprintf(stderr, "the simulator failed\n");
        return 1;
    }
    std::vector<double> convert;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        if (!Run({cli, "convert", log, "-o", text, "-q", "--tags", "5,11,18,0", "--columns",
                  "frequency,channel,rssi"}))
            return 1;
        convert.push_back(Seconds(start));
    }
    // The whole job: the log read, its rows binned, the raster and its style written.
    std::vector<double> command;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        if (!Run({cli, "bins", log, "-o", work + "/bins-bench-cli.tif", "-q"})) return 1;
        command.push_back(Seconds(start));
    }
    std::printf(
        "bins: varistrum-cli bins of the log (25 m cells, COG and style) %.3f s %s (target < 2 "
        "s: %s), beside its text conversion %.3f s\n",
        bench::Median(command), bench::Range(command).c_str(),
        bench::Verdict(bench::Median(command) < 2.0), bench::Median(convert));
    const std::vector<BinSample> samples = ReadSamples(text);
    std::vector<double> binning;
    std::size_t cells = 0, cellChannels = 0, bytes = 0, wide = 0;
    long growthKb = 0;
    for (int run = 0; run < runs; ++run) {
        const long before = ResidentKb();
        const auto start = Clock::now();
        const Binning bins = Bin(samples, {});
        binning.push_back(Seconds(start));
        growthKb = std::max(growthKb, ResidentKb() - before);
        cells = bins.CellCount();
        cellChannels = bins.CellChannelCount();
        bytes = bins.MemoryBytes();
        wide = bins.WideHistogramCount();
    }
    std::printf("bins: text conversion of the log %.3f s %s\n", bench::Median(convert),
                bench::Range(convert).c_str());
    std::printf(
        "bins: %zu samples into 25 m cells %.3f s %s (target < 2 s: %s); %zu cells, %zu cells "
        "and channels, %zu wide histograms; %.1f MB kept (%.0f bytes a cell and channel), "
        "resident memory +%.1f MB\n",
        samples.size(), bench::Median(binning), bench::Range(binning).c_str(),
        bench::Verdict(bench::Median(binning) < 2.0), cells, cellChannels, wide, bytes / 1048576.0,
        cellChannels ? static_cast<double>(bytes) / static_cast<double>(cellChannels) : 0.0,
        growthKb / 1024.0);

    const std::vector<BinSample> route = LongRoute();
    std::vector<double> long_;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        const Binning bins = Bin(route, {});
        long_.push_back(Seconds(start));
        cells = bins.CellCount();
        cellChannels = bins.CellChannelCount();
        bytes = bins.MemoryBytes();
    }
    std::printf(
        "bins: %zu samples of a 500 km route into 25 m cells %.3f s %s (target < 2 s: %s); %zu "
        "cells, %zu cells and channels, %.1f MB kept\n",
        route.size(), bench::Median(long_), bench::Range(long_).c_str(),
        bench::Verdict(bench::Median(long_) < 2.0), cells, cellChannels, bytes / 1048576.0);

    const Binning bins = Bin(samples, {});
    std::string error;
    auto start = Clock::now();
    CoverageRasterRequest request;
    request.statistics = {BinStatistic::LinearMean, BinStatistic::Count, BinStatistic::Median};
    if (!WriteCoverageRaster(work + "/bins-bench.tif", bins, request, &error))
        std::fprintf(stderr, "raster: %s\n", error.c_str());
    const double raster = Seconds(start);
    start = Clock::now();
    if (!WriteCoverageGeoPackage(work + "/bins-bench.gpkg", bins, {}, &error))
        std::fprintf(stderr, "GeoPackage: %s\n", error.c_str());
    const double layer = Seconds(start);
    std::printf("bins: COG of 3 statistics %.3f s, GeoPackage %.3f s (strongest channel)\n", raster,
                layer);

    BinOptions half;
    half.memoryBudgetBytes = kComparisonBinningBudget;
    start = Clock::now();
    const Binning a = Bin(samples, half);
    half.zone = a.Grid().zone;
    const Binning b = Bin(samples, half, 6);
    const auto comparison = BinComparison::Make(a, b, {}, &error);
    const double compare = Seconds(start);
    if (comparison)
        std::printf("bins: drive against itself 6 dB stronger %.3f s: %s\n", compare,
                    comparison->Text().substr(comparison->Text().find("mean")).c_str());
    for (const char* suffix : {".tif", ".qml", ".gpkg", ".txt", "-cli.tif", "-cli.qml"})
        std::remove((work + "/bins-bench" + suffix).c_str());
    std::fflush(stdout);
    PeakMemory(work);
    return 0;
}
