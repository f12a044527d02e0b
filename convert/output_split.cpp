// SPDX-License-Identifier: GPL-3.0-or-later
// Part files of a long output.
#include "convert/output_split.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "convert/conversion_settings.h"
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
                newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - start) + 1 : filled_ - at_;
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
    return outputPath.size() > 4 ? outputPath.substr(0, outputPath.size() - 4) : std::string();
}

std::optional<std::string> SplitOutputFile(const std::string& outputPath, JobObserver& observer) {
    const std::string folder = SplitFolderOf(outputPath);
    std::error_code error;
    if (folder.empty() ||
        (!std::filesystem::is_directory(folder, error) && !std::filesystem::create_directory(folder, error)))
        return std::string("Cannot create directory.");

    const std::uint64_t size = std::filesystem::file_size(outputPath, error);
    PercentGauge gauge(observer, error ? 0 : size);
    gauge.Reset();
    std::FILE* input = std::fopen(outputPath.c_str(), "rb");
    if (input == nullptr) return std::string("Output File Cannot Be Accessed!");
    LineReader lines(input);

    const std::size_t slash = folder.find_last_of('/');
    const std::string base = slash == std::string::npos ? folder : folder.substr(slash + 1);
    std::optional<std::string> failure;
    std::string line;
    for (int part = 1; !lines.AtEnd() && !failure; ++part) {
        OutputFile partFile;
        if (!partFile.Create(folder + "/" + base + "-" + std::to_string(part) + ".out")) {
            failure = "Split File Cannot Be Accessed!";
            break;
        }
        for (int copied = 0; copied < kSplitLines && lines.ReadLine(line); ++copied) {
            partFile.Write(line);
            gauge.Advance(line.size());
        }
        if (!partFile.Close()) failure = "Split File Cannot Be Accessed!";
        if (lines.Failed()) failure = "Output File Cannot Be Accessed!";
    }
    std::fclose(input);
    return failure;
}

}  // namespace varistrum
