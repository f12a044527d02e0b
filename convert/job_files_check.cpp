// SPDX-License-Identifier: GPL-3.0-or-later
// Same-file and duplicate-output checks of a job.
#include "convert/job_files_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>
#include <utility>

#include "convert/output_file.h"

namespace varistrum {

namespace {

using FileId = std::pair<dev_t, ino_t>;

std::optional<FileId> IdOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileId{info.st_dev, info.st_ino};
}

// The path made absolute and normalised, its links followed as far as they lead.
std::string NormalisedPath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(ResolveLinks(path), error);
    return (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    const auto idA = IdOf(a), idB = IdOf(b);
    if (idA && idB) return *idA == *idB;
    return NormalisedPath(a) == NormalisedPath(b);
}

std::optional<FilesRefusal> CheckJobFiles(const std::vector<std::string>& inputs,
                                          const std::vector<std::string>& outputs) {
    std::set<FileId> inputIds;
    std::set<std::string> inputPaths;
    for (const std::string& input : inputs) {
        if (auto id = IdOf(input)) inputIds.insert(*id);
        inputPaths.insert(NormalisedPath(input));
    }
    std::map<std::string, std::size_t> outputOwners;  // normalised output path -> input index
    std::map<FileId, std::size_t> outputIdOwners;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const std::string normal = NormalisedPath(outputs[i]);
        const auto id = IdOf(outputs[i]);
        if ((id && inputIds.count(*id)) || inputPaths.count(normal))
            return FilesRefusal{kOutputIsInput, outputs[i]};
        std::optional<std::size_t> owner;
        if (const auto byPath = outputOwners.find(normal); byPath != outputOwners.end())
            owner = byPath->second;
        else if (const auto byId = id ? outputIdOwners.find(*id) : outputIdOwners.end();
                 byId != outputIdOwners.end())
            owner = byId->second;
        if (owner && i < inputs.size() && *owner < inputs.size()) {
            return FilesRefusal{
                "'" + inputs[*owner] + "' and '" + inputs[i] + "' give the same output file.",
                outputs[i]};
        }
        outputOwners.emplace(normal, i);
        if (id) outputIdOwners.emplace(*id, i);
    }
    return std::nullopt;
}

std::string InputFailureReason(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::generic_category().message(errno);
    if (S_ISDIR(info.st_mode)) return std::generic_category().message(EISDIR);
    if (!S_ISREG(info.st_mode)) return kNotRegularFile;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::generic_category().message(errno);
    ::close(fd);
    return {};
}

}  // namespace varistrum
