// SPDX-License-Identifier: GPL-3.0-or-later
// The temporary file behind SpillArray.
#include "base/spill_array.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/resource_error.h"

namespace varistrum {

namespace {

std::atomic<std::size_t> chunkBytes{std::size_t{2} << 20};

[[noreturn]] void Fail(const char* what, const std::string& folder, int error) {
    throw ResourceError(std::string(what) + " a temporary file in '" + folder + "': " +
                        std::strerror(error) + " (TMPDIR chooses the folder of temporary files)");
}

// An unnamed file: O_TMPFILE where the file system has it, else a named one removed at once.
int MakeUnnamedFile(const std::string& folder) {
    int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        Fail("Cannot make", folder, errno);
    std::string name = folder + "/.varistrum-spill-XXXXXX";
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) Fail("Cannot make", folder, errno);
    unlink(name.c_str());
    return fd;
}

}  // namespace

std::size_t SpillChunkBytes() {
    return chunkBytes.load(std::memory_order_relaxed);
}

void SetSpillChunkBytes(std::size_t bytes) {
    chunkBytes.store(std::max<std::size_t>(1, bytes), std::memory_order_relaxed);
}

std::string TemporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

SpillFile::SpillFile(SpillFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      size_(std::exchange(other.size_, 0)),
      folder_(std::move(other.folder_)) {}

SpillFile& SpillFile::operator=(SpillFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        size_ = std::exchange(other.size_, 0);
        folder_ = std::move(other.folder_);
    }
    return *this;
}

SpillFile::~SpillFile() {
    if (fd_ >= 0) close(fd_);
}

void SpillFile::Append(const void* data, std::size_t bytes) {
    if (fd_ < 0) {
        folder_ = TemporaryFolder();
        fd_ = MakeUnnamedFile(folder_);
    }
    const auto* from = static_cast<const char*>(data);
    for (std::size_t done = 0; done < bytes;) {
        const ssize_t wrote =
            pwrite(fd_, from + done, bytes - done, static_cast<off_t>(size_ + done));
        if (wrote < 0 && errno == EINTR) continue;
        // A write of nothing makes no progress: the device is full.
        if (wrote <= 0) Fail("Cannot write", folder_, wrote < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(wrote);
    }
    size_ += bytes;
}

void SpillFile::Read(std::uint64_t offset, void* data, std::size_t bytes) const {
    if (fd_ < 0 || offset + bytes > size_) Fail("Cannot read back", folder_, EINVAL);
    auto* into = static_cast<char*>(data);
    for (std::size_t done = 0; done < bytes;) {
        const ssize_t got =
            pread(fd_, into + done, bytes - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) Fail("Cannot read back", folder_, got < 0 ? errno : EIO);
        done += static_cast<std::size_t>(got);
    }
}

void SpillFile::Clear() {
    size_ = 0;
    // The disk space goes back at once; the file stays open for the next gap.
    if (fd_ >= 0 && ftruncate(fd_, 0) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

}  // namespace varistrum
