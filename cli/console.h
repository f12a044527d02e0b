// Console side of the workers: messages and progress on stderr, Ctrl-C as CANCEL.
#pragma once

#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "convert/job_observer.h"
#include "index/make_index.h"
#include "index/scan_tree.h"

namespace varistrum::cli {

// Information lines are left out when quiet; warnings and errors are always written.
class ConsoleObserver : public JobObserver {
  public:
    ConsoleObserver(bool showProgress, bool quiet) : showProgress_(showProgress), quiet_(quiet) {}
    void SetProgress(int percent) override;
    void ReportMessage(MessageKind kind, const std::string& text) override;

  private:
    void EndProgressLine();
    bool showProgress_;
    bool quiet_;
    bool progressShown_ = false;
    std::mutex mutex_;
};

// A missing or unreadable input is named as such rather than reported as a foreign file.
// Returns false, after printing the reason, when `path` cannot be read.
bool CheckInputReadable(const std::string& path);

// A scan as `index` lists it: every numbered scan, with or without a tree node.
struct IndexedScan {
    int number = 0;
    int scanMode = -1;
    std::string name;
    bool node = true;  // false for a scan the window's tree does not show (a table scan)
};

// Records the index pass into a scan tree, the list of all scans and the statistics lines.
class IndexRecorder : public IndexView {
  public:
    explicit IndexRecorder(ConsoleObserver& console) : console_(console) {}
    void ShowWait() override {}
    void SetWaitGauge(int percent) override { console_.SetProgress(percent); }
    void HideWait() override {}
    void ClearTree() override {
        tree.Clear();
        scans.clear();
    }
    void AddRoot(int scanMode, const std::string& text) override { tree.AddRoot(scanMode, text); }
    void AddScanNode(int scanMode, int scanIndex, const std::string& text) override {
        tree.AddScan(scanMode, scanIndex, text);
        scans.push_back({scanIndex, scanMode, text, true});
    }
    void AddScanWithoutNode(int scanMode, int scanIndex, const std::string& name) override {
        scans.push_back({scanIndex, scanMode, name, false});
    }
    void ExpandTree() override {}
    void SetStatistics(const std::vector<std::string>& lines) override { statistics = lines; }
    void ReportMessage(MessageKind kind, const std::string& text) override {
        console_.ReportMessage(kind, text);
    }

    ScanTree tree;
    std::vector<IndexedScan> scans;  // in number order
    std::vector<std::string> statistics;

  private:
    ConsoleObserver& console_;
};

// While alive, SIGINT requests the stop of `source` instead of ending the process.
class InterruptStop {
  public:
    explicit InterruptStop(std::stop_source& source);
    ~InterruptStop();

  private:
    std::stop_source& source_;
    std::jthread watcher_;
};

}  // namespace varistrum::cli
