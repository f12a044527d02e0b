// SPDX-License-Identifier: GPL-3.0-or-later
// Whole simulator files of every scan kind: the statistics equal what the file holds.
#include <gtest/gtest.h>

#include "averaging/averaging_engine.h"
#include "index/make_index.h"
#include "logfile/bytes.h"
#include "support/test_files.h"

namespace varistrum {
namespace {

// Counts of a file's records by walking its framing directly.
StatisticsCounters CountRecords(const std::string& text, int headerSize, int* scanDefinitions) {
    const ByteSpan bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    StatisticsCounters counts;
    *scanDefinitions = 0;
    bool inTable = false;
    for (std::size_t at = static_cast<std::size_t>(headerSize); at + 2 < bytes.size();) {
        const std::size_t length = U16LE(bytes, at);
        const std::uint8_t type = U8(bytes, at + 2);
        if (type == GpsRecord) {
            ++counts.gpsTotal;
            const int status = U8(bytes, at + 3 + 129) >> 5;
            counts.gps3dLock += status == 7;
            counts.gps2dLock += status == 6;
        }
        counts.rx1Single += type == Receiver1DataRecord;
        counts.rx2Single += type == Receiver2DataRecord;
        counts.listMode += type == ChannelListRecord;
        counts.tableMode += type == ChannelTableRecord;
        if (type == ScanList32Record || type == ScanList10Record) {
            ++*scanDefinitions;
            inTable = false;
        } else if (type == ChannelTableRecord && !inTable) {
            ++*scanDefinitions;
            inTable = true;
        }
        at += 2 + length;
    }
    return counts;
}

class Recorder : public SilentIndexView {
  public:
    void AddScanNode(int, int index, const std::string&) override { nodes.push_back(index); }
    void SetStatistics(const std::vector<std::string>& lines) override { statistics = lines; }
    std::vector<int> nodes;
    std::vector<std::string> statistics;
};

TEST(SimulatedFilesTest, StatisticsAndScanNumbersMatchTheRecordsWritten) {
    test::TempDir dir;
    for (const char* scenario :
         {"mixed", "single-gps", "single-rtc", "list", "table", "no-frequency"}) {
        for (int variant : {8, 9}) {
            const std::string path = test::Simulate(dir, scenario, 21, 150, variant);
            int definitions = 0;
            const StatisticsCounters expected =
                CountRecords(test::ReadFile(path), variant == 8 ? 6 : 10, &definitions);
            TavrelReader reader;
            Recorder view;
            ASSERT_EQ(RunIndexPass(reader, variant, path, view, {}), IndexOutcome::Indexed);
            const StatisticsCounters& got = reader.State().counters;
            EXPECT_EQ(got.gpsTotal, expected.gpsTotal) << scenario;
            EXPECT_EQ(got.gps3dLock, expected.gps3dLock) << scenario;
            EXPECT_EQ(got.gps2dLock, expected.gps2dLock) << scenario;
            EXPECT_EQ(got.rx1Single, expected.rx1Single) << scenario;
            EXPECT_EQ(got.rx2Single, expected.rx2Single) << scenario;
            EXPECT_EQ(got.listMode, expected.listMode) << scenario;
            EXPECT_EQ(got.tableMode, expected.tableMode) << scenario;
            EXPECT_EQ(reader.Damage().damagedRecords, 0) << scenario;
            // Scan definitions before the first time record share its start.
            EXPECT_LE(reader.State().ScanIndex, definitions) << scenario;
            EXPECT_GE(reader.State().ScanIndex, definitions - 1) << scenario;
            for (std::size_t i = 1; i < view.nodes.size(); ++i)
                EXPECT_LT(view.nodes[i - 1], view.nodes[i]);
            EXPECT_EQ(reader.State().frequenciesNeeded, std::string(scenario) == "no-frequency")
                << scenario;
        }
    }
}

}  // namespace
}  // namespace varistrum
