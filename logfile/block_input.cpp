// SPDX-License-Identifier: GPL-3.0-or-later
// Block-buffered binary input.
#include "logfile/block_input.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varistrum {

BlockInput::~BlockInput() { Close(); }

bool BlockInput::Open(const std::string& path) {
    Close();
    // Opened without waiting, so that a named pipe without a writer is refused rather than
    // blocking the job; only regular files are read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    file_ = fdopen(fd, "rb");
    if (file_ == nullptr) {
        ::close(fd);
        return false;
    }
    struct stat info {};
    if (fstat(fileno(file_), &info) != 0 || !S_ISREG(info.st_mode)) {
        Close();
        return false;
    }
    fileSize_ = static_cast<std::uint64_t>(info.st_size);
    std::setvbuf(file_, nullptr, _IONBF, 0);  // we buffer ourselves
    buffer_.resize(kBlockSize);
    bufferStart_ = 0;
    cursor_ = filled_ = 0;
    failed_ = atEnd_ = false;
    return true;
}

void BlockInput::Close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    fileSize_ = 0;
    bufferStart_ = 0;
    cursor_ = filled_ = 0;
    buffer_.clear();
    buffer_.shrink_to_fit();
}

bool BlockInput::Seek(std::uint64_t offset) {
    if (file_ == nullptr) return false;
    if (offset >= bufferStart_ && offset <= bufferStart_ + filled_) {
        cursor_ = static_cast<std::size_t>(offset - bufferStart_);
        return true;
    }
    if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) {
        failed_ = true;
        return false;
    }
    bufferStart_ = offset;
    cursor_ = filled_ = 0;
    atEnd_ = false;
    return true;
}

// Makes at least `wanted` bytes available from the cursor on, unless the file ends first.
bool BlockInput::Fill(std::size_t wanted) {
    if (filled_ - cursor_ >= wanted) return true;
    if (file_ == nullptr || failed_) return false;
    if (cursor_ > 0) {  // keep the unread tail at the buffer's start
        std::memmove(buffer_.data(), buffer_.data() + cursor_, filled_ - cursor_);
        bufferStart_ += cursor_;
        filled_ -= cursor_;
        cursor_ = 0;
    }
    if (buffer_.size() < wanted) buffer_.resize(wanted);
    while (filled_ < wanted && !atEnd_) {
        const std::size_t got = std::fread(buffer_.data() + filled_, 1, buffer_.size() - filled_, file_);
        filled_ += got;
        if (got == 0) {
            if (std::ferror(file_)) failed_ = true;
            atEnd_ = true;
        }
    }
    return filled_ >= wanted;
}

bool BlockInput::SkipPastBuffer(std::size_t size) {
    if (!Fill(size)) {
        cursor_ = filled_;
        return false;
    }
    cursor_ += size;
    return true;
}

}  // namespace varistrum
