// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the logs whose shapes once made memory grow without bound: a gap of millions of short
// records between two fixes, a gap of the longest records, and millions of scan definitions.
// `make bench` converts and indexes each and reports the peak resident memory.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/drive_simulator.h"
#include "tools/log_builder.h"

namespace {

using namespace varistrum::sim;
namespace fs = std::filesystem;

constexpr std::size_t kTargetBytes = 20u << 20;

GpsFix FixAt(int minutes, std::int32_t northMas) {
    GpsFix fix;
    fix.hours = 9;
    fix.minutes = minutes;
    fix.latitudeMas = 185000000 + northMas;  // about 51.4 degrees north
    fix.longitudeMas = 25000000;
    return fix;
}

// A scan, and two fixes with a record between them: the first fix only starts the timing.
LogBuilder Start() {
    LogBuilder log(9);
    log.Config(3, kBand800, kBand30kHz);
    log.ScanList32(kBand800.first + 100, kBand30kHz.first + 7);
    log.Gps(FixAt(0, 0));
    log.Samples(1, std::vector<int>(100, -60));
    log.Gps(FixAt(0, 10));
    return log;
}

// After the start, records of `samples` levels until the file is full, then a fix 1.8 km away.
LogBuilder Gap(int samples) {
    LogBuilder log = Start();
    std::vector<int> levels(static_cast<std::size_t>(samples));
    for (int r = 0; log.Size() < kTargetBytes; ++r) {
        for (std::size_t k = 0; k < levels.size(); ++k)
            levels[k] = -40 - static_cast<int>((static_cast<std::size_t>(r) * 7 + k) % 80);
        log.Samples(1, levels);
    }
    log.Gps(FixAt(50, 60000));
    log.Samples(1, levels);
    log.Gps(FixAt(51, 60100));
    return log;
}

LogBuilder ScanDefinitions() {
    LogBuilder log = Start();
    const std::vector<int> levels(10, -70);
    for (std::uint32_t k = 0; log.Size() < kTargetBytes; ++k) {
        log.ScanList32(kBand800.first + k % 2000, kBand30kHz.first + k % 300);
    }
    log.Samples(1, levels);
    log.Gps(FixAt(1, 100));
    return log;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const fs::path folder = argv[1];
    fs::create_directories(folder);
    const struct {
        const char* name;
        LogBuilder (*make)();
    } shapes[] = {
        {"gap-one-sample-records.klf", [] { return Gap(1); }},
        {"gap-4094-sample-records.klf", [] { return Gap(4094); }},
        {"scan-definitions.klf", ScanDefinitions},
    };
    for (const auto& shape : shapes) {
        const fs::path path = folder / shape.name;
        if (fs::exists(path)) continue;
        const LogBuilder log = shape.make();
        if (!log.Save(path.string())) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s: %zu records\n", path.c_str(), log.RecordCount());
    }
    return 0;
}
