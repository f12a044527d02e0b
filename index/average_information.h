// SPDX-License-Identifier: GPL-3.0-or-later
// The average-information pass: one read of the whole file with progress and statistics.
#pragma once

#include <stop_token>
#include <string>

#include "base/job_observer.h"
#include "base/worker_thread.h"
#include "logfile/tavrel_reader.h"

namespace varistrum {

// The generator dialog's side of the pass.
class GeneratorView {
  public:
    virtual ~GeneratorView() = default;
    // The progress bar and the "%ld%% Complete" label.
    virtual void SetPercent(int percent, const std::string& label) = 0;
    // The bar alone back to 0; the label keeps the last percentage reached.
    virtual void ResetProgressBar() = 0;
    virtual void ReportMessage(MessageKind kind, const std::string& text) = 0;
};

struct AverageInformation {
    int records = 0;
    int seconds = 0;
    int recordsPerSecond = 1;
};

// "%d Records\n%d Seconds\n%d Records Per Second"; the rate reads 0 when no second was counted.
std::string AverageInformationText(AverageInformation& information);

enum class MakeListOutcome { Gathered, OpenFailed, Stopped, ReadFailed };

MakeListOutcome RunAverageInformationPass(TavrelReader& reader, const std::string& path,
                                          GeneratorView& view, std::stop_token stop);

// The pass's worker thread: runs at once; destroying it waits for it.
class TMakeList : public WorkerThread {
  public:
    TMakeList(TavrelReader& reader, std::string path, GeneratorView& view);
    ~TMakeList() { StopAndWait(); }
};

}  // namespace varistrum
