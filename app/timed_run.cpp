// SPDX-License-Identifier: GPL-3.0-or-later
// The window driven through its own controls, as a user would, with a clock on each pass.
#include "app/timed_run.h"

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include "app/main_form.h"
#include "app/ui_hooks.h"

namespace varistrum {

namespace {

const QString kCompleted = QStringLiteral("Conversion Has Been Completed!");

QElapsedTimer& Clock() {
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock;
}

// Processor seconds of every thread of the program so far: the window's and the worker's.
double ProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

TimedRun::TimedRun(TMainForm& form, QString log, QString output, QTextStream& errors,
                   QTextStream* times)
    : QObject(&form),
      form_(form),
      log_(std::move(log)),
      output_(std::move(output)),
      errors_(errors),
      times_(times) {}

TimedRun::~TimedRun() {
    ResetHooks();
}

void TimedRun::Start() {
    Hooks().message = [this](MessageKind kind, const QString& text) {
        Message(static_cast<int>(kind), text);
    };
    Hooks().runModal = [](QDialog&) { return static_cast<int>(QDialog::Rejected); };
    Hooks().choosePath = [this](PathPrompt prompt, QWidget*, const QString&) {
        return prompt == PathPrompt::SaveOutput ? output_ : QString();
    };
    if (form_.ReaderBusy()) form_.StopWorkers();  // a pass that the configuration started
    connect(&form_, &TMainForm::IndexPassShown, this, &TimedRun::IndexPassShown);
    StartClock();
    form_.BrowseInput(log_);
}

void TimedRun::StartClock() {
    passStart_ = Clock().nsecsElapsed();
    processorStart_ = ProcessorSeconds();
}

void TimedRun::PrintTime(const char* pass) {
    if (times_ == nullptr) return;
    const double seconds = static_cast<double>(Clock().nsecsElapsed() - passStart_) * 1e-9;
    *times_ << pass << ' ' << QString::number(seconds, 'f', 3) << " s, processor "
            << QString::number(ProcessorSeconds() - processorStart_, 'f', 3) << " s\n";
}

void TimedRun::IndexPassShown() {
    PrintTime("index pass");
    StartConversionWhenIdle();
}

void TimedRun::StartConversionWhenIdle() {
    // The worker returns just after the window has shown its last change; the buttons that
    // start a pass come back when the window sees it has.
    auto* convert = form_.findChild<QPushButton*>(QStringLiteral("btnConvert"));
    if (form_.ReaderBusy() || !convert->isEnabled()) {
        QTimer::singleShot(1, this, &TimedRun::StartConversionWhenIdle);
        return;
    }
    if (output_.isEmpty()) {
        Finish(0);
        return;
    }
    form_.findChild<QPushButton*>(QStringLiteral("OutBrowse"))->click();
    converting_ = true;
    StartClock();
    convert->click();
}

void TimedRun::Message(int kind, const QString& text) {
    if (converting_ && text == kCompleted) {
        PrintTime("conversion");
        Finish(0);
        return;
    }
    errors_ << MessageCaption(static_cast<MessageKind>(kind)) << ": " << text << '\n';
    // Every other message of a pass ends it: a warning, an error, a cancel or an abort.
    Finish(1);
}

void TimedRun::Finish(int status) {
    if (finished_) return;
    finished_ = true;
    errors_.flush();
    if (times_ != nullptr) times_->flush();
    QCoreApplication::exit(status);
}

}  // namespace varistrum
