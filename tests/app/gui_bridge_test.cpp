// SPDX-License-Identifier: GPL-3.0-or-later
// The hand-over of a worker's window changes: posted without waiting, shown in the order of
// the pass, and all shown once the call that ends the pass returns.
#include "app/gui_bridge.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QTest>
#include <QThread>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace varistrum::test {
namespace {

// Records every change as text, with the thread that made it.
class RecordingView : public IndexView, public JobObserver {
  public:
    std::vector<std::string> calls;
    bool allInWindowThread = true;

    void ShowWait() override { Record("show"); }
    void SetWaitGauge(int percent) override { Record("gauge " + std::to_string(percent)); }
    void HideWait() override { Record("hide"); }
    void ClearTree() override { Record("clear"); }
    void AddRoot(int mode, const std::string& text) override {
        Record("root " + std::to_string(mode) + " " + text);
    }
    void AddScanNode(int mode, int scan, const std::string& text) override {
        Record("scan " + std::to_string(mode) + " " + std::to_string(scan) + " " + text);
    }
    void ExpandTree() override { Record("expand"); }
    void SetStatistics(const std::vector<std::string>& lines) override {
        Record("statistics " + lines.front());
    }
    void SetProgress(int percent) override { Record("progress " + std::to_string(percent)); }
    void ReportMessage(MessageKind, const std::string& text) override { Record("message " + text); }

  private:
    void Record(std::string call) {
        allInWindowThread =
            allInWindowThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        calls.push_back(std::move(call));
    }
};

// The calls of a pass with `scans` scans, as the index pass makes them.
std::vector<std::string> MakePass(IndexView& view, int scans, bool showWait = true) {
    std::vector<std::string> made;
    if (showWait) {
        view.ShowWait();
        made.push_back("show");
    }
    view.ClearTree();
    made.push_back("clear");
    view.AddRoot(19, "Single Frequency");
    made.push_back("root 19 Single Frequency");
    for (int scan = 1; scan <= scans; ++scan) {
        const std::string name = "GPS " + std::to_string(scan);
        view.AddScanNode(19, scan, name);
        made.push_back("scan 19 " + std::to_string(scan) + " " + name);
        if (scan % 10 == 0) {
            view.SetWaitGauge(scan / 10);
            made.push_back("gauge " + std::to_string(scan / 10));
        }
    }
    view.HideWait();
    made.push_back("hide");
    view.ExpandTree();
    made.push_back("expand");
    return made;
}

TEST(GuiBridgeTest, PassChangesArePostedAndShownInOrder) {
    QObject window;
    RecordingView target;
    GuiIndexView bridge(&window, target);
    std::vector<std::string> made;
    // The wait box is up before the pass begins.
    std::atomic<bool> shown{false};
    std::thread show([&] {
        bridge.ShowWait();
        shown = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.load(); }, 10000));
    show.join();
    EXPECT_EQ(target.calls, std::vector<std::string>{"show"});
    // The worker posts its tree changes and gauge without waiting for the window, which takes
    // no events meanwhile.
    std::thread worker([&] { made = MakePass(bridge, 1000, false); });
    worker.join();
    EXPECT_EQ(target.calls.size(), 1u);
    made.insert(made.begin(), "show");

    // The statistics end the pass: when they return, the window has shown everything before.
    std::atomic<bool> ended{false};
    std::thread end([&] {
        bridge.SetStatistics({"GPS Total Records = 0"});
        ended = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.load(); }, 10000));
    end.join();
    made.push_back("statistics GPS Total Records = 0");
    EXPECT_EQ(target.calls, made);
    EXPECT_TRUE(target.allInWindowThread);
}

TEST(GuiBridgeTest, ConversionProgressPrecedesItsMessage) {
    QObject window;
    RecordingView target;
    GuiJobObserver bridge(&window, target);
    std::atomic<bool> ended{false};
    std::thread worker([&] {
        for (int percent = 0; percent <= 100; ++percent) bridge.SetProgress(percent);
        bridge.ReportMessage(MessageKind::Information, "Conversion Has Been Completed!");
        ended = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.load(); }, 10000));
    worker.join();
    ASSERT_EQ(target.calls.size(), 102u);
    for (int percent = 0; percent <= 100; ++percent)
        EXPECT_EQ(target.calls[static_cast<std::size_t>(percent)],
                  "progress " + std::to_string(percent));
    EXPECT_EQ(target.calls.back(), "message Conversion Has Been Completed!");
    EXPECT_TRUE(target.allInWindowThread);
}

TEST(GuiBridgeTest, WindowThreadCallsRunAtOnceAndLeftoversAreDropped) {
    RecordingView target;
    {
        QObject window;
        GuiIndexView bridge(&window, target);
        // In the window's own thread (a pass run there) every change shows at once.
        EXPECT_EQ(MakePass(bridge, 20), target.calls);
        target.calls.clear();
        // Changes still on their way when the window goes are not shown on a gone window.
        std::thread worker([&] { MakePass(bridge, 5, false); });
        worker.join();
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(target.calls.empty());
}

}  // namespace
}  // namespace varistrum::test
