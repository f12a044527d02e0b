// SPDX-License-Identifier: GPL-3.0-or-later
// Folder conversion on several threads.
#include "convert/parallel_job.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace varistrum {

namespace {

// Workers report nothing per file; the job shows the share of files done.
class SilentObserver : public JobObserver {
  public:
    void SetProgress(int) override {}
    void ReportMessage(MessageKind, const std::string&) override {}
};

}  // namespace

JobOutcome RunParallelConversion(const TavrelReader& prototype, int inputFormat,
                                 const FileLists& files, const ConversionSettings& settings,
                                 JobObserver& observer, int jobs, std::stop_token stop) {
    if (auto problem = settings.Problem()) {
        observer.ReportMessage(MessageKind::Error, *problem);
        return JobOutcome::Failed;
    }
    if (!AcceptTextJob(files.inputs, files.outputs, settings, JobKind::Folder, observer))
        return JobOutcome::Failed;
    const std::size_t count = std::min(files.inputs.size(), files.outputs.size());
    // After a failure no further file starts, but the files in hand finish: stopping them
    // would cut good outputs short.
    std::atomic<bool> failed{false};
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::size_t done = 0;
    std::vector<FileOutcome> outcomes(count);
    std::vector<bool> started(count, false);
    // The first exception a worker met (no memory, no room for a temporary file): it ends the
    // job on the calling thread once the others stopped, never the program on a worker's.
    std::exception_ptr thrown;
    observer.SetProgress(0);

    auto convert = [&] {
        TavrelReader reader;
        reader.SetInputFormat(inputFormat);
        reader.CopyTypedFrequenciesFrom(prototype);
        SilentObserver silent;
        for (std::size_t i = next++; i < count; i = next++) {
            {
                std::lock_guard lock(mutex);
                if (failed || stop.stop_requested()) return;
                started[i] = true;
            }
            outcomes[i] = ConvertFolderFile(reader, files.inputs[i], files.outputs[i], settings,
                                            silent, stop);
            if (outcomes[i].outcome == JobOutcome::Failed) failed = true;
            std::lock_guard lock(mutex);
            ++done;
            observer.SetProgress(static_cast<int>(done * 100 / count));
        }
    };
    auto work = [&] {
        try {
            convert();
        } catch (...) {
            failed = true;
            std::lock_guard lock(mutex);
            if (!thrown) thrown = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> workers;
        try {
            for (int w = 0; w < std::max(1, jobs); ++w) workers.emplace_back(work);
        } catch (...) {
            // A thread the system cannot start: those started stop after their file.
            failed = true;
            std::lock_guard lock(mutex);
            if (!thrown) thrown = std::current_exception();
        }
    }  // joins
    if (thrown) std::rethrow_exception(thrown);
    return FinishFolderJob(files.inputs, outcomes, started, stop.stop_requested(), observer);
}

}  // namespace varistrum
