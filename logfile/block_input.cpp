// SPDX-License-Identifier: GPL-3.0-or-later
// Block-buffered binary input.
#include "logfile/block_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace varistrum {

namespace {

// The opened file, read without the C library's own buffering.
class FileSource : public InputSource {
  public:
    explicit FileSource(std::FILE* file) : file_(file) { std::setvbuf(file_, nullptr, _IONBF, 0); }
    ~FileSource() override { std::fclose(file_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::size_t Read(std::uint8_t* into, std::size_t size) override {
        const std::size_t got = std::fread(into, 1, size, file_);
        if (got == 0 && std::ferror(file_)) error_ = errno != 0 ? errno : EIO;
        return got;
    }
    bool Seek(std::uint64_t offset) override {
        if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0) return true;
        error_ = errno != 0 ? errno : EIO;
        return false;
    }
    int Error() const override { return error_; }

  private:
    std::FILE* file_;
    int error_ = 0;
};

}  // namespace

BlockInput::~BlockInput() {
    Close();
}

bool BlockInput::Open(const std::string& path) {
    Close();
    // Opened without waiting, so that a named pipe without a writer is refused rather than
    // blocking the job; only regular files are read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        ::close(fd);
        return false;
    }
    source_ = std::make_unique<FileSource>(file);
    if (wrapper_) source_ = wrapper_(std::move(source_));
    fileSize_ = static_cast<std::uint64_t>(info.st_size);
    buffer_.resize(kBlockSize);
    bufferStart_ = 0;
    cursor_ = filled_ = 0;
    failed_ = atEnd_ = false;
    return true;
}

void BlockInput::Close() {
    source_.reset();
    fileSize_ = 0;
    bufferStart_ = 0;
    cursor_ = filled_ = 0;
    buffer_.clear();
    buffer_.shrink_to_fit();
}

bool BlockInput::Seek(std::uint64_t offset) {
    if (source_ == nullptr) return false;
    if (offset >= bufferStart_ && offset <= bufferStart_ + filled_) {
        cursor_ = static_cast<std::size_t>(offset - bufferStart_);
        return true;
    }
    if (!source_->Seek(offset)) {
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
    if (source_ == nullptr || failed_) return false;
    if (cursor_ > 0) {  // keep the unread tail at the buffer's start
        std::memmove(buffer_.data(), buffer_.data() + cursor_, filled_ - cursor_);
        bufferStart_ += cursor_;
        filled_ -= cursor_;
        cursor_ = 0;
    }
    if (buffer_.size() < wanted) buffer_.resize(wanted);
    while (filled_ < wanted && !atEnd_) {
        const std::size_t got = source_->Read(buffer_.data() + filled_, buffer_.size() - filled_);
        filled_ += got;
        if (got == 0) {
            if (source_->Error() != 0) failed_ = true;
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
