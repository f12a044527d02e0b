// SPDX-License-Identifier: GPL-3.0-or-later
// Buffered, checked output file, put in place only when it is complete.
#include "convert/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <system_error>

namespace varistrum {

namespace {

std::string ReasonOf(int error) {
    return std::generic_category().message(error);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// /dev/stdout and its kin lead through /proc to an open descriptor: written as they are, never
// replaced by a rename.
bool ThroughDescriptor(const std::string& path) {
    for (const char* prefix : {"/dev/fd/", "/dev/stdout", "/dev/stderr", "/proc/"}) {
        if (path.rfind(prefix, 0) == 0) return true;
    }
    return false;
}

// A name no other writer uses: the process, a counter and the clock.
std::string TemporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    // Shortened, so that an output name near the system's limit still has a temporary name.
    const std::string name =
        (slash == std::string::npos ? path : path.substr(slash + 1)).substr(0, 180);
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return folder + "." + name + ".tmp" + std::to_string(::getpid()) + "-" +
           std::to_string(counter++) + "-" + std::to_string(ticks % 1000000);
}

// The folder entry is made durable too, so a power loss does not undo the rename.
void SyncFolderOf(const std::string& path) {
    const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

std::string ResolveLinks(const std::string& path) {
    std::string resolved = path;
    for (int hop = 0; hop < 40; ++hop) {
        if (ThroughDescriptor(resolved)) return resolved;
        struct stat info {};
        if (::lstat(resolved.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return resolved;
        std::string target(4096, '\0');
        const ssize_t length = ::readlink(resolved.c_str(), target.data(), target.size());
        if (length <= 0) return resolved;
        target.resize(static_cast<std::size_t>(length));
        resolved = target.front() == '/' || resolved.find('/') == std::string::npos
                       ? target
                       : FolderOf(resolved) + "/" + target;
    }
    return resolved;
}

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Create(const std::string& path) {
    Discard();
    failed_ = false;
    reason_.clear();
    used_ = 0;
    target_ = ResolveLinks(path);
    struct stat info {};
    const bool exists = ::stat(target_.c_str(), &info) == 0;
    // A write-protected output stays refused, as when it was truncated in place.
    if (exists && S_ISREG(info.st_mode) && ::access(target_.c_str(), W_OK) != 0) {
        Fail(errno);
        return false;
    }
    const bool opened = ThroughDescriptor(target_) || (exists && !S_ISREG(info.st_mode))
                            ? OpenDirect(target_)
                            : OpenTemporary(target_, exists ? info.st_mode & 07777 : 0);
    if (opened) buffer_.resize(kBufferSize);
    return opened;
}

bool OutputFile::OpenDirect(const std::string& path) {
    // Without waiting: a named pipe without a reader fails with ENXIO instead of blocking.
    fd_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        Fail(error);
        if (error == ENXIO) reason_ = "no process reads the named pipe";
        return false;
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    return true;
}

bool OutputFile::OpenTemporary(const std::string& path, unsigned mode) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = TemporaryNameFor(path);
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0 || errno != EEXIST) break;
    }
    if (fd_ < 0) {
        Fail(errno);
        temporary_.clear();
        return false;
    }
    if (mode != 0) ::fchmod(fd_, static_cast<mode_t>(mode));
    return true;
}

void OutputFile::Fail(int error) {
    if (!failed_) reason_ = ReasonOf(error);
    failed_ = true;
}

bool OutputFile::UseStandardOutput() {
    Discard();
    failed_ = false;
    reason_.clear();
    // A duplicate, so that closing the output leaves the process's standard output open.
    fd_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0) {
        Fail(errno);
        return false;
    }
    used_ = 0;
    buffer_.resize(kBufferSize);
    return true;
}

void OutputFile::WriteThrough(std::string_view text) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0 && !failed_) {
        const ssize_t written = ::write(fd_, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            Fail(written < 0 ? errno : ENOSPC);
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
    if (!temporary_.empty() && !failed_ && ::fsync(fd_) != 0) Fail(errno);
    if (::close(fd_) != 0) Fail(errno);
    fd_ = -1;
    buffer_.clear();
    buffer_.shrink_to_fit();
    if (temporary_.empty()) return !failed_;
    if (!failed_ && ::rename(temporary_.c_str(), target_.c_str()) != 0) Fail(errno);
    if (failed_)
        ::unlink(temporary_.c_str());
    else
        SyncFolderOf(target_);
    temporary_.clear();
    return !failed_;
}

void OutputFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    used_ = 0;
    buffer_.clear();
    buffer_.shrink_to_fit();
}

}  // namespace varistrum
