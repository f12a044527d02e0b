// SPDX-License-Identifier: GPL-3.0-or-later
// Test helpers shared by the test programs.
#include "support/test_files.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "averaging/averaging_engine.h"
#include "logfile/tavrel_reader.h"
#include "tools/log_builder.h"

namespace varistrum::test {

TempDir::TempDir() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = base / ("varistrum-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(path_)) return;
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(path_, error);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

ConversionSettings FieldSettings(const std::vector<int>& tags, bool titles) {
    ConversionSettings settings;
    settings.fieldTitles = titles;
    for (int tag : tags) {
        settings.selectedTags.push_back(tag);
        settings.selectedTitles.emplace_back(FieldName(tag));
    }
    return settings;
}

std::string ConvertBytes(const std::vector<std::uint8_t>& log, const ConversionSettings& settings,
                         int format) {
    TempDir dir;
    WriteFile(dir.File("in.klf"), log);
    TavrelReader reader;
    reader.SetInputFormat(format);
    RecordingObserver observer;
    RunConversionJob(reader, {dir.File("in.klf")}, {dir.File("in.out")}, settings, observer, {});
    return ReadFile(dir.File("in.out"));
}

int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int InChild(const std::function<int()>& body, unsigned seconds) {
    const pid_t child = fork();
    if (child == 0) {
        alarm(seconds);
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

ChildRun RunMeasured(const std::vector<std::string>& command, const std::string& out,
                     const std::string& errors, unsigned seconds) {
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        alarm(seconds);
        const int output = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int error = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (output < 0 || error < 0 || dup2(output, STDOUT_FILENO) < 0 ||
            dup2(error, STDERR_FILENO) < 0)
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ChildRun run;
    struct rusage usage {};
    int status = 0;
    if (child < 0 || wait4(child, &status, 0, &usage) != child) return run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.peakKiB = usage.ru_maxrss;
    return run;
}

std::vector<std::uint8_t> SparseScanLog(int scans, bool secondReceiver) {
    sim::LogBuilder log(9);
    log.Config(3, sim::kBand800, sim::kBand30kHz);
    sim::GpsFix fix;
    fix.latitudeMas = 185000000;
    fix.longitudeMas = 25000000;
    for (int s = 0; s < scans; ++s) {
        log.ScanList32(sim::kBand800.first + 100 + s % 50, sim::kBand30kHz.first + 7);
        for (int k = 0; k < 6; ++k) {
            if (++fix.seconds == 60) {
                fix.seconds = 0;
                ++fix.minutes;
            }
            fix.latitudeMas += 3000;  // about 90 m
            log.Gps(fix);
            const int level[1] = {-70};
            log.Samples(secondReceiver && s % 3 == 2 ? 2 : 1, level);
        }
    }
    return log.Bytes();
}

std::vector<std::uint8_t> RtcLog(int lines) {
    const FrequencyPlan band800{64480, 71680, 3200, 0};
    sim::LogBuilder log;
    log.Config(1, band800, band800).Rtc(1, 2, 3).ScanList32(68000, 0);
    for (int i = 0; i < lines; ++i) {
        const int sample[1] = {-(i % 100)};
        log.Samples(1, sample);
    }
    return log.Bytes();
}

SimulatedDrive::SimulatedDrive(sim::Scenario scenario, std::uint64_t seed, double seconds)
    : input(dir.File("drive.klf")), settings(FieldSettings({LatitudeDecimalDegrees})) {
    WriteFile(input, sim::SimulateLog(scenario, 8, seed, seconds));
    settings.convertAllScans = true;
}

std::string Simulate(const TempDir& dir, const std::string& scenario, int seed, double seconds,
                     int variant) {
    const std::string path = dir.File(scenario + "-" + std::to_string(seed) + ".klf");
    const std::string command = std::string(VARISTRUM_SIM) + " --seed " + std::to_string(seed) +
                                " --out " + path + " --scenario " + scenario + " --duration " +
                                std::to_string(static_cast<int>(seconds)) + " --variant " +
                                std::to_string(variant);
    if (RunCommand(command) != 0) throw std::runtime_error("simulator failed: " + command);
    return path;
}

}  // namespace varistrum::test
