// SPDX-License-Identifier: GPL-3.0-or-later
// The index pass: scan tree, statistics, the frequencies flag and stopping.
#include "index/make_index.h"

#include <gtest/gtest.h>

#include "averaging/averaging_engine.h"
#include "index/scan_tree.h"
#include "support/test_files.h"
#include "tools/log_builder.h"

namespace varistrum {
namespace {

using sim::GpsFix;
using sim::LogBuilder;

using test::kBand800;

class TreeRecorder : public IndexView {
  public:
    void ShowWait() override { calls.push_back("show"); }
    void SetWaitGauge(int percent) override { gauge.push_back(percent); }
    void HideWait() override { calls.push_back("hide"); }
    void ClearTree() override { tree.Clear(); }
    void AddRoot(int mode, const std::string& text) override { tree.AddRoot(mode, text); }
    void AddScanNode(int mode, int index, const std::string& text) override {
        tree.AddScan(mode, index, text);
    }
    void AddScanWithoutNode(int mode, int index, const std::string& name) override {
        withoutNode.push_back(std::to_string(index) + " mode " + std::to_string(mode) + "/" + name);
    }
    void ExpandTree() override {}
    void SetStatistics(const std::vector<std::string>& lines) override { statistics = lines; }
    void ReportMessage(MessageKind kind, const std::string& text) override {
        calls.push_back(std::string(MessageCaption(kind)) + ": " + text);
    }
    ScanTree tree;
    std::vector<std::string> statistics, calls, withoutNode;
    std::vector<int> gauge;
};

struct Indexed {
    Indexed(const LogBuilder& log, int format = 8) {
        test::WriteFile(dir.File("f.klf"), log.Bytes());
        outcome = RunIndexPass(reader, format, dir.File("f.klf"), view, {});
    }
    std::vector<std::string> Scans() const {
        std::vector<std::string> scans;
        for (const ScanTreeNode& n : view.tree.Scans())
            scans.push_back(std::to_string(n.scanIndex) + " " +
                            std::string(view.tree.CategoryOf(n.scanIndex)) + "/" + n.text);
        return scans;
    }
    test::TempDir dir;
    AveragingEngine engine;
    TavrelReader reader;
    TreeRecorder view;
    IndexOutcome outcome;
};

GpsFix At(int second, int status = 7) {
    GpsFix fix;
    fix.seconds = second;
    fix.statusCode = status;
    return fix;
}

TEST(IndexPassTest, ScanBeforeTheFirstFixIsNamedByItAndTableScansGetNoNode) {
    LogBuilder log;
    std::array<std::uint32_t, 10> codes{68000};
    const sim::TableEntry table[1] = {{0, 3, -70}};
    const sim::ListEntry list[1] = {{0, 0, -60}};
    log.Config(1, kBand800, kBand800)
        .ScanList10(codes, {})
        .Gps(At(1))
        .ChannelList(list)
        .Gps(At(2, 6));
    log.ChannelTable(table).ChannelTable(table).Gps(At(3, 2)).ScanList10(codes, {}).ChannelList(
        list);
    Indexed index(log);
    EXPECT_EQ(index.outcome, IndexOutcome::Indexed);
    EXPECT_EQ(index.Scans(),
              (std::vector<std::string>{"1 List Data/GPS 12:00:01", "3 List Data/GPS 12:00:03"}));
    // The table scan keeps its number and the name in force when it began.
    EXPECT_EQ(index.view.withoutNode, std::vector<std::string>{"2 mode 1/GPS 12:00:02"});
    EXPECT_EQ(index.view.statistics,
              (std::vector<std::string>{"GPS Total Records = 3", "GPS 3D Lock Records = 1",
                                        "GPS 2D Lock Records = 1", "Rx1 Single Channel Records = 0",
                                        "Rx2 Single Channel Records = 0", "List Mode Records = 2",
                                        "Table Mode Records = 2"}));
    EXPECT_FALSE(index.reader.State().frequenciesNeeded);
    EXPECT_EQ(index.view.gauge.back(), 0);
}

TEST(IndexPassTest, PcCardFilesHaveNoRootsAndEmptyFilesStillShowSevenLines) {
    LogBuilder log(9);
    log.Rtc(1, 2, 3).ScanList32(68000, 0);
    Indexed index(log, 9);
    ASSERT_EQ(index.view.tree.NodeCount(), 1u);
    EXPECT_EQ(index.Scans(), std::vector<std::string>{"1 /RTC 01:02:03"});

    LogBuilder empty(8, false);
    Indexed none(empty);
    ASSERT_EQ(none.view.statistics.size(), 7u);
    EXPECT_EQ(none.view.statistics[6], "Table Mode Records = 0");
    EXPECT_EQ(none.view.tree.NodeCount(), 3u);  // the three roots only
}

TEST(IndexPassTest, FrequenciesAreNeededForReceiverDataWithoutASingleFrequencyScan) {
    const int samples[2] = {-60, -61};
    struct Case {
        int receiver;
        bool defineScan;
        bool needed;
    };
    for (const Case c : {Case{1, false, true}, Case{2, false, true}, Case{1, true, false}}) {
        LogBuilder log;
        log.Config(3, kBand800, kBand800).Rtc(1, 1, 1);
        if (c.defineScan) log.ScanList32(68000, 68000);
        log.Samples(c.receiver, samples);
        Indexed index(log);
        EXPECT_EQ(index.reader.State().frequenciesNeeded, c.needed) << c.receiver << c.defineScan;
    }
}

TEST(IndexPassTest, AMissingFileIsReportedAndAStopEndsThePassAtOnce) {
    TavrelReader reader;
    TreeRecorder view;
    EXPECT_EQ(RunIndexPass(reader, 8, "/nonexistent.klf", view, {}), IndexOutcome::OpenFailed);
    EXPECT_EQ(view.calls.back(), "Error: Input File Does Not Exist!");

    LogBuilder log;
    for (int i = 0; i < 1000; ++i) log.Rtc(1, 1, i % 60).ScanList32(68000, 0);
    test::TempDir dir;
    test::WriteFile(dir.File("f.klf"), log.Bytes());
    std::stop_source stop;
    stop.request_stop();
    TreeRecorder stopped;
    EXPECT_EQ(RunIndexPass(reader, 8, dir.File("f.klf"), stopped, stop.get_token()),
              IndexOutcome::Stopped);
    EXPECT_TRUE(stopped.tree.Scans().empty());
}

TEST(ScanTreeTest, RootsDoNotToggleScansDo) {
    ScanTree tree;
    tree.AddRoot(19, "Single Frequency");
    tree.AddScan(19, 1, "GPS 12:00:01");
    tree.AddScan(7, 2, "top level");
    EXPECT_FALSE(tree.Toggle(0));
    EXPECT_TRUE(tree.Toggle(1));
    EXPECT_TRUE(tree.Toggle(2));
    EXPECT_EQ(tree.ScanChecked(1), false);
    EXPECT_EQ(tree.ScanChecked(3), std::nullopt);
    const ScanSelectionSnapshot snapshot = tree.Snapshot();
    tree.Toggle(1);
    EXPECT_EQ(snapshot.ScanChecked(1), false);  // the snapshot does not follow later clicks
    EXPECT_EQ(snapshot.ScanChecked(2), false);
}

}  // namespace
}  // namespace varistrum
