// Blocking hand-overs from the worker threads to the window's thread.
#include "app/gui_bridge.h"

#include <QCoreApplication>
#include <QThread>

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

void GuiIndexView::ShowWait() {
    RunInGuiThread(context_, [this] { target_.ShowWait(); });
}

void GuiIndexView::SetWaitGauge(int percent) {
    RunInGuiThread(context_, [this, percent] { target_.SetWaitGauge(percent); });
}

void GuiIndexView::HideWait() {
    RunInGuiThread(context_, [this] { target_.HideWait(); });
}

void GuiIndexView::ClearTree() {
    RunInGuiThread(context_, [this] { target_.ClearTree(); });
}

void GuiIndexView::AddRoot(int scanMode, const std::string& text) {
    RunInGuiThread(context_, [&] { target_.AddRoot(scanMode, text); });
}

void GuiIndexView::AddScanNode(int scanMode, int scanIndex, const std::string& text) {
    RunInGuiThread(context_, [&] { target_.AddScanNode(scanMode, scanIndex, text); });
}

void GuiIndexView::ExpandTree() {
    RunInGuiThread(context_, [this] { target_.ExpandTree(); });
}

void GuiIndexView::SetStatistics(const std::vector<std::string>& lines) {
    RunInGuiThread(context_, [&] { target_.SetStatistics(lines); });
}

void GuiIndexView::ShowDamage(const DamageCounters& damage) {
    RunInGuiThread(context_, [&] { target_.ShowDamage(damage); });
}

void GuiIndexView::ReportMessage(MessageKind kind, const std::string& text) {
    RunInGuiThread(context_, [&] { target_.ReportMessage(kind, text); });
}

void GuiJobObserver::SetProgress(int percent) {
    RunInGuiThread(context_, [this, percent] { target_.SetProgress(percent); });
}

void GuiJobObserver::ReportMessage(MessageKind kind, const std::string& text) {
    RunInGuiThread(context_, [&] { target_.ReportMessage(kind, text); });
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
