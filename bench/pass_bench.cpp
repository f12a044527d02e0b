// SPDX-License-Identifier: GPL-3.0-or-later
// The passes over one log side by side, each timed alone in this process: the index pass, the
// plain conversion, the 40-lambda conversion and the GPS outage pre-pass, as medians of
// alternating runs with their input rate and their time against the index pass.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "averaging/averaging_engine.h"
#include "convert/convert_job.h"
#include "convert/field_catalog.h"
#include "convert/gps_outage_pass.h"
#include "index/make_index.h"
#include "logfile/identify.h"
#include "run_statistics.h"

namespace {

using varistrum::bench::Median;

using namespace varistrum;
namespace fs = std::filesystem;

ConversionSettings Settings(int averageType) {
    ConversionSettings settings;
    for (int tag : {5, 11, 18, 32, 0}) {
        settings.selectedTags.push_back(tag);
        settings.selectedTitles.emplace_back(FieldName(tag));
    }
    settings.averageType = averageType;
    settings.convertAllScans = true;
    return settings;
}

struct Pass {
    const char* name;
    std::function<bool()> run;
    std::vector<double> seconds;
};

int Main(const fs::path& input, const fs::path& work, int runs) {
    fs::create_directories(work);
    const std::string output = (work / "pass-bench.out").string();
    TavrelReader reader;
    SilentIndexView view;
    SilentObserver observer;
    // The conversions convert what the index pass found, as the command line does.
    const int format = IdentifyLogFile(input.string());
    if (RunIndexPass(reader, format, input.string(), view, {}) != IndexOutcome::Indexed) {
        std::fprintf(stderr, "cannot read %s\n", input.c_str());
        return 1;
    }
    const ConversionSettings plain = Settings(kAverageNone), lambda = Settings(kAverageLambda);
    const auto convert = [&](const ConversionSettings& settings) {
        const bool done =
            ConvertFile(reader, input.string(), output, settings, observer, {}).outcome ==
            JobOutcome::Completed;
        fs::remove(output);
        return done;
    };
    std::vector<Pass> passes = {
        {"index pass",
         [&] {
             return RunIndexPass(reader, format, input.string(), view, {}) == IndexOutcome::Indexed;
         },
         {}},
        {"plain conversion", [&] { return convert(plain); }, {}},
        {"40-lambda conversion (dB)", [&] { return convert(lambda); }, {}},
        {"GPS outage pre-pass",
         [&] { return GpsOutagePass(reader, input.string(), 30, {}).end == LoopEnd::EndOfData; },
         {}},
    };
    for (int r = 0; r < runs; ++r) {
        // Every other run goes through the passes backwards, so no pass always follows another.
        for (std::size_t k = 0; k < passes.size(); ++k) {
            Pass& pass = passes[r % 2 == 0 ? k : passes.size() - 1 - k];
            const auto start = std::chrono::steady_clock::now();
            if (!pass.run()) {
                std::fprintf(stderr, "%s failed\n", pass.name);
                return 1;
            }
            pass.seconds.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    }
    const double mib = static_cast<double>(fs::file_size(input)) / (1 << 20);
    const double index = Median(passes[0].seconds);
    std::printf(
        "\npasses over %.0f MiB, each alone in one process; medians of %d alternating runs\n", mib,
        runs);
    for (const Pass& pass : passes) {
        const double t = Median(pass.seconds);
        std::printf("  %-27s %7.3f s  %8.1f MiB/s in  %6.2f x index pass\n", pass.name, t, mib / t,
                    t / index);
    }
    const double lambdaRate = mib / Median(passes[2].seconds);
    const double outageRatio = Median(passes[3].seconds) / index;
    std::printf("targets\n");
    std::printf("  40-lambda conversion  %7.1f MiB/s (>= 100)   %s\n", lambdaRate,
                lambdaRate >= 100 ? "met" : "NOT MET");
    std::printf("  outage pre-pass       %7.2f x index (<= 1.5) %s\n", outageRatio,
                outageRatio <= 1.5 ? "met" : "NOT MET");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s LOG WORK-DIR [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    return Main(argv[1], argv[2], runs);
}
