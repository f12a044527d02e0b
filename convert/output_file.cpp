// SPDX-License-Identifier: GPL-3.0-or-later
// Buffered, checked output file.
#include "convert/output_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace varistrum {

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Create(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    failed_ = fd_ < 0;
    used_ = 0;
    if (fd_ >= 0) buffer_.resize(kBufferSize);
    return fd_ >= 0;
}

void OutputFile::WriteThrough(std::string_view text) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0 && !failed_) {
        const ssize_t written = ::write(fd_, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            failed_ = true;
            break;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

void OutputFile::Flush() {
    if (fd_ >= 0 && used_ > 0) WriteThrough(std::string_view(buffer_.data(), used_));
    used_ = 0;
}

bool OutputFile::Close() {
    if (fd_ < 0) return !failed_;
    Flush();
    if (::close(fd_) != 0) failed_ = true;
    fd_ = -1;
    buffer_.clear();
    buffer_.shrink_to_fit();
    return !failed_;
}

}  // namespace varistrum
