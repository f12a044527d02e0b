// SPDX-License-Identifier: GPL-3.0-or-later
// Truncated and damaged log files: what a half-written flash card gives the converter.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <random>

#include "averaging/averaging_engine.h"
#include "convert/convert_job.h"
#include "robustness/ram_dir.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"
#include "tools/log_builder.h"

namespace varistrum {
namespace {

using test::RamDir;
using test::ReadFile;
using test::RecordingObserver;
using test::WriteFile;
using Bytes = std::vector<std::uint8_t>;

struct Converted {
    JobOutcome outcome = JobOutcome::NotRun;
    std::vector<std::string> messages;
    std::string text;
    DamageCounters damage;
};

// Converts `log` through a file in `dir` with a fresh reader, as one single-file job.
Converted Convert(const RamDir& dir, const Bytes& log, int variant,
                  const ConversionSettings& settings) {
    WriteFile(dir.File("in.klf"), log);
    TavrelReader reader;
    reader.SetInputFormat(variant);
    RecordingObserver observer;
    Converted result;
    result.outcome = RunConversionJob(reader, {dir.File("in.klf")}, {dir.File("in.out")}, settings,
                                      observer, {});
    result.messages = observer.messages;
    result.text = ReadFile(dir.File("in.out"));
    result.damage = reader.Damage();
    return result;
}

// Whole lines of `full` from its start: output lines end with CR LF.
bool IsLinePrefix(const std::string& part, const std::string& full) {
    return full.compare(0, part.size(), part) == 0 && (part.empty() || part.back() == '\n');
}

const std::vector<std::string> kCompleted = {"Information: Conversion Has Been Completed!"};

// Every field family, header records on, all three data columns, under one average type.
ConversionSettings SettingsFor(int averageType, bool receiver2 = false) {
    auto settings =
        test::FieldSettings({LatitudeDecimalDegrees, LongitudeSeconds, GpsTime, RtcTime, DataField,
                             RecordNumber, ReceiverField, TpLatitude, MinFrequency},
                            true);
    settings.columns = {true, true, true};
    settings.averageType = averageType;
    settings.receivers = {!receiver2, receiver2};
    return settings;
}

// One small file with a scan of every kind: the records of short simulated drives, one after the
// other.
Bytes EveryScanKind(int variant) {
    sim::LogBuilder log(variant, false);
    const std::pair<sim::Scenario, double> parts[] = {{sim::Scenario::SingleGps, 1},
                                                      {sim::Scenario::List, 2},
                                                      {sim::Scenario::Table, 1},
                                                      {sim::Scenario::SingleRtc, 1}};
    for (const auto& [scenario, seconds] : parts) {
        const Bytes file = sim::SimulateLog(scenario, variant, 21, seconds);
        log.RawBytes(std::span(file).subspan(static_cast<std::size_t>(sim::HeaderSize(variant))));
    }
    return log.Bytes();
}

// Start offsets of the records of a well-formed log, and its end.
std::vector<std::size_t> RecordStarts(const Bytes& log, int variant) {
    std::vector<std::size_t> starts;
    std::size_t at = static_cast<std::size_t>(sim::HeaderSize(variant));
    while (at + 2 <= log.size()) {
        starts.push_back(at);
        at += 2 + static_cast<std::size_t>(log[at] | log[at + 1] << 8);
    }
    starts.push_back(log.size());
    return starts;
}

// Thousands of conversions: each opens an input and an output with megabyte buffers, which the C
// library would hand back to the system and fault in again every time.
class KeepHeap {
  public:
    KeepHeap() {
        mallopt(M_MMAP_THRESHOLD, 64 << 20);
        mallopt(M_TRIM_THRESHOLD, 256 << 20);
    }
    ~KeepHeap() {
        mallopt(M_MMAP_THRESHOLD, 128 << 10);
        mallopt(M_TRIM_THRESHOLD, 128 << 10);
    }
};

TEST(TruncationTest, EveryCutOfASmallFileGivesALinePrefixOfTheWholeOutput) {
    const KeepHeap heap;
    const RamDir dir;
    const Bytes log = EveryScanKind(8);
    ASSERT_GT(log.size(), 4000u);
    ASSERT_LT(log.size(), 8000u);
    const ConversionSettings settings = SettingsFor(kAverageNone);
    const Converted full = Convert(dir, log, 8, settings);
    ASSERT_EQ(full.messages, kCompleted);
    ASSERT_GT(std::count(full.text.begin(), full.text.end(), '\n'), 20);

    std::size_t lastLength = 0;
    for (std::size_t cut = 0; cut <= log.size(); ++cut) {
        const Converted part = Convert(
            dir, Bytes(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(cut)), 8, settings);
        ASSERT_EQ(part.messages, kCompleted) << "cut at " << cut;
        ASSERT_TRUE(IsLinePrefix(part.text, full.text)) << "cut at " << cut << ":\n" << part.text;
        ASSERT_GE(part.text.size(), lastLength) << "a longer file gave less output, cut at " << cut;
        lastLength = part.text.size();
    }
    EXPECT_EQ(lastLength, full.text.size());
}

TEST(TruncationTest, RandomCutsOfSimulatedFilesOfEveryScanKind) {
    const RamDir dir;
    std::mt19937 random(8);
    int file = 0;
    for (int variant : {8, 9}) {
        for (sim::Scenario scenario : sim::AllScenarios()) {
            if (scenario == sim::Scenario::Bench)
                continue;  // the large single-frequency drive of the benchmark
            ++file;
            const Bytes log =
                sim::SimulateLog(scenario, variant, 100 + static_cast<std::uint64_t>(file), 90);
            // Each file under another average type and data source.
            const ConversionSettings settings =
                SettingsFor(std::array{kAverageNone, kAverageLambda, kAverageBestServer}[file % 3],
                            file % 4 == 3);
            const Converted full = Convert(dir, log, variant, settings);
            ASSERT_EQ(full.messages, kCompleted);
            const std::string name =
                std::string(sim::ScenarioName(scenario)) + " variant " + std::to_string(variant);
            for (int i = 0; i < 20; ++i) {
                const std::size_t cut =
                    std::uniform_int_distribution<std::size_t>(0, log.size() - 1)(random);
                const Converted part =
                    Convert(dir, Bytes(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(cut)),
                            variant, settings);
                ASSERT_EQ(part.messages, kCompleted) << name << ", cut at " << cut;
                ASSERT_TRUE(IsLinePrefix(part.text, full.text)) << name << ", cut at " << cut;
            }
        }
    }
}

TEST(TruncationTest, OverwrittenBytesLeaveTheOutputOfEarlierRecordsAlone) {
    const RamDir dir;
    std::mt19937 random(88);
    for (sim::Scenario scenario :
         {sim::Scenario::Mixed, sim::Scenario::Table, sim::Scenario::List}) {
        for (int variant : {8, 9}) {
            const Bytes log = sim::SimulateLog(scenario, variant, 7, 60);
            const ConversionSettings settings = SettingsFor(kAverageNone);
            for (int i = 0; i < 12; ++i) {
                Bytes damaged = log;
                const std::size_t at =
                    std::uniform_int_distribution<std::size_t>(0, log.size() - 1)(random);
                const std::size_t length =
                    std::uniform_int_distribution<std::size_t>(1, 64)(random);
                for (std::size_t k = at; k < std::min(log.size(), at + length); ++k)
                    damaged[k] = static_cast<std::uint8_t>(random());
                const Converted before =
                    Convert(dir, Bytes(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(at)),
                            variant, settings);
                const Converted result = Convert(dir, damaged, variant, settings);
                ASSERT_EQ(result.messages, kCompleted) << "damage at " << at;
                EXPECT_TRUE(IsLinePrefix(before.text, result.text))
                    << "damage at " << at << " length " << length;
            }
        }
    }
}

TEST(TruncationTest, RunsOfErasedFlashBetweenRecordsAreSkippedExactly) {
    const RamDir dir;
    std::mt19937 random(888);
    for (sim::Scenario scenario :
         {sim::Scenario::Mixed, sim::Scenario::SingleRtc, sim::Scenario::Table}) {
        for (int variant : {8, 9}) {
            const Bytes log = sim::SimulateLog(scenario, variant, 9, 60);
            const ConversionSettings settings = SettingsFor(kAverageNone);
            const Converted full = Convert(dir, log, variant, settings);
            const std::vector<std::size_t> starts = RecordStarts(log, variant);
            ASSERT_EQ(starts.back(), log.size());
            for (int i = 0; i < 6; ++i) {
                // 0xFF runs from two bytes to several blocks, between two records or after the
                // last.
                const std::size_t at = starts[std::uniform_int_distribution<std::size_t>(
                    1, starts.size() - 1)(random)];
                const std::size_t length =
                    std::array<std::size_t, 6>{2, 3, 255, 512, 4097, 9000}[i];
                Bytes damaged = log;
                damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(at), length, 0xFF);
                // The header's data end covers the longer file.
                const Bytes header = sim::EncodeHeader(variant, damaged.size());
                std::copy(header.begin(), header.end(), damaged.begin());
                const Converted result = Convert(dir, damaged, variant, settings);
                ASSERT_EQ(result.messages, kCompleted);
                EXPECT_EQ(result.text, full.text) << "0xFF x " << length << " at " << at;
                EXPECT_EQ(result.damage.damagedRecords, 1) << "0xFF x " << length << " at " << at;
                EXPECT_EQ(result.damage.skippedBytes, static_cast<std::int64_t>(length))
                    << "at " << at;
            }
        }
    }
}

}  // namespace
}  // namespace varistrum
