// SPDX-License-Identifier: GPL-3.0-or-later
// Checks of the simulated drive logs: framing, determinism, content of every scenario.
#include "tools/drive_simulator.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "logfile/bytes.h"
#include "tools/log_builder.h"

namespace varistrum::sim {
namespace {

struct Rec {
    std::uint8_t type;
    ByteSpan payload;  // after the type byte
};

// Walks the record chain independently of the reader: every length within 1..4096 and the
// chain ending exactly at DataEnd.
std::vector<Rec> Walk(const std::vector<std::uint8_t>& file, int variant) {
    const std::size_t headerSize = variant == 8 ? 6 : 10;
    std::uint64_t dataEnd = variant == 8 ? U16LE(file, 4) * 512ull + U16LE(file, 2)
                                         : U32LE(file, 6) * 512ull + U16LE(file, 4);
    if (dataEnd == 0) dataEnd = file.size();
    EXPECT_EQ(dataEnd, file.size());
    std::vector<Rec> records;
    std::size_t at = headerSize;
    while (at < dataEnd) {
        const std::size_t length = U16LE(file, at);
        if (length < 1 || length > 4096 || at + 2 + length > dataEnd) {
            ADD_FAILURE() << "bad record length " << length << " at " << at;
            return records;
        }
        records.push_back({file[at + 2], ByteSpan(file).subspan(at + 3, length - 1)});
        at += 2 + length;
    }
    EXPECT_EQ(at, dataEnd);
    return records;
}
std::vector<Rec> Walk(std::vector<std::uint8_t>&&, int) = delete;  // records point into the file

SimulationOptions Options(Scenario scenario, double seconds, std::uint64_t seed = 1,
                          int variant = 8) {
    SimulationOptions o;
    o.scenario = scenario;
    o.durationSeconds = seconds;
    o.seed = seed;
    o.variant = variant;
    return o;
}

std::size_t FirstIndexOf(const std::vector<Rec>& records, std::set<std::uint8_t> types) {
    for (std::size_t i = 0; i < records.size(); ++i)
        if (types.count(records[i].type)) return i;
    return records.size();
}

TEST(DriveSimulatorTest, EveryScenarioMakesAWellFramedFileWithItsRecordKinds) {
    const struct {
        Scenario scenario;
        std::set<std::uint8_t> present, absent;
        bool definitionFirst;  // a scan definition precedes the first time record
    } cases[] = {
        {Scenario::Mixed, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x55, 0x80, 0xC0, 0xC1, 0xD0}, {}, true},
        {Scenario::SingleGps, {0, 1, 2, 3, 5}, {4, 6, 7, 9, 0xC0}, true},
        {Scenario::SingleRtc, {1, 2, 3, 4, 5, 0xC0, 0xC1}, {0, 6, 7, 9}, true},
        {Scenario::List, {0, 1, 6, 7}, {2, 3, 4, 5, 9}, true},
        {Scenario::Table, {0, 1, 9}, {2, 3, 5, 6, 7}, false},
        {Scenario::NoFrequency, {0, 1, 2, 3}, {5, 6, 7, 9}, false},
        {Scenario::Bench, {0, 1, 2, 3, 5}, {4, 6, 7, 9, 0xC0, 0xC1}, true},
        {Scenario::Calibration, {0, 1, 2, 3, 5}, {4, 6, 7, 9, 0xC0, 0xC1}, true},
    };
    ASSERT_EQ(AllScenarios().size(), std::size(cases));
    for (const auto& c : cases) {
        const std::string name(ScenarioName(c.scenario));
        EXPECT_TRUE(ScenarioFromName(name) == c.scenario) << name;
        for (int variant : {8, 9}) {
            const auto file = SimulateLog(Options(c.scenario, 240, 7, variant));
            const auto records = Walk(file, variant);
            ASSERT_GT(records.size(), 100u) << name;
            const std::size_t textAt = variant == 8 ? 9 : 13;
            EXPECT_EQ(std::string(file.begin() + textAt, file.begin() + textAt + 9), "QTXTAVREL");
            EXPECT_EQ(records[0].type, 0x80) << name;
            std::set<std::uint8_t> seen;
            for (const Rec& r : records) seen.insert(r.type);
            for (std::uint8_t t : c.present) EXPECT_TRUE(seen.count(t)) << name << " lacks " << +t;
            for (std::uint8_t t : c.absent) EXPECT_FALSE(seen.count(t)) << name << " has " << +t;
            const std::size_t definition = FirstIndexOf(records, {5, 6});
            const std::size_t time = FirstIndexOf(records, {0, 4});
            if (c.definitionFirst) {
                EXPECT_LT(definition, time) << name;
            }
            // Every file starts with the receivers' plans before any data.
            EXPECT_LT(FirstIndexOf(records, {1}), FirstIndexOf(records, {2, 3, 7, 9})) << name;
        }
    }
    EXPECT_FALSE(ScenarioFromName("Mixed").has_value());
}

TEST(DriveSimulatorTest, SameSeedSameBytesOtherSeedOtherBytes) {
    for (Scenario scenario : AllScenarios()) {
        const auto a = SimulateLog(Options(scenario, 90, 11));
        EXPECT_EQ(a, SimulateLog(Options(scenario, 90, 11))) << ScenarioName(scenario);
        EXPECT_NE(a, SimulateLog(Options(scenario, 90, 12))) << ScenarioName(scenario);
    }
}

TEST(DriveSimulatorTest, MixedScenarioCoversTheDecoderEdges) {
    const auto file = SimulateLog(Options(Scenario::Mixed, 600));
    const auto records = Walk(file, 8);

    std::set<std::size_t> dataLengths;
    std::set<int> statuses;
    std::vector<int> goodSeconds;
    bool westAndEast[2] = {false, false};
    bool paddedList = false, paddedTable = false, highByteUsed = false, wrapPlan = false;
    bool markerSet = false;
    for (const Rec& r : records) {
        if (r.type == 2 || r.type == 3) dataLengths.insert(r.payload.size() + 1);
        if (r.type == 0) {
            const GpsBlock fix = GpsBlock::Decode(r.payload);
            statuses.insert(fix.statusCode);
            if (fix.statusCode >= 6) goodSeconds.push_back(fix.SecondOfDay());
            westAndEast[fix.longitudeA.milliArcSeconds > 0] = true;
        }
        if (r.type == 7)
            for (int e = 0; e < 5; ++e) paddedList |= r.payload[3 * e] == kNoReceiver;
        if (r.type == 9)
            for (int e = 0; e < 4; ++e) {
                paddedTable |= r.payload[4 * e] == kNoReceiver;
                highByteUsed |= r.payload[4 * e] != kNoReceiver && r.payload[4 * e + 2] != 0;
            }
        if (r.type == 1) wrapPlan |= FrequencyPlan::Decode(r.payload.subspan(13)).Wraps();
        if (r.type == 4) markerSet |= r.payload[6] != 0;
    }
    EXPECT_TRUE(dataLengths.count(2)) << "a data record without samples";
    EXPECT_TRUE(dataLengths.count(4096)) << "a data record of the longest length";
    EXPECT_TRUE(statuses.count(7) && statuses.count(6));
    EXPECT_TRUE(std::any_of(statuses.begin(), statuses.end(), [](int s) { return s < 6; }));
    EXPECT_TRUE(westAndEast[0] && westAndEast[1]) << "the route crosses the zero meridian";
    EXPECT_TRUE(paddedList && paddedTable && highByteUsed && wrapPlan && markerSet);

    // Outages between good fixes, both above and below the usual 30 s threshold.
    int longGaps = 0, mediumGaps = 0;
    for (std::size_t i = 1; i < goodSeconds.size(); ++i) {
        const int gap = goodSeconds[i] - goodSeconds[i - 1];
        longGaps += gap >= 30;
        mediumGaps += gap >= 10 && gap < 30;
    }
    EXPECT_GE(longGaps, 1);
    EXPECT_GE(mediumGaps, 1);

    // Samples measured before the first fix open the file.
    EXPECT_LT(FirstIndexOf(records, {2}), FirstIndexOf(records, {0, 4}));
}

TEST(DriveSimulatorTest, TableSweepsRiseAndRestartPerReceiver) {
    const auto file = SimulateLog(Options(Scenario::Table, 30));
    const auto records = Walk(file, 8);
    std::map<int, std::vector<int>> channels;  // receiver -> channel numbers in file order
    for (const Rec& r : records) {
        if (r.type != 9) continue;
        for (int e = 0; e < 4; ++e) {
            const int receiver = r.payload[4 * e];
            if (receiver == kNoReceiver) continue;
            channels[receiver].push_back(r.payload[4 * e + 1] +
                                         256 * static_cast<std::int8_t>(r.payload[4 * e + 2]) + 1);
        }
    }
    ASSERT_EQ(channels.size(), 2u);
    for (const auto& [receiver, list] : channels) {
        int restarts = 0;
        for (std::size_t i = 1; i < list.size(); ++i) restarts += list[i] <= list[i - 1];
        EXPECT_GE(restarts, 50) << receiver;  // two sweeps a second
        EXPECT_LE(restarts, 62) << receiver;
        EXPECT_GE(*std::min_element(list.begin(), list.end()), 1);
    }
}

TEST(DriveSimulatorTest, LevelsLookLikeADrive) {
    const auto file = SimulateLog(Options(Scenario::SingleGps, 300));
    const auto records = Walk(file, 8);
    std::vector<double> means;
    int fadingRecords = 0, sinceFix = 0, lastFixSecond = -1;
    std::set<int> recordsPerSecond;  // data records between fixes one second apart
    for (const Rec& r : records) {
        if (r.type == 0) {
            const int second = GpsBlock::Decode(r.payload).SecondOfDay();
            if (second == lastFixSecond + 1) recordsPerSecond.insert(sinceFix);
            lastFixSecond = second;
            sinceFix = 0;
        }
        if (r.type != 2 && r.type != 3) continue;
        ++sinceFix;
        const auto levels = r.payload.first(r.payload.size() - 1);
        ASSERT_GE(levels.size(), 90u);
        ASSERT_LE(levels.size(), 110u);
        int low = 0, high = -128, sum = 0;
        for (std::uint8_t b : levels) {
            const int level = static_cast<std::int8_t>(b);
            ASSERT_GE(level, -120);
            ASSERT_LE(level, -20);
            low = std::min(low, level);
            high = std::max(high, level);
            sum += level;
        }
        fadingRecords += high - low >= 10;
        means.push_back(static_cast<double>(sum) / static_cast<double>(levels.size()));
    }
    ASSERT_FALSE(means.empty());
    const auto [lo, hi] = std::minmax_element(means.begin(), means.end());
    EXPECT_GE(*hi - *lo, 15.0) << "path loss and shadowing change the local mean";
    EXPECT_GT(*lo, -121.0);
    EXPECT_LT(*hi, -40.0);
    EXPECT_GE(fadingRecords * 10, static_cast<int>(means.size()) * 9) << "fast fading";
    EXPECT_EQ(recordsPerSecond, std::set<int>{8}) << "4 records a second for each receiver";
}

TEST(DriveSimulatorTest, ClockCrossesMidnightAndYearEnd) {
    const struct {
        Scenario scenario;
        int year, month, day;
        int expectYear, expectMonth, expectDay;
    } cases[] = {
        {Scenario::SingleGps, 2026, 6, 15, 2026, 6, 16},
        {Scenario::SingleGps, 2026, 12, 31, 2027, 1, 1},
        {Scenario::SingleGps, 2028, 2, 28, 2028, 2, 29},
        {Scenario::SingleRtc, 2026, 6, 30, 2026, 7, 1},
    };
    for (const auto& c : cases) {
        SimulationOptions o = Options(c.scenario, 180);
        o.startSecondOfDay = 23 * 3600 + 58 * 60;
        o.startYear = c.year;
        o.startMonth = c.month;
        o.startDay = c.day;
        int lastSecond = -1, year = 0, month = 0, day = 0, wraps = 0;
        const auto file = SimulateLog(o);
        for (const Rec& r : Walk(file, 8)) {
            int second = -1;
            if (r.type == 0) {
                const GpsBlock fix = GpsBlock::Decode(r.payload);
                second = fix.SecondOfDay();
                year = fix.year;
                month = fix.month;
                day = fix.day;
            } else if (r.type == 4 && c.scenario == Scenario::SingleRtc) {
                const RtcClock rtc = RtcClock::Decode(r.payload);
                second = rtc.hours * 3600 + rtc.minutes * 60 + rtc.seconds;
                year = 2000 + rtc.year;
                month = rtc.month;
                day = rtc.day;
            }
            if (second < 0) continue;
            wraps += second < lastSecond;
            lastSecond = second;
        }
        EXPECT_EQ(wraps, 1) << c.year << "-" << c.month << "-" << c.day;
        EXPECT_EQ(year, c.expectYear);
        EXPECT_EQ(month, c.expectMonth);
        EXPECT_EQ(day, c.expectDay);
    }
}

TEST(DriveSimulatorTest, StreamedFileEqualsTheInMemoryOne) {
    SimulationOptions o = Options(Scenario::Mixed, 60, 5, 9);
    const std::string path = ::testing::TempDir() + "drive_simulator_stream.klf";
    SimulationSummary summary;
    std::string error;
    ASSERT_TRUE(WriteSimulatedLog(o, path, &error, &summary)) << error;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<std::uint8_t> read(summary.bytes + 1);
    read.resize(std::fread(read.data(), 1, read.size(), file));
    std::fclose(file);
    std::remove(path.c_str());
    EXPECT_EQ(read, SimulateLog(o));
    EXPECT_EQ(summary.seconds, 60);
    EXPECT_EQ(summary.records, Walk(read, 9).size());

    // By size: the drive ends with the first second that reaches it.
    o.sizeMb = 0.25;
    const auto sized = SimulateLog(o);
    EXPECT_GE(sized.size(), 262144u);
    EXPECT_LT(sized.size(), 262144u + 16384u);
    Walk(sized, 9);
}

TEST(DriveSimulatorTest, InvalidOptionsAreRefusedWithoutAFile) {
    SimulationOptions badVariant = Options(Scenario::Mixed, 10, 1, 7);
    SimulationOptions noLength = Options(Scenario::Mixed, 0);
    SimulationOptions badTime = Options(Scenario::Mixed, 10);
    badTime.startSecondOfDay = 86400;
    SimulationOptions badDate = Options(Scenario::Mixed, 10);
    badDate.startMonth = 2;
    badDate.startDay = 29;  // 2026 is no leap year
    const std::string path = ::testing::TempDir() + "drive_simulator_invalid.klf";
    for (const SimulationOptions& o : {badVariant, noLength, badTime, badDate}) {
        std::string error;
        EXPECT_FALSE(WriteSimulatedLog(o, path, &error));
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_THROW(SimulateLog(o), std::invalid_argument);
    }
    std::string error;
    EXPECT_FALSE(WriteSimulatedLog(Options(Scenario::Mixed, 10),
                                   ::testing::TempDir() + "no-such-dir/x.klf", &error));
}

#ifdef VARISTRUM_SIM
TEST(DriveSimulatorTest, CommandLineWritesTheSameFile) {
    const std::string path = ::testing::TempDir() + "drive_simulator_cli.klf";
    const std::string sim = VARISTRUM_SIM;
    const std::string command = sim + " --seed 9 --out " + path +
                                " --variant 9 --duration 40 --scenario single-rtc" +
                                " --start 23:59:50 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<std::uint8_t> read(1 << 20);
    read.resize(std::fread(read.data(), 1, read.size(), file));
    std::fclose(file);
    std::remove(path.c_str());
    SimulationOptions o = Options(Scenario::SingleRtc, 40, 9, 9);
    o.startSecondOfDay = 23 * 3600 + 59 * 60 + 50;
    EXPECT_EQ(read, SimulateLog(o));

    for (const char* bad : {"--seed 1", "--seed x --out f", "--seed 1 --out f --variant 7",
                            "--seed 1 --out f --scenario nope", "--seed 1 --out f --start 24:00:00",
                            "--seed 1 --out f --duration -3", "--seed 1 --out f --bogus 1"}) {
        const int status = std::system((sim + " " + bad + " 2>/dev/null").c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << bad;
    }
}
#endif

}  // namespace
}  // namespace varistrum::sim
