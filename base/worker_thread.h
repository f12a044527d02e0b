// SPDX-License-Identifier: GPL-3.0-or-later
// A worker thread with a stop request, the common part of the conversion, index and
// average-information workers.
#pragma once

#include <atomic>
#include <functional>
#include <stop_token>
#include <thread>

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

  protected:
    // Derived workers call this in their own destructor, before the members the job uses go.
    ~WorkerThread() = default;
    void StopAndWait() {
        Terminate();
        WaitFor();
    }
    void Start(std::function<void(std::stop_token)> job) {
        if (started_) return;
        started_ = true;
        thread_ = std::jthread([this, job = std::move(job)](std::stop_token stop) {
            job(stop);
            finished_ = true;
        });
    }

  private:
    bool started_ = false;
    std::atomic<bool> finished_{false};
    std::jthread thread_;
};

}  // namespace varistrum
