// SPDX-License-Identifier: GPL-3.0-or-later
// Part files of a long output.
#include "convert/output_split.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "base/output_file.h"
#include "convert/conversion_settings.h"
#include "convert/folder_files.h"

namespace varistrum {

namespace {

// Reads whole lines (up to and including '\n'). Like the C library, the end is known only
// once a read finds no more data, or a last line without a line end has been read.
class LineReader {
  public:
    explicit LineReader(std::FILE* file) : file_(file) {}

    bool ReadLine(std::string& line) {
        line.clear();
        for (;;) {
            if (at_ == filled_ && !Refill()) {
                atEnd_ = true;
                return !line.empty();
            }
            const char* start = buffer_ + at_;
            const void* newline = std::memchr(start, '\n', filled_ - at_);
            const std::size_t take =
                newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - start) + 1
                        : filled_ - at_;
            line.append(start, take);
            at_ += take;
            if (newline) return true;
        }
    }
    bool AtEnd() const { return atEnd_; }
    bool Failed() const { return std::ferror(file_) != 0; }

  private:
    bool Refill() {
        filled_ = std::fread(buffer_, 1, sizeof buffer_, file_);
        at_ = 0;
        return filled_ > 0;
    }

    std::FILE* file_;
    char buffer_[1 << 16];
    std::size_t at_ = 0, filled_ = 0;
    bool atEnd_ = false;
};

}  // namespace

std::string SplitFolderOf(const std::string& outputPath) {
    const std::string folder = WithoutExtension(outputPath);
    // "/d/.out" names no folder of its own.
    return folder.empty() || folder.back() == '/' ? std::string() : folder;
}

std::optional<std::string> SplitOutputFile(const std::string& outputPath, JobObserver& observer,
                                           SplitReport* report) {
    SplitReport ignored;
    SplitReport& result = report != nullptr ? *report : ignored;
    result = {};
    const std::string folder = SplitFolderOf(outputPath);
    std::error_code error;
    if (folder.empty() || (!std::filesystem::is_directory(folder, error) &&
                           !std::filesystem::create_directory(folder, error))) {
        result.path = folder;
        result.reason = error ? error.message() : std::string();
        return std::string("Cannot create directory.");
    }

    const std::uint64_t size = std::filesystem::file_size(outputPath, error);
    PercentGauge gauge(observer, error ? 0 : size);
    gauge.Reset();
    std::FILE* input = std::fopen(outputPath.c_str(), "rb");
    if (input == nullptr) {
        result.path = outputPath;
        result.reason = std::generic_category().message(errno);
        return std::string("Output File Cannot Be Accessed!");
    }
    LineReader lines(input);

    const std::size_t slash = folder.find_last_of('/');
    const std::string base = slash == std::string::npos ? folder : folder.substr(slash + 1);
    std::optional<std::string> failure;
    std::string line;
    for (int part = 1; !lines.AtEnd() && !failure; ++part) {
        OutputFile partFile;
        const std::string partPath = folder + "/" + base + "-" + std::to_string(part) + ".out";
        // A part is named after the output: a link there would lead to a file nobody named.
        if (ResolveLinks(partPath) != partPath) {
            failure = "Split File Cannot Be Accessed!";
            result.path = partPath;
            result.reason = "a symbolic link";
            break;
        }
        if (!partFile.Create(partPath)) {
            failure = "Split File Cannot Be Accessed!";
            result.path = partPath;
            result.reason = partFile.FailureReason();
            break;
        }
        for (int copied = 0; copied < kSplitLines && lines.ReadLine(line); ++copied) {
            partFile.Write(line);
            gauge.Advance(line.size());
        }
        if (lines.Failed()) {
            partFile.Discard();
            failure = "Output File Cannot Be Accessed!";
            result.path = outputPath;
            result.reason = std::generic_category().message(EIO);
        } else if (!partFile.Close()) {
            failure = "Split File Cannot Be Accessed!";
            result.path = partPath;
            result.reason = partFile.FailureReason();
        } else {
            result.parts = part;
        }
    }
    std::fclose(input);
    return failure;
}

namespace {

// The part number of a file name this program gives parts ("<base>-<n>.out", n a decimal
// number without leading zeros); 0 for any other name.
int PartNumber(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - 4, 4, ".out") != 0)
        return 0;
    const std::string number = name.substr(prefix.size(), name.size() - prefix.size() - 4);
    if (number.size() > 9 || number.front() == '0' ||
        number.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoi(number);
}

// The part files of the split folder with their numbers.
std::vector<std::pair<int, std::filesystem::path>> PartsIn(const std::string& folder) {
    std::vector<std::pair<int, std::filesystem::path>> parts;
    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(folder, error)) return parts;
    const std::size_t slash = folder.find_last_of('/');
    const std::string prefix =
        (slash == std::string::npos ? folder : folder.substr(slash + 1)) + "-";
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (const int number = PartNumber(it->path().filename().string(), prefix); number > 0)
            parts.emplace_back(number, it->path());
    }
    return parts;
}

}  // namespace

std::vector<std::string> ExistingParts(const std::string& outputPath) {
    std::vector<std::string> parts;
    for (const auto& [number, path] : PartsIn(SplitFolderOf(outputPath)))
        parts.push_back(path.string());
    return parts;
}

int RemoveStaleParts(const std::string& outputPath, int partsWritten) {
    const std::string folder = SplitFolderOf(outputPath);
    std::error_code error;
    std::vector<std::filesystem::path> stale;
    for (const auto& [number, path] : PartsIn(folder)) {
        if (number > partsWritten && !std::filesystem::is_directory(path, error))
            stale.push_back(path);
    }
    int removed = 0;
    for (const auto& path : stale) removed += std::filesystem::remove(path, error) ? 1 : 0;
    if (!folder.empty() && std::filesystem::is_directory(folder, error) &&
        std::filesystem::is_empty(folder, error) && !error)
        std::filesystem::remove(folder, error);
    return removed;
}

}  // namespace varistrum
