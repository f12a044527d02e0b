// SPDX-License-Identifier: GPL-3.0-or-later
// A drive of known speed and scan rate, built record by record.
#include "tools/steady_drive.h"

#include <cmath>
#include <numbers>

#include "tools/drive_simulator.h"
#include "tools/log_builder.h"
#include "tools/sim_random.h"

namespace varistrum::sim {

namespace {

constexpr double kEarthRadius = 6378137.0;

const SteadyGap* GapAt(const SteadyDriveOptions& options, int t) {
    for (const SteadyGap& gap : options.gaps) {
        if (t >= gap.start && t < gap.start + gap.length) return &gap;
    }
    return nullptr;
}

std::uint32_t CodeOf(double mhz) {
    return static_cast<std::uint32_t>(std::lround(mhz * 1000.0 / kBand800.StepKHz()));
}

}  // namespace

double MetresPerLatitudeMas() {
    return kEarthRadius * std::numbers::pi / 180.0 / 3600000.0;
}

std::vector<std::uint8_t> SteadyDriveLog(const SteadyDriveOptions& options) {
    LogBuilder log(8);
    log.Config(3, kBand800, kBand800);
    // The scan starts with the first fix, its first time stamp.
    log.ScanList32(CodeOf(options.frequencyMHz), CodeOf(options.frequencyMHz - 10));
    const double masPerSecond = options.speedKmh / 3.6 / MetresPerLatitudeMas();
    Rng rng(options.seed);
    std::vector<int> levels(static_cast<std::size_t>(options.samplesPerSecond));
    for (int t = 0; t < options.seconds; ++t) {
        const int second = (options.startSecondOfDay + t) % 86400;
        GpsFix fix;
        fix.hours = second / 3600;
        fix.minutes = second / 60 % 60;
        fix.seconds = second % 60;
        fix.latitudeMas =
            options.startLatitudeMas + static_cast<std::int32_t>(std::lround(masPerSecond * t));
        fix.longitudeMas = options.longitudeMas;
        fix.speedCmPerS = static_cast<std::uint16_t>(std::lround(options.speedKmh / 0.036));
        const SteadyGap* gap = GapAt(options, t);
        if (gap == nullptr || gap->bad) {
            if (gap != nullptr) fix.statusCode = 3;
            log.Gps(fix);
        }
        for (std::size_t i = 0; i < levels.size(); ++i) {
            if (options.constantLevel) {
                levels[i] = *options.constantLevel;
            } else if (options.rayleigh) {
                // Exponentially distributed power around -80 dBm.
                const double power = -std::log(1.0 - rng.Uniform());
                levels[i] = static_cast<int>(std::lround(-80.0 + 10.0 * std::log10(power)));
                if (levels[i] < -128) levels[i] = -128;
            } else {
                levels[i] = -60 - static_cast<int>((static_cast<std::size_t>(t) + i * 7) % 30);
            }
        }
        log.Samples(1, levels);
    }
    return log.Bytes();
}

}  // namespace varistrum::sim
