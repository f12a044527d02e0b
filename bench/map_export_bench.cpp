// SPDX-License-Identifier: GPL-3.0-or-later
// The map layer exports of one log beside its text conversion, for `make bench`: features a
// second and peak memory of `varistrum-cli convert --format ...` for every format, and GDAL's
// own floor: ogr2ogr copying the exported FlatGeobuf into a new GeoPackage (the same features,
// the same spatial index). Medians of alternating runs; each program is timed as a whole
// process, its peak memory is its largest resident set.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "run_statistics.h"

namespace {

using varistrum::bench::Median;
using varistrum::bench::Range;
using varistrum::bench::Verdict;

namespace fs = std::filesystem;

struct Run {
    double seconds = 0;
    long peakKb = 0;
};

// Runs the program to its end, its output into `out` (or nowhere); exits on a failure.
Run RunTimed(const std::vector<std::string>& argv, const std::string& out = "/dev/null") {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        if (!freopen(out.c_str(), "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(126);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n", argv[0].c_str());
        std::exit(1);
    }
    return {seconds, usage.ru_maxrss};
}

// "Feature Count: N" of a layer, as ogrinfo reports it.
long long FeatureCount(const fs::path& file, const std::string& layer) {
    const fs::path report = file.string() + ".info";
    RunTimed({"ogrinfo", "-ro", "-so", file.string(), layer}, report.string());
    std::ifstream in(report);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Feature Count: ", 0) == 0) return std::stoll(line.substr(15));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s VARISTRUM-CLI VARISTRUM-SIM WORK-DIR MB [RUNS]\n", argv[0]);
        return 2;
    }
    const std::string cli = argv[1], sim = argv[2];
    const fs::path work = argv[3];
    const std::string mb = argv[4];
    const int runs = argc > 5 ? std::atoi(argv[5]) : 3;
    fs::create_directories(work);
    const fs::path log = work / ("map-" + mb + "mb.klf");
    if (!fs::exists(log))
        RunTimed(
            {sim, "--seed", "7", "--scenario", "mixed", "--size-mb", mb, "--out", log.string()});

    struct Subject {
        std::string name;
        std::vector<std::string> argv;
        fs::path output;
        std::vector<double> seconds;
        long peakKb = 0;
    };
    const auto convert = [&](const std::string& format, const std::string& extension) {
        const fs::path output = work / ("map-bench" + extension);
        return Subject{
            format,
            {cli, "convert", "-q", log.string(), "--format", format, "-o", output.string()},
            output,
            {},
            0};
    };
    std::vector<Subject> subjects = {convert("text", ".out"), convert("gpkg", ".gpkg"),
                                     convert("geojson", ".geojson"), convert("fgb", ".fgb"),
                                     convert("kml", ".kml")};
    const fs::path fgb = work / "map-bench.fgb", copy = work / "map-copy.gpkg";
    subjects.push_back({"ogr2ogr fgb->gpkg",
                        {"ogr2ogr", "-f", "GPKG", "-overwrite", copy.string(), fgb.string()},
                        copy,
                        {},
                        0});
    for (int run = 0; run < runs; ++run) {
        for (Subject& s : subjects) {
            if (s.name.rfind("ogr2ogr", 0) == 0) fs::remove(copy);
            const Run r = RunTimed(s.argv);
            s.seconds.push_back(r.seconds);
            s.peakKb = std::max(s.peakKb, r.peakKb);
        }
    }
    const long long features = FeatureCount(work / "map-bench.gpkg", "samples");
    std::printf("map layer export of %s (%s MiB, %lld features of the samples layer)\n",
                log.c_str(), mb.c_str(), features);
    std::map<std::string, double> medians;
    for (const Subject& s : subjects) {
        const double median = Median(s.seconds);
        medians[s.name] = median;
        std::printf("  %-18s %8.3f s %s  %10.0f features/s  peak %6.1f MB\n", s.name.c_str(),
                    median, Range(s.seconds).c_str(), features / median, s.peakKb / 1024.0);
    }
    const double ratio = medians["gpkg"] / medians["ogr2ogr fgb->gpkg"];
    std::printf("  GeoPackage export / ogr2ogr copy: %.2f (target <= 1.2: %s)\n", ratio,
                Verdict(ratio <= 1.2));
    return 0;
}
