// SPDX-License-Identifier: GPL-3.0-or-later
// An output file written as a stream of bytes through one large buffer, every write checked.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/staged_file.h"

namespace varistrum {

// A regular output (or one that does not exist yet) is written to a temporary file in its
// folder, flushed to disk and renamed into place when it is closed, so that a crash, a failed
// write or a second run never leaves a half-written file under the final name. Terminals,
// pipes and devices (/dev/null, /dev/full) are written directly, for the kinds that stream.
class OutputFile {
  public:
    static constexpr std::size_t kBufferSize = 1 << 20;

    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens the output for writing, without waiting: a named pipe that nobody reads is refused.
    // A symbolic link is followed, so its target gets the bytes. A new file is readable and
    // writable by all (less the umask); a replaced one keeps its permissions.
    bool Create(const std::string& path, const OutputKind& kind = kTextOutput);
    bool Create(const OutputTarget& target, const OutputKind& kind);
    // Writes to the process's standard output instead of a file (a pipe, for instance).
    bool UseStandardOutput();
    // Keeps nothing of what is written (a pass whose text nobody reads).
    bool UseNowhere();
    void Write(std::string_view text) {
        if (text.size() > kBufferSize - used_) {
            Flush();
            if (text.size() > kBufferSize) {
                WriteThrough(text);
                return;
            }
        }
        std::copy(text.begin(), text.end(), buffer_.data() + used_);
        used_ += text.size();
    }
    // Writes the buffer out, flushes the file to disk and puts it in place; false if any step
    // failed, and then the temporary file is gone and an earlier output is untouched.
    bool Close();
    // Writes the buffer out and flushes the file to disk, leaving it to be put in place with
    // the other files of its output set; false if any step failed.
    bool Finish();
    // Drops what was written: the temporary file is removed, an earlier output stays.
    void Discard();
    bool Failed() const { return staged_.Failed(); }
    bool IsOpen() const { return staged_.IsOpen(); }
    // The system's reason for the first failure ("No space left on device"); empty if none.
    const std::string& FailureReason() const { return staged_.Reason(); }
    // The file being written (its temporary name, or the target when written directly).
    const std::string& WrittenPath() const { return staged_.WrittenPath(); }
    StagedFile& Staged() { return staged_; }

  private:
    void Flush();
    void WriteThrough(std::string_view text);

    StagedFile staged_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
};

// Writes `bytes` as the whole of an output of `kind`; false with the reason when it cannot.
bool WriteWholeFile(const std::string& path, std::string_view bytes, const OutputKind& kind,
                    std::string& reason);

}  // namespace varistrum
