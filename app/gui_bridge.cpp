// SPDX-License-Identifier: GPL-3.0-or-later
// Hand-overs from the worker threads to the window's thread.
#include "app/gui_bridge.h"

#include <QCoreApplication>
#include <QThread>
#include <mutex>
#include <vector>

namespace varistrum {

void RunInGuiThread(QObject* context, const std::function<void()>& call) {
    if (QThread::currentThread() == context->thread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(context, call, Qt::BlockingQueuedConnection);
}

void PumpEventsUntil(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
}

struct GuiCallQueue::Pending {
    std::mutex mutex;
    std::vector<std::function<void()>> calls;
    bool handOverPosted = false;  // a hand-over that will run `calls` is on its way
    bool dropped = false;         // the queue has gone: nothing more runs

    // In the window's thread: every call posted so far, in order.
    void RunAll() {
        std::vector<std::function<void()>> due;
        {
            const std::lock_guard lock(mutex);
            if (dropped) return;
            due.swap(calls);
            handOverPosted = false;
        }
        for (const auto& call : due) call();
    }
};

GuiCallQueue::GuiCallQueue(QObject* context)
    : context_(context), pending_(std::make_shared<Pending>()) {}

GuiCallQueue::~GuiCallQueue() {
    const std::lock_guard lock(pending_->mutex);
    pending_->calls.clear();
    pending_->dropped = true;
}

void GuiCallQueue::Post(std::function<void()> call) {
    if (QThread::currentThread() == context_->thread()) {
        pending_->RunAll();
        call();
        return;
    }
    {
        const std::lock_guard lock(pending_->mutex);
        pending_->calls.push_back(std::move(call));
        if (pending_->handOverPosted) return;
        pending_->handOverPosted = true;
    }
    // Queued to the window's event loop; a change posted before it runs rides along.
    QMetaObject::invokeMethod(
        context_, [pending = pending_] { pending->RunAll(); }, Qt::QueuedConnection);
}

void GuiCallQueue::Run(const std::function<void()>& call) {
    RunInGuiThread(context_, [this, &call] {
        pending_->RunAll();
        call();
    });
}

void GuiIndexView::ShowWait() {
    // Waits, so that the wait box is up before the pass begins, as long as it runs.
    calls_.Run([this] { target_.ShowWait(); });
}

void GuiIndexView::SetWaitGauge(int percent) {
    calls_.Post([this, percent] { target_.SetWaitGauge(percent); });
}

void GuiIndexView::HideWait() {
    calls_.Post([this] { target_.HideWait(); });
}

void GuiIndexView::ClearTree() {
    calls_.Post([this] { target_.ClearTree(); });
}

void GuiIndexView::AddRoot(int scanMode, const std::string& text) {
    calls_.Post([this, scanMode, text] { target_.AddRoot(scanMode, text); });
}

void GuiIndexView::AddScanNode(int scanMode, int scanIndex, const std::string& text) {
    calls_.Post(
        [this, scanMode, scanIndex, text] { target_.AddScanNode(scanMode, scanIndex, text); });
}

void GuiIndexView::ExpandTree() {
    calls_.Post([this] { target_.ExpandTree(); });
}

void GuiIndexView::SetStatistics(const std::vector<std::string>& lines) {
    calls_.Run([&] { target_.SetStatistics(lines); });
}

void GuiIndexView::ShowDamage(const DamageCounters& damage) {
    calls_.Run([&] { target_.ShowDamage(damage); });
}

void GuiIndexView::ReportMessage(MessageKind kind, const std::string& text) {
    calls_.Run([&] { target_.ReportMessage(kind, text); });
}

void GuiJobObserver::SetProgress(int percent) {
    calls_.Post([this, percent] { target_.SetProgress(percent); });
}

void GuiJobObserver::ReportMessage(MessageKind kind, const std::string& text) {
    calls_.Run([&] { target_.ReportMessage(kind, text); });
}

void GuiGeneratorView::SetPercent(int percent, const std::string& label) {
    RunInGuiThread(context_, [&] { target_.SetPercent(percent, label); });
}

void GuiGeneratorView::ResetProgressBar() {
    RunInGuiThread(context_, [this] { target_.ResetProgressBar(); });
}

void GuiGeneratorView::ReportMessage(MessageKind kind, const std::string& text) {
    RunInGuiThread(context_, [&] { target_.ReportMessage(kind, text); });
}

}  // namespace varistrum
