// SPDX-License-Identifier: GPL-3.0-or-later
// Before a 40-lambda conversion: the scans whose windows would hold too few samples.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "base/job_observer.h"
#include "logfile/tavrel_reader.h"
#include "report/drive_report.h"

namespace varistrum {

struct LambdaWarning {
    int scan = 0;
    std::string name;
    double frequencyMHz = 0.0;
    std::uint32_t medianSamples = 0;  // per 40-lambda window
};

// The scan's first receiver channel whose median samples per window is below 36, if any.
std::optional<LambdaWarning> LambdaWarningOf(const ScanReport& scan);
// The scans with a receiver channel whose median samples per window is below 36.
std::vector<LambdaWarning> LambdaWarningsOf(const DriveReport& report);

// "Scan 2 (GPS 14:30:45): 873.075 MHz holds a median of 18 samples per 40-lambda window, fewer
// than 36: its averages will be noisy."
std::string LambdaWarningText(const LambdaWarning& warning);

// The warnings of a file: the first ones, and how many more scans would have one.
struct LambdaWarnings {
    static constexpr std::size_t kListedAtMost = 100;
    std::vector<LambdaWarning> listed;
    std::int64_t unlisted = 0;
    bool empty() const { return listed.empty(); }
};

// "... and 5 more scans whose 40-lambda windows hold a median below 36 samples."
std::string UnlistedWarningsText(std::int64_t unlisted);

// Reads the file once (no outage pass) for the scans a conversion with these choices takes.
LambdaWarnings CheckLambdaSampling(TavrelReader& reader, const std::string& input,
                                   const ReportRequest& request, std::stop_token stop);

// The warnings of every scan, gathered while another pass (the index pass) decodes the file,
// before the scans a conversion takes are known; the conversion's scans are picked afterwards.
class LambdaSamplingGatherer {
  public:
    // So many warnings are kept at most; a file with more is checked again by its own pass.
    static constexpr std::size_t kKeptAtMost = 100000;

    LambdaSamplingGatherer(TavrelReader& reader, ReceiverChoice receivers);
    void Decoded(const DecodedRecord& record);
    // The warnings of every scan, in file order; none when there were too many to keep.
    std::optional<std::vector<LambdaWarning>> Finish();

  private:
    std::vector<LambdaWarning> warnings_;
    bool overflowed_ = false;
    ReportRecordPass pass_;
};

// The gathered warnings of the scans that `selection` keeps (all without one).
LambdaWarnings SelectedWarnings(const std::vector<LambdaWarning>& every,
                                const ScanSelection* selection);

}  // namespace varistrum

namespace varistrum {

// A folder job's observer that, at the job's end, checks each converted file for sparse
// 40-lambda windows and lists them after the job's summary: one message holding every line
// (the window's end box) or one message per line (the command line). The checks read the files
// with a reader of their own, with the job's typed frequencies.
class SparseWindowSummary : public JobObserver {
  public:
    SparseWindowSummary(JobObserver& target, std::optional<TypedCodes> typed,
                        ReceiverChoice receivers, bool oneMessage);

    void SetProgress(int percent) override { target_.SetProgress(percent); }
    void ReportMessage(MessageKind kind, const std::string& text) override {
        target_.ReportMessage(kind, text);
    }
    void ReportFailure(MessageKind kind, const std::string& text, const std::string& path,
                       const std::string& reason) override {
        target_.ReportFailure(kind, text, path, reason);
    }
    void ReportDamage(const std::string& path, const DamageCounters& damage) override {
        target_.ReportDamage(path, damage);
    }
    void ReportSummary(const JobSummary& summary) override;

  private:
    JobObserver& target_;
    std::optional<TypedCodes> typed_;
    ReceiverChoice receivers_;
    bool oneMessage_;
};

}  // namespace varistrum
