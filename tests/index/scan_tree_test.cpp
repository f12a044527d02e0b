// SPDX-License-Identifier: GPL-3.0-or-later
// The compact scan tree: names, categories, check states and the scans without a node.
#include "index/scan_tree.h"

#include <gtest/gtest.h>

namespace varistrum {
namespace {

// Every listed scan as "number category/name state", state x, space or - (no node).
std::vector<std::string> Listing(const ScanTree& tree) {
    std::vector<std::string> lines;
    tree.ForEachScan([&](int scan, bool node) {
        const std::optional<bool> checked = tree.ScanChecked(scan);
        lines.push_back(std::to_string(scan) + " " + std::string(tree.CategoryOf(scan)) + "/" +
                        std::string(tree.NameOf(scan)) + " " +
                        (!node                     ? "-"
                         : checked.value_or(false) ? "x"
                                                   : " "));
    });
    return lines;
}

ScanTree Sample() {
    ScanTree tree;
    tree.AddRoot(0, "Single Frequency");
    tree.AddRoot(1, "List Data");
    tree.AddScan(0, 1, "GPS 12:00:01");
    tree.AddScan(1, 2, "GPS 12:00:01");  // the name before, shared
    tree.AddScanWithoutNode(2, 3, "GPS 12:00:02");
    tree.AddScan(1, 4, "");
    tree.AddScan(0, 5, "GPS 12:00:01");  // a name seen before, not just before
    tree.AddScan(7, 6, "RTC 01:02:03");  // a mode without a root: top level
    tree.AddScan(-1, 7, "<Timestamp Not Available>");
    return tree;
}

TEST(ScanTreeTest, ListsEveryScanWithItsCategoryNameAndNode) {
    const ScanTree tree = Sample();
    EXPECT_EQ(Listing(tree),
              (std::vector<std::string>{"1 Single Frequency/GPS 12:00:01 x",
                                        "2 List Data/GPS 12:00:01 x", "3 /GPS 12:00:02 -",
                                        "4 List Data/ x", "5 Single Frequency/GPS 12:00:01 x",
                                        "6 /RTC 01:02:03 x", "7 /<Timestamp Not Available> x"}));
    EXPECT_EQ(tree.NodeCount(), 8u);  // two roots, six scan nodes
    EXPECT_EQ(tree.RootOf(2), 1);
    EXPECT_EQ(tree.RootOf(3), -1);
    EXPECT_EQ(tree.RootOf(6), -1);
    const std::vector<ScanTreeNode> scans = tree.Scans();
    ASSERT_EQ(scans.size(), 6u);
    EXPECT_EQ(scans[2].scanIndex, 4);
    EXPECT_EQ(scans[2].scanMode, 1);
    EXPECT_EQ(scans[5].scanMode, -1);
    EXPECT_EQ(scans[5].text, "<Timestamp Not Available>");
    // A scan added with a root of its mode still missing stays at the top level.
    ScanTree late;
    late.AddScan(1, 1, "a");
    late.AddRoot(1, "List Data");
    late.AddScan(1, 2, "b");
    EXPECT_EQ(Listing(late), (std::vector<std::string>{"1 /a x", "2 List Data/b x"}));
}

TEST(ScanTreeTest, OnlyScanNodesToggleAndTheSnapshotKeepsTheirStates) {
    ScanTree tree = Sample();
    struct Case {
        int scan;
        bool toggles;
    };
    for (const Case c : {Case{1, true}, Case{3, false}, Case{0, false}, Case{-1, false},
                         Case{8, false}, Case{1000, false}}) {
        EXPECT_EQ(tree.Toggle(c.scan), c.toggles) << c.scan;
        EXPECT_EQ(tree.ScanChecked(c.scan).has_value(), c.toggles) << c.scan;
    }
    tree.SetChecked(6, false);
    tree.SetChecked(6, false);
    tree.SetChecked(3, false);  // no node: nothing to uncheck
    const ScanSelectionSnapshot snapshot = tree.Snapshot();
    tree.Toggle(2);  // later changes do not reach the snapshot
    for (int scan = -1; scan <= 9; ++scan) {
        const std::optional<bool> expected = scan == 1 || scan == 6 ? std::optional<bool>(false)
                                             : scan == 2 || scan == 4 || scan == 5 || scan == 7
                                                 ? std::optional<bool>(true)
                                                 : std::nullopt;
        EXPECT_EQ(snapshot.ScanChecked(scan), expected) << scan;
    }
    EXPECT_EQ(tree.ScanChecked(2), false);

    tree.Clear();
    EXPECT_EQ(tree.NodeCount(), 0u);
    EXPECT_TRUE(Listing(tree).empty());
    EXPECT_EQ(tree.ScanChecked(1), std::nullopt);
    tree.AddScan(0, 1, "again");
    EXPECT_EQ(Listing(tree), std::vector<std::string>{"1 /again x"});
}

}  // namespace
}  // namespace varistrum
