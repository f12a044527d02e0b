// SPDX-License-Identifier: GPL-3.0-or-later
// The temporary file behind SpillArray.
#include "base/spill_array.h"

#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <utility>

namespace varistrum {

namespace {
std::atomic<std::size_t> chunkBytes{std::size_t{2} << 20};
}  // namespace

std::size_t SpillChunkBytes() {
    return chunkBytes.load(std::memory_order_relaxed);
}

void SetSpillChunkBytes(std::size_t bytes) {
    chunkBytes.store(std::max<std::size_t>(1, bytes), std::memory_order_relaxed);
}

SpillFile::SpillFile(SpillFile&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)), failed_(other.failed_), size_(other.size_) {
    other.size_ = 0;
}

SpillFile& SpillFile::operator=(SpillFile&& other) noexcept {
    if (this != &other) {
        if (file_ != nullptr) std::fclose(file_);
        file_ = std::exchange(other.file_, nullptr);
        failed_ = other.failed_;
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

SpillFile::~SpillFile() {
    if (file_ != nullptr) std::fclose(file_);
}

bool SpillFile::Append(const void* data, std::size_t bytes) {
    if (failed_) return false;
    if (file_ == nullptr) {
        file_ = std::tmpfile();
        if (file_ == nullptr) {
            failed_ = true;
            return false;
        }
    }
    if (fseeko(file_, static_cast<off_t>(size_), SEEK_SET) != 0 ||
        std::fwrite(data, 1, bytes, file_) != bytes) {
        failed_ = true;  // what was written before stays readable
        return false;
    }
    size_ += bytes;
    return true;
}

bool SpillFile::Read(std::uint64_t offset, void* data, std::size_t bytes) const {
    if (file_ == nullptr || offset + bytes > size_) return false;
    return fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0 &&
           std::fread(data, 1, bytes, file_) == bytes;
}

void SpillFile::Clear() {
    size_ = 0;
    failed_ = false;  // the next gap tries again
    // The disk space goes back at once; the file stays open for the next gap.
    if (file_ != nullptr && (std::fflush(file_) != 0 || ftruncate(fileno(file_), 0) != 0)) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

}  // namespace varistrum
