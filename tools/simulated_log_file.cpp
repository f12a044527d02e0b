// SPDX-License-Identifier: GPL-3.0-or-later
// Simulated logs as whole files: streamed to disk, or collected in memory for tests.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "tools/drive_simulator.h"
#include "tools/log_builder.h"

namespace varistrum::sim {

namespace {

std::vector<std::uint8_t> FinalHeader(int variant, std::uint64_t size) {
    // A variant 8 header cannot reach beyond 32 MiB; blocks and remainder 0 mean "file size".
    return EncodeHeader(variant, HeaderCanHold(variant, size) ? size : 0, kSimulatedHeaderUnused);
}

}  // namespace

bool WriteSimulatedLog(const SimulationOptions& options, const std::string& path,
                       std::string* error, SimulationSummary* summary, SimulationTruth* truth) {
    const std::string invalid = SimulationOptionsError(options);
    if (!invalid.empty()) {
        if (error) *error = invalid;
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        if (error) *error = "cannot create " + path;
        return false;
    }
    SimulationSummary result;
    const std::vector<std::uint8_t> placeholder(
        static_cast<std::size_t>(HeaderSize(options.variant)));
    bool ok = std::fwrite(placeholder.data(), 1, placeholder.size(), file) == placeholder.size();
    ok = ok && SimulateRecords(
                   options,
                   [file](std::span<const std::uint8_t> bytes) {
                       return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
                   },
                   result, nullptr, truth);
    if (ok) {
        const std::vector<std::uint8_t> header = FinalHeader(options.variant, result.bytes);
        ok = std::fseek(file, 0, SEEK_SET) == 0 &&
             std::fwrite(header.data(), 1, header.size(), file) == header.size();
    }
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        // No half-written log that looks complete; but never unlink a device or a pipe.
        std::error_code ignored;
        if (std::filesystem::is_regular_file(path, ignored)) std::remove(path.c_str());
        if (error) *error = "cannot write " + path;
        return false;
    }
    if (summary) *summary = result;
    return true;
}

std::vector<std::uint8_t> SimulateLog(const SimulationOptions& options, SimulationTruth* truth) {
    std::vector<std::uint8_t> file(static_cast<std::size_t>(HeaderSize(options.variant)));
    SimulationSummary summary;
    std::string error;
    const bool ok = SimulateRecords(
        options,
        [&file](std::span<const std::uint8_t> bytes) {
            file.insert(file.end(), bytes.begin(), bytes.end());
            return true;
        },
        summary, &error, truth);
    if (!ok) throw std::invalid_argument(error);
    const std::vector<std::uint8_t> header = FinalHeader(options.variant, file.size());
    std::copy(header.begin(), header.end(), file.begin());
    return file;
}

std::vector<std::uint8_t> SimulateLog(Scenario scenario, int variant, std::uint64_t seed,
                                      double seconds) {
    SimulationOptions options;
    options.scenario = scenario;
    options.variant = variant;
    options.seed = seed;
    options.durationSeconds = seconds;
    return SimulateLog(options);
}

}  // namespace varistrum::sim
