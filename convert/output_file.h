// SPDX-License-Identifier: GPL-3.0-or-later
// An output text file written through one large buffer, every write checked.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace varistrum {

class OutputFile {
public:
    static constexpr std::size_t kBufferSize = 1 << 20;

    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates or truncates the file, readable and writable by all (less the umask).
    bool Create(const std::string& path);
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
    // Writes the buffer out and closes the file; false if any write failed.
    bool Close();
    bool Failed() const { return failed_; }
    bool IsOpen() const { return fd_ >= 0; }

private:
    void Flush();
    void WriteThrough(std::string_view text);

    int fd_ = -1;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    bool failed_ = false;
};

}  // namespace varistrum
