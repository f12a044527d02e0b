// SPDX-License-Identifier: GPL-3.0-or-later
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

class ConsoleObserver : public JobObserver {
  public:
    explicit ConsoleObserver(bool showProgress) : showProgress_(showProgress) {}
    void SetProgress(int percent) override;
    void ReportMessage(MessageKind kind, const std::string& text) override;

  private:
    void EndProgressLine();
    bool showProgress_;
    bool progressShown_ = false;
    std::mutex mutex_;
};

// A missing or unreadable input is named as such rather than reported as a foreign file.
// Returns false, after printing the reason, when `path` cannot be read.
bool CheckInputReadable(const std::string& path);

// Records the index pass into a scan tree and the statistics lines.
class IndexRecorder : public IndexView {
  public:
    explicit IndexRecorder(ConsoleObserver& console) : console_(console) {}
    void ShowWait() override {}
    void SetWaitGauge(int percent) override { console_.SetProgress(percent); }
    void HideWait() override {}
    void ClearTree() override { tree.Clear(); }
    void AddRoot(int scanMode, const std::string& text) override { tree.AddRoot(scanMode, text); }
    void AddScanNode(int scanMode, int scanIndex, const std::string& text) override {
        tree.AddScan(scanMode, scanIndex, text);
    }
    void ExpandTree() override {}
    void SetStatistics(const std::vector<std::string>& lines) override { statistics = lines; }
    void ReportMessage(MessageKind kind, const std::string& text) override {
        console_.ReportMessage(kind, text);
    }

    ScanTree tree;
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
