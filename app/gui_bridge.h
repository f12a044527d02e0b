// SPDX-License-Identifier: GPL-3.0-or-later
// Hands the workers' window changes to the window's thread, so that a worker never touches a
// widget and the window never sees a change out of order. Changes that only show progress are
// posted and the worker goes on; the calls that end a pass or ask the user wait.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "base/job_observer.h"
#include "index/average_information.h"
#include "index/make_index.h"

namespace varistrum {

// Runs `call` in the thread of `context` and returns when it is done; directly when the caller
// already is that thread (a blocking hand-over to one's own thread would never return).
void RunInGuiThread(QObject* context, const std::function<void()>& call);

// Keeps the window's events flowing until `done` holds, so that a worker blocked in a hand-over
// can finish. Used before a worker is destroyed, as its destructor waits for it.
void PumpEventsUntil(const std::function<bool()>& done);

// Calls for the window's thread, run there in the order they were made. A worker posts a
// change without waiting for the window: one hand-over runs every change posted meanwhile, so
// a pass costs the window one wake-up per batch rather than a round trip per change.
class GuiCallQueue {
  public:
    explicit GuiCallQueue(QObject* context);
    // Drops the changes not run yet: their window goes with the queue.
    ~GuiCallQueue();
    GuiCallQueue(const GuiCallQueue&) = delete;
    GuiCallQueue& operator=(const GuiCallQueue&) = delete;

    // Runs `call` in the window's thread after every call posted before it; returns at once.
    void Post(std::function<void()> call);
    // Runs every posted call and then `call` in the window's thread, and waits for them.
    void Run(const std::function<void()>& call);

  private:
    struct Pending;
    QObject* context_;
    std::shared_ptr<Pending> pending_;  // shared with the hand-overs in flight
};

class GuiIndexView : public IndexView {
  public:
    GuiIndexView(QObject* context, IndexView& target) : calls_(context), target_(target) {}
    // The pass's first change: waits until the window shows it.
    void ShowWait() override;
    void SetWaitGauge(int percent) override;
    void HideWait() override;
    void ClearTree() override;
    void AddRoot(int scanMode, const std::string& text) override;
    void AddScanNode(int scanMode, int scanIndex, const std::string& text) override;
    void ExpandTree() override;
    // The pass's last change: waits until the window shows it and everything before it.
    void SetStatistics(const std::vector<std::string>& lines) override;
    void ShowDamage(const DamageCounters& damage) override;
    void ReportMessage(MessageKind kind, const std::string& text) override;

  private:
    GuiCallQueue calls_;
    IndexView& target_;
};

class GuiJobObserver : public JobObserver {
  public:
    GuiJobObserver(QObject* context, JobObserver& target) : calls_(context), target_(target) {}
    void SetProgress(int percent) override;
    void ReportMessage(MessageKind kind, const std::string& text) override;

  private:
    GuiCallQueue calls_;
    JobObserver& target_;
};

class GuiGeneratorView : public GeneratorView {
  public:
    GuiGeneratorView(QObject* context, GeneratorView& target)
        : context_(context), target_(target) {}
    void SetPercent(int percent, const std::string& label) override;
    void ResetProgressBar() override;
    void ReportMessage(MessageKind kind, const std::string& text) override;

  private:
    QObject* context_;
    GeneratorView& target_;
};

}  // namespace varistrum
