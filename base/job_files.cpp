// SPDX-License-Identifier: GPL-3.0-or-later
// Same-file and duplicate-output checks of a job.
#include "base/job_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>
#include <utility>

#include "base/output_target.h"

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

std::string Lowered(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// The files a job reads, by inode and by name.
class ReadFiles {
  public:
    void Add(const std::string& path, const char* refusal) {
        if (auto id = IdOf(path)) ids_.emplace(*id, refusal);
        paths_.emplace(NormalisedPath(path), refusal);
    }
    // The refusal when `output` is one of them.
    const char* Find(const std::string& output) const {
        if (const auto id = IdOf(output)) {
            if (const auto found = ids_.find(*id); found != ids_.end()) return found->second;
        }
        const auto found = paths_.find(NormalisedPath(output));
        return found == paths_.end() ? nullptr : found->second;
    }

  private:
    std::map<FileId, const char*> ids_;
    std::map<std::string, const char*> paths_;
};

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    const auto idA = IdOf(a), idB = IdOf(b);
    if (idA && idB) return *idA == *idB;
    return NormalisedPath(a) == NormalisedPath(b);
}

std::optional<FilesRefusal> CheckJobFiles(const JobFileList& files) {
    ReadFiles read;
    for (const std::string& input : files.inputs) read.Add(input, kOutputIsInput);
    for (const std::string& background : files.backgrounds)
        read.Add(background, kOutputIsBackground);
    std::map<std::string, std::size_t> ownerByPath;  // normalised output path -> owner
    std::map<FileId, std::size_t> ownerById;
    for (std::size_t owner = 0; owner < files.outputs.size(); ++owner) {
        for (const std::string& output : files.outputs[owner]) {
            if (const char* refusal = read.Find(output)) return FilesRefusal{refusal, output};
            std::string normal = NormalisedPath(output);
            if (files.caseInsensitive) normal = Lowered(normal);
            const auto id = IdOf(output);
            std::optional<std::size_t> other;
            if (const auto byPath = ownerByPath.find(normal); byPath != ownerByPath.end())
                other = byPath->second;
            else if (const auto byId = id ? ownerById.find(*id) : ownerById.end();
                     byId != ownerById.end())
                other = byId->second;
            if (other && *other != owner && owner < files.inputs.size() &&
                *other < files.inputs.size()) {
                return FilesRefusal{"'" + files.inputs[*other] + "' and '" + files.inputs[owner] +
                                        "' give the same output file.",
                                    output};
            }
            if (other && *other == owner)
                return FilesRefusal{"'" + output + "' is written twice by one output.", output};
            ownerByPath.emplace(normal, owner);
            if (id) ownerById.emplace(*id, owner);
        }
    }
    return std::nullopt;
}

std::optional<FilesRefusal> CheckJobFiles(const std::vector<std::string>& inputs,
                                          const std::vector<std::string>& outputs) {
    JobFileList files;
    files.inputs = inputs;
    for (const std::string& output : outputs) files.outputs.push_back({output});
    return CheckJobFiles(files);
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
