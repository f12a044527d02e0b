// SPDX-License-Identifier: GPL-3.0-or-later
// How a worker reports progress and messages to its front end.
#pragma once

#include <cstdint>
#include <string>

namespace varistrum {

enum class MessageKind : int { Information = 0, Warning = 1, Error = 2 };

// Caption of a message box of the kind.
inline const char* MessageCaption(MessageKind kind) {
    switch (kind) {
        case MessageKind::Information: return "Information";
        case MessageKind::Warning: return "Warning";
        default: return "Error";
    }
}

class JobObserver {
public:
    virtual ~JobObserver() = default;
    // The gauge, 0..100; called only when the whole percentage changes.
    virtual void SetProgress(int percent) = 0;
    // A modal message: returns once the user has seen it.
    virtual void ReportMessage(MessageKind kind, const std::string& text) = 0;
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
