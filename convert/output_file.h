// SPDX-License-Identifier: GPL-3.0-or-later
// An output text file written through one large buffer, every write checked.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace varistrum {

// A regular output (or one that does not exist yet) is written to a temporary file in its
// folder, flushed to disk and renamed into place when it is closed, so that a crash, a failed
// write or a second run never leaves a half-written file under the final name. Terminals,
// pipes and devices (/dev/null, /dev/full) are written directly.
class OutputFile {
  public:
    static constexpr std::size_t kBufferSize = 1 << 20;

    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens the output for writing, without waiting: a named pipe that nobody reads is refused.
    // A symbolic link is followed, so its target gets the text. A new file is readable and
    // writable by all (less the umask); a replaced one keeps its permissions.
    bool Create(const std::string& path);
    // Writes to the process's standard output instead of a file (a pipe, for instance).
    bool UseStandardOutput();
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
    // Drops what was written: the temporary file is removed, an earlier output stays.
    void Discard();
    bool Failed() const { return failed_; }
    bool IsOpen() const { return fd_ >= 0; }
    // The system's reason for the first failure ("No space left on device"); empty if none.
    const std::string& FailureReason() const { return reason_; }

  private:
    void Flush();
    void WriteThrough(std::string_view text);
    void Fail(int error);
    bool OpenDirect(const std::string& path);
    bool OpenTemporary(const std::string& path, unsigned mode);

    int fd_ = -1;
    std::string target_;     // where the text ends up
    std::string temporary_;  // the file written meanwhile; empty when written directly
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    bool failed_ = false;
    std::string reason_;
};

// The path a symbolic link (or a chain of them) leads to; `path` itself when it is none.
std::string ResolveLinks(const std::string& path);

}  // namespace varistrum
