// SPDX-License-Identifier: GPL-3.0-or-later
// Temporary names, direct writes and the steps of putting a file in place.
#include "base/staged_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>

namespace varistrum {

namespace {

constexpr std::size_t kNamePart = 40;  // bytes of the target's name in a temporary name

std::string ReasonOf(int error) {
    return std::generic_category().message(error);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// At most `bytes` of the name, never cutting a UTF-8 character in two.
std::string ShortPart(const std::string& name, std::size_t bytes) {
    if (name.size() <= bytes) return name;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
    return name.substr(0, end);
}

std::uint32_t RandomWord() {
    std::uint32_t word = 0;
    if (::getrandom(&word, sizeof word, GRND_NONBLOCK) != sizeof word) {
        word =
            static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    return word;
}

bool SameInode(const std::string& path, dev_t device, ino_t inode) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && info.st_dev == device && info.st_ino == inode;
}

}  // namespace

std::string FolderOfPath(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string TemporaryNameIn(const std::string& folder, const std::string& name,
                            std::string_view extension) {
    static std::atomic<unsigned> counter{0};
    static const char kHex[] = "0123456789abcdef";
    std::string random(8, '0');
    std::uint32_t word = RandomWord();
    for (char& digit : random) {
        digit = kHex[word & 15];
        word >>= 4;
    }
    return folder + "/." + ShortPart(name, kNamePart) + "~" + std::to_string(::getpid()) + "-" +
           std::to_string(counter++) + "-" + random + ".tmp" + std::string(extension);
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

void StagedFile::Fail(int error) {
    if (reason_.empty()) reason_ = ReasonOf(error);
}

void StagedFile::Fail(const std::string& reason) {
    if (reason_.empty()) reason_ = reason.empty() ? ReasonOf(EIO) : reason;
}

bool StagedFile::Prepare(const OutputTarget& target, const OutputKind& kind) {
    Discard();
    reason_.clear();
    target_ = target;
    direct_ = finished_ = published_ = movedAside_ = false;
    if (target.kind == TargetKind::Folder) {
        Fail(EISDIR);
        return false;
    }
    if (const std::string refusal = TargetRefusal(target, kind); !refusal.empty()) {
        // The reason follows the path in messages: "... 'fifo.html': not a regular file; ...".
        Fail(target.kind == TargetKind::Socket
                 ? std::string("not a regular file")
                 : "not a regular file; " + std::string(kind.what) + " needs one");
        return false;
    }
    // A write-protected output stays refused, as when it was truncated in place.
    if (target.kind == TargetKind::Regular && ::access(target.resolved.c_str(), W_OK) != 0) {
        Fail(errno);
        return false;
    }
    return true;
}

bool StagedFile::OpenStream(const OutputTarget& target, const OutputKind& kind) {
    if (!Prepare(target, kind)) return false;
    if (target.TakesStream()) return OpenDirect();
    const std::string folder = FolderOfPath(target_.resolved);
    const std::string name = NameOf(target_.resolved);
    for (int attempt = 0; attempt < 100; ++attempt) {
        work_ = TemporaryNameIn(folder, name, "");
        fd_ = ::open(work_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0 || errno != EEXIST) break;
    }
    if (fd_ < 0) {
        Fail(errno);
        work_.clear();
        return false;
    }
    if (target_.kind == TargetKind::Regular) ::fchmod(fd_, static_cast<mode_t>(target_.mode));
    ownsDescriptor_ = true;
    open_ = true;
    return true;
}

bool StagedFile::OpenDirect() {
    // Without waiting: a named pipe without a reader fails with ENXIO instead of blocking.
    fd_ = ::open(target_.resolved.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        Fail(error == ENXIO && target_.kind == TargetKind::NamedPipe
                 ? std::string("no process reads the named pipe")
                 : ReasonOf(error));
        return false;
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    direct_ = true;
    ownsDescriptor_ = true;
    open_ = true;
    return true;
}

bool StagedFile::UseDescriptor(int fd) {
    Discard();
    reason_.clear();
    target_ = OutputTarget{};
    target_.kind = TargetKind::Descriptor;
    // A duplicate, so that closing the output leaves the process's descriptor open.
    fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0) {
        Fail(errno);
        return false;
    }
    direct_ = true;
    ownsDescriptor_ = true;
    finished_ = published_ = false;
    open_ = true;
    return true;
}

bool StagedFile::UseNowhere() {
    Discard();
    reason_.clear();
    target_ = OutputTarget{};
    target_.kind = TargetKind::Descriptor;
    direct_ = open_ = true;
    finished_ = published_ = false;
    return true;
}

bool StagedFile::OpenWorkFolder(const OutputTarget& target, const OutputKind& kind) {
    if (!Prepare(target, kind)) return false;
    if (target.TakesStream()) {
        Fail("not a regular file; " + std::string(kind.what) + " needs one");
        return false;
    }
    const std::string folder = FolderOfPath(target_.resolved);
    const std::string name = NameOf(target_.resolved);
    for (int attempt = 0; attempt < 100; ++attempt) {
        workFolder_ = TemporaryNameIn(folder, name, "");
        if (::mkdir(workFolder_.c_str(), 0700) == 0 || errno != EEXIST) break;
    }
    struct stat info {};
    if (::lstat(workFolder_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        Fail(errno);
        workFolder_.clear();
        return false;
    }
    work_ = workFolder_ + "/w" + std::string(kind.extension);
    open_ = true;
    return true;
}

bool StagedFile::Finish() {
    if (!open_) return !Failed();
    open_ = false;
    if (fd_ >= 0) {
        if (!direct_ && !Failed() && ::fsync(fd_) != 0) Fail(errno);
        if (ownsDescriptor_ && ::close(fd_) != 0) Fail(errno);
        fd_ = -1;
    } else if (!work_.empty() && !Failed()) {
        // The library has closed its file: open it again to flush it to disk.
        const int fd = ::open(work_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            Fail(errno);
        } else {
            if (target_.kind == TargetKind::Regular)
                ::fchmod(fd, static_cast<mode_t>(target_.mode));
            if (::fsync(fd) != 0) Fail(errno);
            ::close(fd);
        }
    }
    finished_ = !Failed();
    return finished_;
}

bool StagedFile::KeepEarlier() {
    if (direct_ || !finished_ || target_.kind != TargetKind::Regular) return true;
    earlier_ = TemporaryNameIn(FolderOfPath(target_.resolved), NameOf(target_.resolved), "");
    if (::link(target_.resolved.c_str(), earlier_.c_str()) == 0) return true;
    // A file system without hard links: the earlier version is moved aside at the rename.
    movedAside_ = true;
    return true;
}

bool StagedFile::Publish() {
    if (direct_) return !Failed();
    if (!finished_) {
        Fail(EIO);
        return false;
    }
    // The target may have changed since it was looked at: never rename over anything but a
    // regular file.
    struct stat info {};
    if (::lstat(target_.resolved.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        Fail(S_ISDIR(info.st_mode) ? ReasonOf(EISDIR) : std::string("not a regular file"));
        return false;
    }
    if (movedAside_ && ::rename(target_.resolved.c_str(), earlier_.c_str()) != 0) {
        movedAside_ = false;
        earlier_.clear();
    }
    if (::rename(work_.c_str(), target_.resolved.c_str()) != 0) {
        Fail(errno);
        if (movedAside_) ::rename(earlier_.c_str(), target_.resolved.c_str());
        movedAside_ = false;
        return false;
    }
    if (::lstat(target_.resolved.c_str(), &info) == 0) {
        publishedDevice_ = info.st_dev;
        publishedInode_ = info.st_ino;
    }
    published_ = true;
    work_.clear();
    return true;
}

void StagedFile::DropEarlier() {
    if (!earlier_.empty()) ::unlink(earlier_.c_str());
    earlier_.clear();
    movedAside_ = false;
}

void StagedFile::Restore() {
    if (published_) {
        if (!earlier_.empty()) {
            ::rename(earlier_.c_str(), target_.resolved.c_str());
            earlier_.clear();
        } else if (target_.kind == TargetKind::Missing &&
                   SameInode(target_.resolved, publishedDevice_, publishedInode_)) {
            ::unlink(target_.resolved.c_str());
        }
        published_ = false;
    }
    DropEarlier();
}

void StagedFile::Discard() {
    if (fd_ >= 0 && ownsDescriptor_) ::close(fd_);
    fd_ = -1;
    open_ = false;
    if (!workFolder_.empty()) {
        std::error_code error;
        std::filesystem::remove_all(workFolder_, error);
    } else if (!work_.empty() && !direct_) {
        ::unlink(work_.c_str());
    }
    work_.clear();
    workFolder_.clear();
    if (!published_) DropEarlier();
    finished_ = false;
}

}  // namespace varistrum
