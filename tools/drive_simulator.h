// SPDX-License-Identifier: GPL-3.0-or-later
// Deterministic simulation of drive-test log files: the source of all test data, the demo's
// example and the benchmark input.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "logfile/records.h"

namespace varistrum::sim {

enum class Scenario {
    Mixed,        // every kind of scan and record in one file
    SingleGps,    // single-frequency scans timed by GPS fixes
    SingleRtc,    // single-frequency scans timed by real-time-clock records, no GPS
    List,         // channel-list scans
    Table,        // channel-table sweeps
    NoFrequency,  // receiver samples without any scan definition
    Bench,        // single-frequency, GPS-timed, large records, little else
    Calibration,  // single-frequency, GPS-timed, two channels of one site on a star around it
};

std::string_view ScenarioName(Scenario scenario);
std::optional<Scenario> ScenarioFromName(std::string_view name);
std::span<const Scenario> AllScenarios();

// The receivers' bands: 806-896 MHz in 12.5 kHz steps, a 30 kHz band and a wrapping 200 kHz
// band (channels 991-1023 precede 1).
inline constexpr FrequencyPlan kBand800{64480, 71680, 3200, 0};
inline constexpr FrequencyPlan kBand30kHz{28968, 29799, 7680, 0};
inline constexpr FrequencyPlan kBandWrap{4675, 4832, 51200, 1};

// Where planned stops go along the drive's moving time M (the duration less the stops).
enum class StopPlacement {
    Even,      // equal stretches of driving before, between and after the stops
    End,       // equal stretches before each stop; the last stop ends the drive
    NearSite,  // in each of N equal stretches, where the vehicle comes nearest a site
};

// Planned stops. With a count (0 included) the drive changes character: the vehicle waits
// nowhere else (no junction waits, no parking at the start), and the route, the shadowing and
// the scan schedule follow the driving alone, so that a drive with stops is the drive with
// count 0 with the stops inserted.
struct StopOptions {
    int count = -1;  // -1: none planned, the classic drive
    int seconds = 60;
    double creepSpeed = 0.0;  // above 0: the vehicle creeps at this speed (m/s) instead
    StopPlacement placement = StopPlacement::Even;
    std::size_t site = 0;  // index into the sites, for NearSite
    bool Planned() const { return count >= 0; }
};

inline constexpr int kMaxStops = 10000;
inline constexpr double kMaxCreepSpeed = 50.0;  // m/s
inline constexpr double kMaxShadowSigmaDb = 30.0;
inline constexpr int kMaxLevelOffsetDb = 200;

// A planned stop as the log shows it: its first and last good GPS fix (GPS records counted
// from 1 in file order; 0 when no good fix fell in it), where it began, and the seconds from
// its first to its last good fix.
struct StopTruth {
    std::uint32_t firstGpsRecord = 0;
    std::uint32_t lastGpsRecord = 0;
    std::int32_t latitudeMas = 0;
    std::int32_t longitudeMas = 0;
    std::int64_t seconds = 0;
};

// A channel the receivers measured (whether or not the file names it), with its frequency.
struct ChannelTruth {
    std::uint32_t code = 0;
    double frequencyMhz = 0.0;
};

// What the simulation knows and the file does not say.
struct SimulationTruth {
    std::vector<StopTruth> stops;
    std::vector<ChannelTruth> channels;  // rising codes, idle ones included
};

struct SimulationOptions {
    std::uint64_t seed = 1;
    int variant = 8;               // 8 or 9
    double durationSeconds = 600;  // simulated drive time
    double sizeMb = 0;  // above 0: drive until the file holds this many MiB (at most 1e5)
    Scenario scenario = Scenario::Mixed;
    int startSecondOfDay = 14 * 3600 + 30 * 60;  // 23:58:00 makes the drive cross midnight
    int startYear = 2026, startMonth = 6, startDay = 15;
    StopOptions stops;
    double shadowSigmaDb = 7.0;  // 0 turns shadowing off
    bool fading = true;          // off: every sample is the local mean
    int levelOffsetDb = 0;       // added to every logged level before clamping
};

struct SimulationSummary {
    std::uint64_t bytes = 0;
    std::uint64_t records = 0;
    std::int64_t seconds = 0;  // simulated seconds
};

// Why the options cannot be simulated; empty when they can.
std::string SimulationOptionsError(const SimulationOptions& options);

// Receives the file in large consecutive pieces; returns false to stop with an error.
using ChunkSink = std::function<bool(std::span<const std::uint8_t>)>;

// Produces the records (everything after the header) of a simulated log; the header follows
// from summary.bytes once it returns. False on invalid options or when the sink fails.
// `truth`, when given, receives the stops and channels of the drive.
bool SimulateRecords(const SimulationOptions& options, const ChunkSink& sink,
                     SimulationSummary& summary, std::string* error = nullptr,
                     SimulationTruth* truth = nullptr);

// Streams a simulated log to disk without holding it in memory.
bool WriteSimulatedLog(const SimulationOptions& options, const std::string& path,
                       std::string* error = nullptr, SimulationSummary* summary = nullptr,
                       SimulationTruth* truth = nullptr);

// The same file in memory, for tests; throws std::invalid_argument on invalid options.
std::vector<std::uint8_t> SimulateLog(const SimulationOptions& options,
                                      SimulationTruth* truth = nullptr);
// The same for a scenario, header variant, seed and duration, the rest as the defaults.
std::vector<std::uint8_t> SimulateLog(Scenario scenario, int variant, std::uint64_t seed,
                                      double seconds);

// Header value of the "not used" first field in simulated files: non-zero, so a reader that
// wrongly uses it shows at once.
inline constexpr std::uint32_t kSimulatedHeaderUnused = 0x0106;

}  // namespace varistrum::sim
