// SPDX-License-Identifier: GPL-3.0-or-later
// How a worker reports progress and messages to its front end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varistrum {

enum class MessageKind : int { Information = 0, Warning = 1, Error = 2 };

// Caption of a message box of the kind.
inline const char* MessageCaption(MessageKind kind) {
    switch (kind) {
        case MessageKind::Information:
            return "Information";
        case MessageKind::Warning:
            return "Warning";
        default:
            return "Error";
    }
}

// What became of each file of a folder job, for the report at its end.
struct FileReport {
    enum class State { Converted, Skipped, Failed, Partial, NotStarted };
    std::string input;
    State state = State::NotStarted;
    std::string reason;  // why it was skipped or failed
};

struct JobSummary {
    std::vector<FileReport> files;
    int Count(FileReport::State state) const {
        int n = 0;
        for (const FileReport& file : files) n += file.state == state ? 1 : 0;
        return n;
    }
    // "Skipped b.klf: File is not from a QTX CW product.", one line per skipped file.
    std::string SkippedLines() const;
    // "3 converted, 2 skipped", naming the other states only when they occurred.
    std::string CountsLine() const;
};

// Damage a pass met in a log file: records it could not use, bytes it passed over.
struct DamageCounters {
    std::int64_t damagedRecords = 0;
    std::int64_t skippedBytes = 0;
    bool Any() const { return damagedRecords > 0 || skippedBytes > 0; }
};

// "N damaged record(s), M byte(s) skipped"
std::string DamageText(const DamageCounters& damage);

class JobObserver {
  public:
    virtual ~JobObserver() = default;
    // The gauge, 0..100; called only when the whole percentage changes.
    virtual void SetProgress(int percent) = 0;
    // A modal message: returns once the user has seen it.
    virtual void ReportMessage(MessageKind kind, const std::string& text) = 0;
    // A failure concerning `path`, with the system's reason when there is one. The window shows
    // the text alone; the command line adds the path and the reason.
    virtual void ReportFailure(MessageKind kind, const std::string& text, const std::string& path,
                               const std::string& reason) {
        (void)path;
        (void)reason;
        ReportMessage(kind, text);
    }
    // Damage met in a converted file (`path` is empty for a single-file job); only called when
    // there was some. The window does not show it; the command line warns.
    virtual void ReportDamage(const std::string& path, const DamageCounters& damage) {
        (void)path;
        (void)damage;
    }
    // The end of a folder job: the skipped files, in one message.
    virtual void ReportSummary(const JobSummary& summary) {
        const std::string skipped = summary.SkippedLines();
        if (!skipped.empty()) ReportMessage(MessageKind::Information, skipped);
    }
};

// Hears nothing: for passes whose caller reports their outcome itself (a worker of a job of
// several files at once, a report's pass, a benchmark).
class SilentObserver : public JobObserver {
  public:
    void SetProgress(int) override {}
    void ReportMessage(MessageKind, const std::string&) override {}
};

// Progress in whole per cent of bytes, reported only when it changes.
class PercentGauge {
  public:
    PercentGauge(JobObserver& observer, std::uint64_t total) : observer_(observer), total_(total) {}
    void Reset() {
        done_ = 0;
        Show(0);
    }
    void Advance(std::uint64_t bytes) {
        done_ += bytes;
        if (total_ == 0) return;
        const auto percent = static_cast<int>(static_cast<unsigned __int128>(done_) * 100 / total_);
        if (percent != shown_) Show(percent);
    }
    void Show(int percent) {
        shown_ = percent;
        observer_.SetProgress(percent);
    }

  private:
    JobObserver& observer_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    int shown_ = -1;
};

}  // namespace varistrum
