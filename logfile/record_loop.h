// SPDX-License-Identifier: GPL-3.0-or-later
// The one record loop of every pass over a log file: read, progress, stop request, damage.
#pragma once

#include <cstdint>
#include <stop_token>

#include "logfile/tavrel_reader.h"

namespace varistrum {

// How a pass over the records ended. Halted: the pass's own record step asked to stop (its
// output failed).
enum class LoopEnd { EndOfData, ReadError, Cancelled, Halted };

struct LoopResult {
    LoopEnd end = LoopEnd::EndOfData;
    DamageCounters damage;  // what the reader met since Open
};

// Whole per cent of a byte total read so far, told only when it grows.
class WholePercent {
  public:
    explicit WholePercent(std::uint64_t total) : total_(total) {}
    // The new whole per cent after `bytes` more, or -1 when it has not grown.
    int Advance(std::uint64_t bytes) {
        done_ += bytes;
        if (total_ == 0) return -1;
        const auto percent = static_cast<int>(static_cast<unsigned __int128>(done_) * 100 / total_);
        if (percent <= shown_) return -1;
        shown_ = percent;
        return percent;
    }

  private:
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    int shown_ = 0;  // every pass shows 0 before it starts
};

// Reads the opened file's records to the end: `onPercent(percent)` whenever the whole per cent
// of the file read grows, then `onRecord(buffer)` for the record, which returns false to halt.
// The stop request is honoured between records. A template, so that the per-record steps are
// inlined on the hot path.
template <class OnPercent, class OnRecord>
LoopResult RunRecordLoop(TavrelReader& reader, std::stop_token stop, OnPercent&& onPercent,
                         OnRecord&& onRecord) {
    LoopResult result;
    WholePercent percent(reader.FileSize());
    RecordBuffer buffer;
    for (;;) {
        if (stop.stop_requested()) {
            result.end = LoopEnd::Cancelled;
            break;
        }
        const int consumed = reader.ReadNextRecord(buffer);
        if (consumed == 0) {
            result.end = reader.ReadFailed() ? LoopEnd::ReadError : LoopEnd::EndOfData;
            break;
        }
        if (const int shown = percent.Advance(static_cast<std::uint64_t>(consumed)); shown >= 0)
            onPercent(shown);
        if (!onRecord(buffer)) {
            result.end = LoopEnd::Halted;
            break;
        }
    }
    result.damage = reader.Damage();
    return result;
}

// For passes that show no progress.
inline void NoProgress(int /*percent*/) {}

}  // namespace varistrum
