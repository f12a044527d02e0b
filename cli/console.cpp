// SPDX-License-Identifier: GPL-3.0-or-later
// Console observer and the Ctrl-C handler.
#include "cli/console.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "base/abandonable_step.h"
#include "base/job_files.h"
#include "logfile/identify.h"
#include "workflow/workflow.h"

namespace varistrum::cli {

namespace {
volatile std::sig_atomic_t interrupted = 0;  // the signal's number
extern "C" void OnInterrupt(int signal) {
    interrupted = signal;
}
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace

void ConsoleObserver::SetProgress(int percent) {
    if (!showProgress_) return;
    std::lock_guard lock(mutex_);
    const int width = 40;
    const int filled = percent * width / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(width - filled), '.');
    std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), percent);
    std::fflush(stderr);
    progressShown_ = true;
}

void ConsoleObserver::EndProgressLine() {
    if (progressShown_) std::fputc('\n', stderr);
    progressShown_ = false;
}

void ConsoleObserver::ReportMessage(MessageKind kind, const std::string& text) {
    if (quiet_ && kind == MessageKind::Information) return;
    std::lock_guard lock(mutex_);
    EndProgressLine();
    std::fprintf(stderr, "%s: %s\n", MessageCaption(kind), text.c_str());
}

void ConsoleObserver::ReportFailure(MessageKind kind, const std::string& text,
                                    const std::string& path, const std::string& reason) {
    std::string line = text;
    if (!path.empty()) line += " '" + path + "'";
    if (!reason.empty()) line += ": " + reason;
    ReportMessage(kind, line);
}

void ConsoleObserver::ReportDamage(const std::string& path, const DamageCounters& damage) {
    std::string text = DamageText(damage);
    if (!path.empty()) text += " in '" + path + "'";
    ReportMessage(MessageKind::Warning, text);
}

void ConsoleObserver::ReportSummary(const JobSummary& summary) {
    using State = FileReport::State;
    const bool cancelled = summary.Count(State::Partial) > 0;
    std::lock_guard lock(mutex_);
    EndProgressLine();
    for (const FileReport& file : summary.files) {
        const std::string name = NameOf(file.input);
        if (file.state == State::Skipped)
            std::fprintf(stderr, "Skipped %s: %s\n", name.c_str(), file.reason.c_str());
        else if (file.state == State::Failed)
            std::fprintf(stderr, "Failed %s: %s\n", name.c_str(), file.reason.c_str());
        else if (cancelled && file.state == State::Converted)
            std::fprintf(stderr, "Converted %s\n", name.c_str());
        else if (file.state == State::Partial)
            std::fprintf(stderr, "Partial %s\n", name.c_str());
    }
    std::fprintf(stderr, "%s\n", summary.CountsLine().c_str());
}

InterruptStop::InterruptStop(std::stop_source& source, std::function<void()> onAbandon)
    : source_(source) {
    interrupted = 0;
    for (const int signal : kStopSignals) std::signal(signal, OnInterrupt);
    watcher_ = std::jthread([this, onAbandon = std::move(onAbandon)](std::stop_token stop) {
        while (!stop.stop_requested()) {
            if (interrupted) {
                source_.request_stop();
                // The job stops by itself between records and features; a step that cannot
                // be interrupted is abandoned.
                if (AbandonStepUnderWay()) {
                    if (onAbandon) onAbandon();
                    std::fflush(nullptr);
                    std::_Exit(128 + interrupted);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
}

InterruptStop::~InterruptStop() {
    watcher_.request_stop();
    watcher_.join();
    for (const int signal : kStopSignals) std::signal(signal, SIG_DFL);
}

int InterruptStop::Signal() const {
    return interrupted;
}

bool CheckInputReadable(const std::string& path) {
    const std::string reason = InputFailureReason(path);
    if (reason.empty()) return true;
    if (reason == kNotRegularFile)
        std::fprintf(stderr, "Error: '%s' is not a regular file.\n", path.c_str());
    else
        std::fprintf(stderr, "Error: Cannot open '%s': %s\n", path.c_str(), reason.c_str());
    return false;
}

std::optional<int> ReadableLogFormat(const std::string& path, ConsoleObserver& console) {
    const IdentifiedLog log = Workflow::Identify(path);
    if (log.Recognised()) return log.format;
    if (log.refusal == kNotRegularFile)
        std::fprintf(stderr, "Error: '%s' is not a regular file.\n", path.c_str());
    else if (!log.reason.empty())
        std::fprintf(stderr, "Error: Cannot open '%s': %s\n", path.c_str(), log.reason.c_str());
    else
        console.ReportMessage(MessageKind::Error, log.refusal);
    return std::nullopt;
}

int CheckedStdout(int status) {
    errno = 0;  // the failing write's reason, not an older one
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno != 0 ? errno : EIO;
    if (flushed && !std::ferror(stdout) && std::cout.good()) return status;
    std::fprintf(stderr, "Error: Cannot write to standard output: %s\n", std::strerror(error));
    return 1;
}

}  // namespace varistrum::cli
