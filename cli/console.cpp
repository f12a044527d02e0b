// SPDX-License-Identifier: GPL-3.0-or-later
// Console observer and the Ctrl-C handler.
#include "cli/console.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace varistrum::cli {

namespace {
volatile std::sig_atomic_t interrupted = 0;
extern "C" void OnInterrupt(int) {
    interrupted = 1;
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
    std::lock_guard lock(mutex_);
    EndProgressLine();
    std::fprintf(stderr, "%s: %s\n", MessageCaption(kind), text.c_str());
}

InterruptStop::InterruptStop(std::stop_source& source) : source_(source) {
    interrupted = 0;
    std::signal(SIGINT, OnInterrupt);
    watcher_ = std::jthread([this](std::stop_token stop) {
        while (!stop.stop_requested()) {
            if (interrupted) {
                source_.request_stop();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
}

InterruptStop::~InterruptStop() {
    watcher_.request_stop();
    watcher_.join();
    std::signal(SIGINT, SIG_DFL);
}

bool CheckInputReadable(const std::string& path) {
    errno = 0;
    std::error_code ignored;
    const bool folder = std::filesystem::is_directory(path, ignored);
    if (!folder && std::ifstream(path, std::ios::binary).is_open()) return true;
    const char* reason = folder       ? std::strerror(EISDIR)
                         : errno != 0 ? std::strerror(errno)
                                      : "cannot be read";
    std::fprintf(stderr, "Error: Cannot open '%s': %s\n", path.c_str(), reason);
    return false;
}

}  // namespace varistrum::cli
