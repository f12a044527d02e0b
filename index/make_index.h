// SPDX-License-Identifier: GPL-3.0-or-later
// The index pass: scan tree, record statistics and the user-frequencies flag of a log file.
#pragma once

#include <atomic>
#include <functional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "base/job_observer.h"
#include "base/worker_thread.h"
#include "logfile/tavrel_reader.h"

namespace varistrum {

// What the index pass changes in its front end. The window runs each call in its own
// thread and waits for it; the command line records them directly.
class IndexView {
  public:
    virtual ~IndexView() = default;
    virtual void ShowWait() = 0;
    virtual void SetWaitGauge(int percent) = 0;
    virtual void HideWait() = 0;
    virtual void ClearTree() = 0;
    virtual void AddRoot(int scanMode, const std::string& text) = 0;
    virtual void AddScanNode(int scanMode, int scanIndex, const std::string& text) = 0;
    // A scan that takes a number but gets no tree node (a table scan); the tree ignores it.
    virtual void AddScanWithoutNode(int /*scanMode*/, int /*scanIndex*/,
                                    const std::string& /*name*/) {}
    virtual void ExpandTree() = 0;
    virtual void SetStatistics(const std::vector<std::string>& lines) = 0;
    virtual void ReportMessage(MessageKind kind, const std::string& text) = 0;
    // A failure concerning `path`, with the system's reason: the window shows the text alone.
    virtual void ReportFailure(MessageKind kind, const std::string& text,
                               const std::string& /*path*/, const std::string& /*reason*/) {
        ReportMessage(kind, text);
    }
    // Damage met in the file, after the statistics; only called when there was some.
    virtual void ShowDamage(const DamageCounters& /*damage*/) {}
};

// A view that shows nothing, for passes whose tree and gauge nobody looks at.
class SilentIndexView : public IndexView {
  public:
    void ShowWait() override {}
    void SetWaitGauge(int) override {}
    void HideWait() override {}
    void ClearTree() override {}
    void AddRoot(int, const std::string&) override {}
    void AddScanNode(int, int, const std::string&) override {}
    void ExpandTree() override {}
    void SetStatistics(const std::vector<std::string>&) override {}
    void ReportMessage(MessageKind, const std::string&) override {}
};

// The seven statistics lines of the counters.
std::vector<std::string> StatisticsLines(const StatisticsCounters& counters);
// The statistics line of the damage: "Damaged Records = N (M Bytes Skipped)".
std::string DamageLine(const DamageCounters& damage);

// ReadFailed: a read error, or the file became shorter while it was read.
enum class IndexOutcome { Indexed, OpenFailed, Stopped, ReadFailed };

// Each record the pass decodes, for a check that reads the file along with it.
using DecodedRecordObserver = std::function<void(const DecodedRecord&)>;

// Runs the whole pass on the calling thread.
IndexOutcome RunIndexPass(TavrelReader& reader, int inputFormat, const std::string& path,
                          IndexView& view, std::stop_token stop,
                          const DecodedRecordObserver& alongside = {});

// The index worker: starts running at once.
class TMakeIndex : public WorkerThread {
  public:
    TMakeIndex(TavrelReader& reader, int inputFormat, std::string path, IndexView& view);
    // Runs `pass` (an index pass of the caller's) on the worker's thread.
    TMakeIndex(std::function<IndexOutcome(std::stop_token)> pass, IndexView& view);
    ~TMakeIndex() { StopAndWait(); }
    IndexOutcome Outcome() const { return outcome_; }

  private:
    std::atomic<IndexOutcome> outcome_{IndexOutcome::Stopped};
};

}  // namespace varistrum
