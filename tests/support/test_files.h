// SPDX-License-Identifier: GPL-3.0-or-later
// Temporary folders, whole-file reads and conversions of in-memory logs for the tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "convert/conversion_settings.h"
#include "convert/convert_job.h"
#include "tools/drive_simulator.h"

namespace varistrum::test {

// The plan of most hand-built logs: 806-896 MHz in 12.5 kHz steps.
inline const FrequencyPlan kBand800{64480, 71680, 3200, 0};

// A fresh folder, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
void WriteFile(const std::string& path, const std::string& text);

// Remembers progress and messages.
class RecordingObserver : public JobObserver {
  public:
    void SetProgress(int percent) override { progress.push_back(percent); }
    void ReportMessage(MessageKind kind, const std::string& text) override {
        messages.push_back(std::string(MessageCaption(kind)) + ": " + text);
    }
    std::vector<int> progress;
    std::vector<std::string> messages;
};

// Settings with the given fields (by tag) and header records off unless asked.
ConversionSettings FieldSettings(const std::vector<int>& tags, bool titles = false);

// Converts a log given as bytes (single-file job, all scans) and returns the output text.
std::string ConvertBytes(const std::vector<std::uint8_t>& log, const ConversionSettings& settings,
                         int format = 8);

// A simulated drive (header variant 8) in a folder of its own, with settings that convert every
// scan of it into the latitude alone (what map layer tests need of the text settings).
struct SimulatedDrive {
    SimulatedDrive(sim::Scenario scenario, std::uint64_t seed, double seconds);
    TempDir dir;
    std::string input;
    ConversionSettings settings;
};

// Runs the simulator; returns the path of the log it wrote into `dir`.
std::string Simulate(const TempDir& dir, const std::string& scenario, int seed,
                     double seconds = 120, int variant = 8);

// Runs a command line; returns its exit status.
int RunCommand(const std::string& command);

// Runs `body` in a child process killed after `seconds`, so that a call that blocks fails the
// test instead of hanging it: the child's exit status, or 128 + the signal that ended it.
int InChild(const std::function<int()>& body, unsigned seconds);

// How a program run in a child process ended, and the most memory it held.
struct ChildRun {
    int status = -1;   // its exit status, or 128 + the signal that ended it
    long peakKiB = 0;  // its peak resident memory
};

// Runs `command` (the program, then its arguments) in a child process stopped after `seconds`
// (a run that takes quadratic time fails instead of hanging), its standard output into the file
// `out` and its standard error into the file `errors` ("/dev/null" for none).
ChildRun RunMeasured(const std::vector<std::string>& command, const std::string& out,
                     const std::string& errors, unsigned seconds);

// Scans one after another, each with six fixes about 90 m apart and a single sample after each
// fix: every 40-lambda window holds one sample. With `secondReceiver` every third scan's samples
// are receiver 2's, so that the receiver choice matters.
std::vector<std::uint8_t> SparseScanLog(int scans, bool secondReceiver);

// An RTC-timed log whose every one of `lines` sample records gives one output line.
std::vector<std::uint8_t> RtcLog(int lines);

}  // namespace varistrum::test

#include <gtest/gtest.h>

namespace varistrum::test {

// A test with its own temporary folder and small file helpers.
class FolderTest : public ::testing::Test {
  protected:
    std::string PathOf(const std::string& name) const { return dir_.File(name); }
    std::string Put(const std::string& name, const std::string& data) const {
        WriteFile(PathOf(name), data);
        return PathOf(name);
    }
    static std::string Slurp(const std::string& path) { return ReadFile(path); }

    TempDir dir_;
};

}  // namespace varistrum::test
