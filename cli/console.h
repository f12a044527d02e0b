// SPDX-License-Identifier: GPL-3.0-or-later
// Console side of the workers: messages and progress on stderr, Ctrl-C as CANCEL.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "base/job_observer.h"
#include "index/make_index.h"
#include "index/scan_tree.h"

namespace varistrum::cli {

// Information lines are left out when quiet; warnings and errors are always written.
class ConsoleObserver : public JobObserver {
  public:
    ConsoleObserver(bool showProgress, bool quiet) : showProgress_(showProgress), quiet_(quiet) {}
    void SetProgress(int percent) override;
    void ReportMessage(MessageKind kind, const std::string& text) override;
    // "Error: Output File Cannot Be Accessed! 'out/a.out': No space left on device"
    void ReportFailure(MessageKind kind, const std::string& text, const std::string& path,
                       const std::string& reason) override;
    // "Warning: N damaged record(s), M byte(s) skipped", with " in 'path'" in a folder job.
    void ReportDamage(const std::string& path, const DamageCounters& damage) override;
    // The skipped and failed files one per line (on cancel also the finished and the partial
    // ones), then "3 converted, 2 skipped".
    void ReportSummary(const JobSummary& summary) override;

  private:
    void EndProgressLine();
    bool showProgress_;
    bool quiet_;
    bool progressShown_ = false;
    std::mutex mutex_;
};

// A missing or unreadable input is named as such rather than reported as a foreign file; a
// named pipe or device is refused without being opened, so nothing blocks.
// Returns false, after printing the reason, when `path` cannot be read.
bool CheckInputReadable(const std::string& path);

// The input format of a readable log; nullopt, after saying why, for an input that cannot be
// read or is not a log.
std::optional<int> ReadableLogFormat(const std::string& path, ConsoleObserver& console);

// Flushes standard output; when a write to it failed, says so and gives exit status 1,
// otherwise `status`.
int CheckedStdout(int status);

// Records the index pass into a scan tree (which also lists the scans without a node) and the
// statistics lines.
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
    void AddScanWithoutNode(int scanMode, int scanIndex, const std::string& name) override {
        tree.AddScanWithoutNode(scanMode, scanIndex, name);
    }
    void ExpandTree() override {}
    void SetStatistics(const std::vector<std::string>& lines) override { statistics = lines; }
    void ReportMessage(MessageKind kind, const std::string& text) override {
        console_.ReportMessage(kind, text);
    }
    void ReportFailure(MessageKind kind, const std::string& text, const std::string& path,
                       const std::string& reason) override {
        console_.ReportFailure(kind, text, path, reason);
    }

    ScanTree tree;
    std::vector<std::string> statistics;

  private:
    ConsoleObserver& console_;
};

// While alive, SIGINT, SIGTERM and SIGHUP request the stop of `source` instead of ending the
// process. When the stop comes while a step that cannot be interrupted is under way (GDAL
// finishing a map layer), its temporary folders are removed, `onAbandon` says so, and the
// process ends at once with the shell's status.
class InterruptStop {
  public:
    explicit InterruptStop(std::stop_source& source, std::function<void()> onAbandon = {});
    ~InterruptStop();
    // The signal that requested the stop; 0 when none did.
    int Signal() const;
    // The shell's status for a job that ended on a signal (128 + its number), else `status`.
    int ExitStatus(int status) const { return Signal() != 0 ? 128 + Signal() : status; }

  private:
    std::stop_source& source_;
    std::jthread watcher_;
};

}  // namespace varistrum::cli
