// SPDX-License-Identifier: GPL-3.0-or-later
// A worker thread with a stop request, the common part of the conversion, index and
// average-information workers.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <stop_token>
#include <string>
#include <thread>

#include "base/resource_error.h"

namespace varistrum {

class WorkerThread {
  public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Asks the job to stop; it ends after its current record.
    void Terminate() {
        if (thread_.joinable()) thread_.request_stop();
    }
    void WaitFor() {
        if (thread_.joinable()) thread_.join();
    }
    bool Started() const { return started_; }
    bool Finished() const { return finished_; }
    // Valid once Finished(): why the job ended early ("Not enough memory."); empty when it ran
    // its course.
    const std::string& Failure() const { return failure_; }

  protected:
    // Derived workers call this in their own destructor, before the members the job uses go.
    ~WorkerThread() = default;
    void StopAndWait() {
        Terminate();
        WaitFor();
    }
    // Runs `job` on the thread. An exception that ends it (an allocation failure, no room for
    // a temporary file) never ends the program: `failed` gets its message, as a sentence for the
    // window, on the worker's thread before Finished() turns true.
    void Start(std::function<void(std::stop_token)> job,
               std::function<void(const std::string&)> failed = {}) {
        if (started_) return;
        started_ = true;
        thread_ = std::jthread(
            [this, job = std::move(job), failed = std::move(failed)](std::stop_token stop) {
                try {
                    job(stop);
                } catch (...) {
                    ReportFailure(std::current_exception(), failed);
                }
                finished_ = true;
            });
    }

  private:
    void ReportFailure(std::exception_ptr failure,
                       const std::function<void(const std::string&)>& failed) noexcept {
        try {
            failure_ = FailureSentence(FailureTextOf(failure));
            if (failed) failed(failure_);
        } catch (...) {
            // With no memory even for the message the job still ends.
        }
    }

    bool started_ = false;
    std::atomic<bool> finished_{false};
    std::string failure_;
    std::jthread thread_;
};

}  // namespace varistrum
