// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-sim: writes a simulated drive-test log file.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

#include "tools/drive_simulator.h"

namespace {

constexpr const char* kUsage =
    "usage: varistrum-sim --seed N --out FILE [--variant 8|9] [--duration SECONDS]\n"
    "                     [--size-mb MIB] [--scenario NAME] [--start HH:MM:SS]\n"
    "scenarios: mixed (default), single-gps, single-rtc, list, table, no-frequency, bench\n"
    "--size-mb drives until the file holds that many MiB; --duration is then ignored\n";

int Fail(const std::string& message) {
    std::fputs(("varistrum-sim: " + message + "\n").c_str(), stderr);
    return 1;
}

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// "HH:MM:SS" as a second of the day.
bool ParseTime(std::string_view text, int& secondOfDay) {
    int h = 0, m = 0, s = 0;
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
    if (!ParseNumber(text.substr(0, 2), h) || !ParseNumber(text.substr(3, 2), m) ||
        !ParseNumber(text.substr(6, 2), s) || h > 23 || m > 59 || s > 59)
        return false;
    secondOfDay = h * 3600 + m * 60 + s;
    return true;
}

std::string Number(std::int64_t value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace varistrum::sim;
    SimulationOptions options;
    std::string out;
    bool haveSeed = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc)
            return Fail("missing value after " + std::string(option) + "\n" + kUsage);
        const std::string_view value = argv[++i];
        bool ok = true;
        if (option == "--seed") {
            ok = ParseNumber(value, options.seed);
            haveSeed = ok;
        } else if (option == "--out") {
            out = value;
            ok = !out.empty();
        } else if (option == "--variant") {
            ok = ParseNumber(value, options.variant) &&
                 (options.variant == 8 || options.variant == 9);
        } else if (option == "--duration") {
            ok = ParseNumber(value, options.durationSeconds) && options.durationSeconds > 0.0;
        } else if (option == "--size-mb") {
            ok = ParseNumber(value, options.sizeMb) && options.sizeMb > 0.0;
        } else if (option == "--scenario") {
            const auto scenario = ScenarioFromName(value);
            ok = scenario.has_value();
            if (ok) options.scenario = *scenario;
        } else if (option == "--start") {
            ok = ParseTime(value, options.startSecondOfDay);
        } else {
            return Fail("unknown option " + std::string(option) + "\n" + kUsage);
        }
        if (!ok)
            return Fail("invalid value for " + std::string(option) + ": " + std::string(value));
    }
    if (!haveSeed || out.empty())
        return Fail(std::string("--seed and --out are required\n") + kUsage);

    std::string error;
    SimulationSummary summary;
    if (!WriteSimulatedLog(options, out, &error, &summary)) return Fail(error);
    std::fputs(("varistrum-sim: " + out + ": " + Number(static_cast<std::int64_t>(summary.bytes)) +
                " bytes, " + Number(static_cast<std::int64_t>(summary.records)) + " records, " +
                Number(summary.seconds) + " s\n")
                   .c_str(),
               stderr);
    return 0;
}
