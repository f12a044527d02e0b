// SPDX-License-Identifier: GPL-3.0-or-later
// A job that runs out of memory or of room for its temporary files ends with a message: the
// message of each kind of exception, and the workers that turn one into a failed job.
#include "base/resource_error.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "averaging/averaging_engine.h"
#include "base/worker_thread.h"
#include "convert/convert_job.h"
#include "logfile/tavrel_reader.h"
#include "support/test_files.h"

namespace varistrum {
namespace {

TEST(ResourceErrorTest, EachExceptionHasItsMessage) {
    const struct {
        const char* name;
        std::function<void()> thrower;
        std::string text;
    } cases[] = {
        {"allocation", [] { throw std::bad_alloc(); }, "not enough memory"},
        {"no thread",
         [] {
             throw std::system_error(
                 std::make_error_code(std::errc::resource_unavailable_try_again));
         },
         "not enough memory"},
        {"temporary file", [] { throw ResourceError("Cannot write a temporary file in '/t': x"); },
         "Cannot write a temporary file in '/t': x"},
        {"other", [] { throw std::runtime_error("odd"); }, "odd"},
        {"not an exception", [] { throw 42; }, "an unexpected failure"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::exception_ptr thrown;
        try {
            c.thrower();
        } catch (...) {
            thrown = std::current_exception();
        }
        EXPECT_EQ(FailureTextOf(thrown), c.text);
    }
    EXPECT_EQ(FailureSentence("not enough memory"), "Not enough memory.");
    EXPECT_EQ(FailureSentence("Cannot write (TMPDIR)"), "Cannot write (TMPDIR)");
    EXPECT_EQ(FailureSentence(""), "");
}

class TestWorker : public WorkerThread {
  public:
    explicit TestWorker(std::function<void()> job) {
        Start([job = std::move(job)](std::stop_token) { job(); },
              [this](const std::string& text) { reported = text; });
    }
    ~TestWorker() { StopAndWait(); }
    std::string reported;
};

// The exception ends the job, not the program; the failure arrives before Finished().
TEST(ResourceErrorTest, AWorkerThatThrowsEndsItsJobWithTheMessage) {
    const struct {
        std::function<void()> job;
        std::string failure;
    } cases[] = {
        {[] { throw std::bad_alloc(); }, "Not enough memory."},
        {[] { throw ResourceError("Cannot make a temporary file in '/x': gone"); },
         "Cannot make a temporary file in '/x': gone."},
        {[] {}, ""},
    };
    for (const auto& c : cases) {
        TestWorker worker(c.job);
        worker.WaitFor();
        EXPECT_TRUE(worker.Finished());
        EXPECT_EQ(worker.Failure(), c.failure);
        EXPECT_EQ(worker.reported, c.failure);
    }
}

// The window's conversion worker: an error box, and the job ends as failed.
TEST(ResourceErrorTest, AConversionWorkerOutOfMemoryReportsAnError) {
    TavrelReader reader;
    test::RecordingObserver observer;
    TConvert worker(reader, observer, true);
    worker.SetFiles({"in.klf"}, {"out.txt"});
    worker.SetRunner([](TavrelReader&, const std::vector<std::string>&,
                        const std::vector<std::string>&, const ConversionSettings&, JobObserver&,
                        std::stop_token, JobKind) -> JobOutcome { throw std::bad_alloc(); });
    worker.Resume();
    worker.WaitFor();
    EXPECT_FALSE(worker.Running());
    EXPECT_EQ(worker.Outcome(), JobOutcome::Failed);
    EXPECT_EQ(observer.messages, std::vector<std::string>{"Error: Not enough memory."});
}

}  // namespace
}  // namespace varistrum
