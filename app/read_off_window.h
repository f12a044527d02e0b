// SPDX-License-Identifier: GPL-3.0-or-later
// A read of the input on a thread of its own while the window keeps painting.
#pragma once

#include <QApplication>
#include <QThread>
#include <atomic>
#include <exception>
#include <optional>
#include <thread>

#include "app/ui_hooks.h"
#include "base/resource_error.h"

namespace varistrum {

// Runs a read of the input on a thread of its own; the window keeps painting meanwhile but takes
// no input, so nothing else starts on the reader. Nothing when the read ran out of memory (or
// of room for a temporary file): an error box has said so.
template <class Job>
auto ReadOffTheWindow(Job&& job) {
    std::optional<decltype(job())> result;
    std::exception_ptr failure;
    std::atomic<bool> done{false};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    {
        std::jthread reading([&] {
            try {
                result.emplace(job());
            } catch (...) {
                failure = std::current_exception();
            }
            done = true;
        });
        while (!done) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
            QThread::msleep(1);
        }
    }
    QApplication::restoreOverrideCursor();
    if (failure) {
        varistrum::ReportMessage(MessageKind::Error,
                                 QText(FailureSentence(FailureTextOf(failure))));
    }
    return result;
}

}  // namespace varistrum
