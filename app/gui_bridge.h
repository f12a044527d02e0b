// Hands the workers' window changes to the window's thread and waits for each, so that a worker
// never touches a widget and the window never sees a change out of order.
#pragma once

#include <QObject>
#include <functional>

#include "averaging/make_list.h"
#include "convert/job_observer.h"
#include "index/make_index.h"

namespace varistrum {

// Runs `call` in the thread of `context` and returns when it is done; directly when the caller
// already is that thread (a blocking hand-over to one's own thread would never return).
void RunInGuiThread(QObject* context, const std::function<void()>& call);

// Keeps the window's events flowing until `done` holds, so that a worker blocked in a hand-over
// can finish. Used before a worker is destroyed, as its destructor waits for it.
void PumpEventsUntil(const std::function<bool()>& done);

class GuiIndexView : public IndexView {
  public:
    GuiIndexView(QObject* context, IndexView& target) : context_(context), target_(target) {}
    void ShowWait() override;
    void SetWaitGauge(int percent) override;
    void HideWait() override;
    void ClearTree() override;
    void AddRoot(int scanMode, const std::string& text) override;
    void AddScanNode(int scanMode, int scanIndex, const std::string& text) override;
    void ExpandTree() override;
    void SetStatistics(const std::vector<std::string>& lines) override;
    void ShowDamage(const DamageCounters& damage) override;
    void ReportMessage(MessageKind kind, const std::string& text) override;

  private:
    QObject* context_;
    IndexView& target_;
};

class GuiJobObserver : public JobObserver {
  public:
    GuiJobObserver(QObject* context, JobObserver& target) : context_(context), target_(target) {}
    void SetProgress(int percent) override;
    void ReportMessage(MessageKind kind, const std::string& text) override;

  private:
    QObject* context_;
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
