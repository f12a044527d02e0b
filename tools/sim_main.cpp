// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-sim: writes a simulated drive-test log file.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/output_file.h"
#include "tools/drive_simulator.h"
#include "tools/truth_files.h"

namespace {

constexpr const char* kUsage =
    "usage: varistrum-sim --seed N --out FILE [--variant 8|9] [--duration SECONDS]\n"
    "                     [--size-mb MIB] [--scenario NAME] [--start HH:MM:SS]\n"
    "                     [--stops N[,SECONDS]] [--stops-at even|end|SITE] [--creep M/S]\n"
    "                     [--stops-out FILE] [--level-offset DB] [--shadow-sigma DB]\n"
    "                     [--no-fading] [--sites-out FILE]\n"
    "scenarios: mixed (default), single-gps, single-rtc, list, table, no-frequency, bench,\n"
    "           calibration\n"
    "--size-mb drives until the file holds that many MiB; --duration is then ignored\n"
    "--stops-out and --sites-out write the stops and the sites (with the model beside them)\n";

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

// "N" or "N,SECONDS".
bool ParseStops(std::string_view text, varistrum::sim::StopOptions& stops) {
    const std::size_t comma = text.find(',');
    if (!ParseNumber(text.substr(0, comma), stops.count) || stops.count < 0) return false;
    if (comma == std::string_view::npos) return true;
    return ParseNumber(text.substr(comma + 1), stops.seconds) && stops.seconds >= 1;
}

// Whether two paths name the same file (through links), so that no output overwrites another.
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    const auto first = std::filesystem::weakly_canonical(varistrum::ResolveLinks(a), error);
    if (error) return a == b;
    const auto second = std::filesystem::weakly_canonical(varistrum::ResolveLinks(b), error);
    if (error) return a == b;
    return first == second;
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
    std::string out, stopsOut, sitesOut;
    bool haveSeed = false, haveStopsAt = false, haveCreep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (option == "--no-fading") {
            options.fading = false;
            continue;
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
        } else if (option == "--stops") {
            ok = ParseStops(value, options.stops) && options.stops.count <= kMaxStops;
        } else if (option == "--stops-at") {
            haveStopsAt = true;
            if (value == "even") {
                options.stops.placement = StopPlacement::Even;
            } else if (value == "end") {
                options.stops.placement = StopPlacement::End;
            } else {
                const auto site = SiteIndex(value);
                ok = site.has_value();
                options.stops.placement = StopPlacement::NearSite;
                options.stops.site = site.value_or(0);
            }
        } else if (option == "--creep") {
            haveCreep = true;
            ok = ParseNumber(value, options.stops.creepSpeed) && options.stops.creepSpeed > 0.0 &&
                 options.stops.creepSpeed <= kMaxCreepSpeed;
        } else if (option == "--stops-out") {
            stopsOut = value;
            ok = !stopsOut.empty();
        } else if (option == "--level-offset") {
            ok = ParseNumber(value, options.levelOffsetDb) &&
                 std::abs(options.levelOffsetDb) <= kMaxLevelOffsetDb;
        } else if (option == "--shadow-sigma") {
            ok = ParseNumber(value, options.shadowSigmaDb) && options.shadowSigmaDb >= 0.0 &&
                 options.shadowSigmaDb <= kMaxShadowSigmaDb;
        } else if (option == "--sites-out") {
            sitesOut = value;
            ok = !sitesOut.empty();
        } else {
            return Fail("unknown option " + std::string(option) + "\n" + kUsage);
        }
        if (!ok)
            return Fail("invalid value for " + std::string(option) + ": " + std::string(value));
    }
    if (!haveSeed || out.empty())
        return Fail(std::string("--seed and --out are required\n") + kUsage);
    if (!options.stops.Planned() && (haveStopsAt || haveCreep || !stopsOut.empty()))
        return Fail("--stops-at, --creep and --stops-out need --stops");
    // No output may overwrite another.
    std::vector<std::pair<std::string, std::string>> outputs{{"--out", out}};
    if (!stopsOut.empty()) outputs.emplace_back("--stops-out", stopsOut);
    if (!sitesOut.empty()) {
        outputs.emplace_back("--sites-out", sitesOut);
        outputs.emplace_back("the model beside --sites-out", ModelPathFor(sitesOut));
    }
    for (std::size_t a = 0; a < outputs.size(); ++a)
        for (std::size_t b = a + 1; b < outputs.size(); ++b)
            if (SameFile(outputs[a].second, outputs[b].second))
                return Fail(outputs[a].first + " and " + outputs[b].first + " name the same file");

    std::string error;
    SimulationSummary summary;
    SimulationTruth truth;
    if (!WriteSimulatedLog(options, out, &error, &summary, &truth)) return Fail(error);
    if (!stopsOut.empty() && !WriteTextFile(stopsOut, StopsCsv(truth), &error)) return Fail(error);
    if (!sitesOut.empty() &&
        (!WriteTextFile(sitesOut, SitesCsv(truth), &error) ||
         !WriteTextFile(ModelPathFor(sitesOut), SiteModelJson(options), &error)))
        return Fail(error);
    std::fputs(("varistrum-sim: " + out + ": " + Number(static_cast<std::int64_t>(summary.bytes)) +
                " bytes, " + Number(static_cast<std::int64_t>(summary.records)) + " records, " +
                Number(summary.seconds) + " s\n")
                   .c_str(),
               stderr);
    return 0;
}
