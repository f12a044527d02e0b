// SPDX-License-Identifier: GPL-3.0-or-later
// Temporary-then-rename writing of the binning's outputs.
#include "bins/bin_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/output_file.h"

namespace varistrum {

namespace {

std::string Reason(int error) {
    return std::generic_category().message(error);
}

bool SyncFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

void SyncFolderOf(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

std::string HiddenBeside(const std::string& path, std::string_view tag) {
    const std::filesystem::path p(path);
    std::filesystem::path hidden = p.parent_path();
    hidden /= "." + p.stem().string() + "." + std::string(tag) + p.extension().string();
    return hidden.string();
}

std::string StylePathFor(const std::string& path) {
    return std::filesystem::path(path).replace_extension(".qml").string();
}

bool WriteFileThroughTemporary(
    const std::string& path,
    const std::function<bool(const std::string& temporary, std::string* error)>& produce,
    std::string* error) {
    const std::string target = ResolveLinks(path);
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        *error = path + " is not a regular file";
        return false;
    }
    const std::string temporary = HiddenBeside(target, "partial");
    std::remove(temporary.c_str());
    std::string problem;
    bool written = produce(temporary, &problem);
    if (written && !SyncFile(temporary)) {
        problem = temporary + ": " + Reason(errno);
        written = false;
    }
    if (written && std::rename(temporary.c_str(), target.c_str()) != 0) {
        problem = path + ": " + Reason(errno);
        written = false;
    }
    if (!written) {
        std::remove(temporary.c_str());
        *error = problem.empty() ? path + " could not be written" : problem;
        return false;
    }
    SyncFolderOf(target);
    return true;
}

bool WriteTextOutput(const std::string& path, std::string_view text, std::string* error) {
    // Output text files end their lines with CR LF.
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 32);
    for (const char c : text) {
        if (c == '\n' && (crlf.empty() || crlf.back() != '\r')) crlf += '\r';
        crlf += c;
    }
    OutputFile file;
    if (file.Create(path)) {
        file.Write(crlf);
        if (file.Close()) return true;
    }
    *error =
        path + ": " + (file.FailureReason().empty() ? "cannot be written" : file.FailureReason());
    file.Discard();
    return false;
}

}  // namespace varistrum
