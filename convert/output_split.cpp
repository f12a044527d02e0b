// SPDX-License-Identifier: GPL-3.0-or-later
// Part files of a long output.
#include "convert/output_split.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "convert/conversion_settings.h"
#include "convert/folder_files.h"
#include "convert/output_file.h"

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

int RemoveStaleParts(const std::string& outputPath, int partsWritten) {
    const std::string folder = SplitFolderOf(outputPath);
    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(folder, error)) return 0;
    const std::size_t slash = folder.find_last_of('/');
    const std::string prefix =
        (slash == std::string::npos ? folder : folder.substr(slash + 1)) + "-";
    std::vector<std::filesystem::path> stale;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 4, 4, ".out") != 0)
            continue;
        const std::string number = name.substr(prefix.size(), name.size() - prefix.size() - 4);
        // Only the names this program gives its parts: a decimal number without leading zeros.
        if (number.size() > 9 || number.front() == '0' ||
            number.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (std::stoi(number) > partsWritten && !it->is_directory(error))
            stale.push_back(it->path());
    }
    int removed = 0;
    for (const auto& path : stale) removed += std::filesystem::remove(path, error) ? 1 : 0;
    if (std::filesystem::is_empty(folder, error) && !error) std::filesystem::remove(folder, error);
    return removed;
}

}  // namespace varistrum
