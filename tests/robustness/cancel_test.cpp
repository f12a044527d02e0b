// SPDX-License-Identifier: GPL-3.0-or-later
// Cancelling conversions and index passes at any point: from the job's own progress reports,
// from another thread, in one file of several and in a parallel folder job.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <random>
#include <thread>

#include "averaging/averaging_engine.h"
#include "convert/convert_job.h"
#include "convert/folder_files.h"
#include "index/make_index.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"

namespace varistrum {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::RecordingObserver;
using test::TempDir;
using test::WriteFile;

const std::vector<std::string> kCancelled = {"Information: Conversion Cancelled."};

bool IsLinePrefix(const std::string& part, const std::string& full) {
    return full.compare(0, part.size(), part) == 0 && (part.empty() || part.back() == '\n');
}

ConversionSettings Settings(int averageType = kAverageNone) {
    auto settings =
        test::FieldSettings({GpsTime, LatitudeDecimalDegrees, DataField, RecordNumber}, true);
    settings.averageType = averageType;
    return settings;
}

// A simulated drive with every kind of scan, written to `name` in `dir`.
std::string Drive(const TempDir& dir, const std::string& name, std::uint64_t seed,
                  double seconds = 120) {
    sim::SimulationOptions options;
    options.seed = seed;
    options.durationSeconds = seconds;
    WriteFile(dir.File(name), sim::SimulateLog(options));
    return dir.File(name);
}

std::string FullOutput(const TempDir& dir, const std::string& input,
                       const ConversionSettings& settings) {
    TavrelReader reader;
    RecordingObserver observer;
    const std::string output = dir.File("full.out");
    EXPECT_EQ(RunConversionJob(reader, {input}, {output}, settings, observer, {}),
              JobOutcome::Completed);
    return ReadFile(output);
}

// Asks the job to stop once the gauge of file `file` (1-based) reaches `percent`; a new file
// starts its gauge at 0.
class StopAtPercent : public RecordingObserver {
  public:
    StopAtPercent(std::stop_source& stop, int percent, int file = 1)
        : stop_(stop), percent_(percent), file_(file) {}
    void SetProgress(int percent) override {
        RecordingObserver::SetProgress(percent);
        if (percent == 0 && last_ != 0) ++files_;
        last_ = percent;
        if (files_ == file_ && percent >= percent_) stop_.request_stop();
    }

  private:
    std::stop_source& stop_;
    int percent_, file_;
    int files_ = 0;
    int last_ = -1;
};

TEST(CancelTest, AtRandomRecordsTheOutputIsALinePrefixOfTheWholeOne) {
    TempDir dir;
    const std::string input = Drive(dir, "drive.klf", 31);
    std::mt19937 random(31);
    for (int averageType : {kAverageNone, kAverageLambda}) {
        const std::string full = FullOutput(dir, input, Settings(averageType));
        std::vector<int> percents(10);
        for (int& p : percents) p = std::uniform_int_distribution(1, 99)(random);
        std::sort(percents.begin(), percents.end());
        std::size_t previous = 0;
        for (int percent : percents) {
            TavrelReader reader;
            std::stop_source stop;
            StopAtPercent observer(stop, percent);
            EXPECT_EQ(RunConversionJob(reader, {input}, {dir.File("cut.out")},
                                       Settings(averageType), observer, stop.get_token()),
                      JobOutcome::Cancelled);
            EXPECT_EQ(observer.messages, kCancelled) << percent;
            const std::string cut = ReadFile(dir.File("cut.out"));
            EXPECT_TRUE(IsLinePrefix(cut, full)) << "stopped at " << percent << "%";
            EXPECT_LT(cut.size(), full.size()) << "stopped at " << percent << "%";
            EXPECT_GE(cut.size(), previous) << "stopped at " << percent << "%";
            previous = cut.size();
        }
    }
}

TEST(CancelTest, AStopInTheSecondFileKeepsTheFirstWholeAndStartsNoThird) {
    TempDir dir;
    const std::vector<std::string> inputs = {Drive(dir, "a.klf", 1, 60), Drive(dir, "b.klf", 2, 60),
                                             Drive(dir, "c.klf", 3, 60)};
    const std::vector<std::string> outputs = {dir.File("a.out"), dir.File("b.out"),
                                              dir.File("c.out")};
    TavrelReader reader;
    std::stop_source stop;
    StopAtPercent observer(stop, 50, 2);
    EXPECT_EQ(RunConversionJob(reader, inputs, outputs, Settings(), observer, stop.get_token()),
              JobOutcome::Cancelled);
    EXPECT_EQ(observer.messages, kCancelled);
    EXPECT_EQ(ReadFile(outputs[0]), FullOutput(dir, inputs[0], Settings()));
    const std::string second = ReadFile(outputs[1]);
    const std::string secondFull = FullOutput(dir, inputs[1], Settings());
    EXPECT_TRUE(IsLinePrefix(second, secondFull));
    EXPECT_LT(second.size(), secondFull.size());
    EXPECT_FALSE(fs::exists(outputs[2]));
}

// Progress and messages reach the observer on the worker's thread.
class SharedObserver : public JobObserver {
  public:
    void SetProgress(int percent) override { progress = percent; }
    void ReportMessage(MessageKind kind, const std::string& text) override {
        std::lock_guard lock(mutex);
        messages.push_back(std::string(MessageCaption(kind)) + ": " + text);
    }
    std::atomic<int> progress{-1};
    std::mutex mutex;
    std::vector<std::string> messages;
};

TEST(WorkerTest, TerminateFromTheWindowThreadEndsAfterTheCurrentRecord) {
    TempDir dir;
    const std::string input = Drive(dir, "drive.klf", 41, 300);
    const std::string full = FullOutput(dir, input, Settings());
    for (int percent : {0, 5, 60}) {
        TavrelReader reader;
        SharedObserver observer;
        JobOutcome outcome;
        {
            TConvert worker(reader, observer);
            worker.SetFiles({input}, {dir.File("cut.out")});
            worker.SetSettings(Settings());
            worker.Resume();
            while (observer.progress < percent && worker.Running()) std::this_thread::yield();
            worker.Terminate();
            worker.WaitFor();
            EXPECT_FALSE(worker.Running());
            outcome = worker.Outcome();
        }
        const std::string cut = ReadFile(dir.File("cut.out"));
        std::lock_guard lock(observer.mutex);
        if (outcome == JobOutcome::Completed) {  // the job may end before the stop arrives
            EXPECT_EQ(cut, full) << percent;
            continue;
        }
        EXPECT_EQ(outcome, JobOutcome::Cancelled) << percent;
        EXPECT_EQ(observer.messages, kCancelled) << percent;
        EXPECT_TRUE(IsLinePrefix(cut, full)) << percent;
    }
    // A worker destroyed while it runs stops and is waited for.
    TavrelReader reader;
    SharedObserver observer;
    {
        TConvert worker(reader, observer);
        worker.SetFiles({input, input}, {dir.File("x.out"), dir.File("y.out")});
        worker.SetSettings(Settings());
        worker.Resume();
        while (observer.progress < 1 && worker.Running()) std::this_thread::yield();
    }
    EXPECT_TRUE(IsLinePrefix(ReadFile(dir.File("x.out")), full));
}

TEST(WorkerTest, ACancelledFolderJobLeavesOnlyLinePrefixes) {
    TempDir dir;
    FileLists files;
    std::vector<std::string> fulls;
    for (int i = 0; i < 6; ++i) {
        files.inputs.push_back(
            Drive(dir, "f" + std::to_string(i) + ".klf", 50 + static_cast<std::uint64_t>(i), 60));
        files.outputs.push_back(dir.File("f" + std::to_string(i) + ".out"));
        fulls.push_back(FullOutput(dir, files.inputs.back(), Settings()));
    }
    TavrelReader prototype;
    std::stop_source stop;
    // The job reports the share of files done, one call at a time.
    StopAtPercent observer(stop, 34);
    EXPECT_EQ(RunConversionJob(prototype, files.inputs, files.outputs, Settings(), observer,
                               stop.get_token(), JobKind::Folder, {}, nullptr, 2),
              JobOutcome::Cancelled);
    EXPECT_EQ(observer.messages, kCancelled);
    int written = 0;
    for (std::size_t i = 0; i < files.outputs.size(); ++i) {
        if (!fs::exists(files.outputs[i])) continue;
        ++written;
        EXPECT_TRUE(IsLinePrefix(ReadFile(files.outputs[i]), fulls[i])) << files.outputs[i];
    }
    EXPECT_GE(written, 3);
    EXPECT_LT(written, 6);
}

// Records the index pass's calls, which arrive on the worker's thread.
class SharedView : public IndexView {
  public:
    void ShowWait() override {}
    void SetWaitGauge(int percent) override { gauge = std::max(gauge.load(), percent); }
    void HideWait() override {}
    void ClearTree() override {}
    void AddRoot(int, const std::string&) override {}
    void AddScanNode(int, int, const std::string&) override { ++nodes; }
    void ExpandTree() override {}
    void SetStatistics(const std::vector<std::string>& lines) override {
        statistics = lines.size();
    }
    void ReportMessage(MessageKind, const std::string&) override { ++messages; }
    std::atomic<int> gauge{0}, nodes{0}, messages{0};
    std::atomic<std::size_t> statistics{0};
};

TEST(WorkerTest, AnIndexPassStoppedFromAnotherThreadEndsCleanly) {
    TempDir dir;
    const std::string input = Drive(dir, "drive.klf", 61, 600);
    for (bool destroyOnly : {false, true}) {
        TavrelReader reader;
        SharedView view;
        {
            TMakeIndex worker(reader, kFormatTavrel, input, view);
            while (view.gauge < 10 && !worker.Finished()) std::this_thread::yield();
            if (!destroyOnly) {
                worker.Terminate();
                worker.WaitFor();
                EXPECT_TRUE(worker.Finished());
                EXPECT_NE(worker.Outcome(), IndexOutcome::OpenFailed);
            }
        }
        EXPECT_EQ(view.messages, 0);
        EXPECT_EQ(view.statistics, 7u);
    }
}

}  // namespace
}  // namespace varistrum
