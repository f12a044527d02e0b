// SPDX-License-Identifier: GPL-3.0-or-later
// Output paths: links followed, the file type found, the kinds that may be written there.
#include "base/output_target.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace varistrum {

namespace {

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

OutputTarget ClassifyTarget(const std::string& path) {
    OutputTarget target;
    target.path = path;
    target.resolved = ResolveLinks(path);
    if (ThroughDescriptor(target.resolved)) {
        target.kind = TargetKind::Descriptor;
        return target;
    }
    struct stat info {};
    if (::stat(target.resolved.c_str(), &info) != 0) {
        target.kind = TargetKind::Missing;
        return target;
    }
    if (S_ISREG(info.st_mode)) {
        target.kind = TargetKind::Regular;
        target.mode = info.st_mode & 07777;
    } else if (S_ISDIR(info.st_mode)) {
        target.kind = TargetKind::Folder;
    } else if (S_ISFIFO(info.st_mode)) {
        target.kind = TargetKind::NamedPipe;
    } else if (S_ISSOCK(info.st_mode)) {
        target.kind = TargetKind::Socket;
    } else {
        target.kind = TargetKind::Device;
    }
    return target;
}

std::string TargetRefusal(const OutputTarget& target, const OutputKind& kind) {
    const std::string needs =
        "'" + target.path + "' is not a regular file; " + std::string(kind.what) + " needs one";
    switch (target.kind) {
        case TargetKind::Missing:
        case TargetKind::Regular:
            return {};
        case TargetKind::Folder:
            return "'" + target.path + "' is a folder; " + std::string(kind.what) +
                   " needs a regular file";
        case TargetKind::Socket:
            return needs;
        default:
            return kind.streams ? std::string() : needs;
    }
}

}  // namespace varistrum
