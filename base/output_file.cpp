// SPDX-License-Identifier: GPL-3.0-or-later
// Buffered, checked output file, put in place only when it is complete.
#include "base/output_file.h"

#include <unistd.h>

#include <cerrno>

namespace varistrum {

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Create(const std::string& path, const OutputKind& kind) {
    return Create(ClassifyTarget(path), kind);
}

bool OutputFile::Create(const OutputTarget& target, const OutputKind& kind) {
    Discard();
    if (!staged_.OpenStream(target, kind)) return false;
    buffer_.resize(kBufferSize);
    return true;
}

bool OutputFile::UseStandardOutput() {
    Discard();
    if (!staged_.UseDescriptor(STDOUT_FILENO)) return false;
    buffer_.resize(kBufferSize);
    return true;
}

bool OutputFile::UseNowhere() {
    Discard();
    staged_.UseNowhere();
    buffer_.resize(kBufferSize);
    return true;
}

void OutputFile::WriteThrough(std::string_view text) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0 && !staged_.Failed()) {
        const ssize_t written = ::write(staged_.Descriptor(), data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            staged_.Fail(written < 0 ? errno : ENOSPC);
            break;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

void OutputFile::Flush() {
    if (staged_.Descriptor() >= 0 && used_ > 0)
        WriteThrough(std::string_view(buffer_.data(), used_));
    used_ = 0;
}

bool OutputFile::Finish() {
    if (!staged_.IsOpen()) return !staged_.Failed();
    Flush();
    buffer_.clear();
    buffer_.shrink_to_fit();
    return staged_.Finish();
}

bool OutputFile::Close() {
    const bool wasOpen = staged_.IsOpen();
    if (!Finish() || !wasOpen) {
        if (staged_.Failed()) staged_.Discard();
        return !staged_.Failed();
    }
    // Alone, a file needs no earlier version kept: the rename replaces it in one step.
    if (!staged_.Publish()) {
        staged_.Discard();
        return false;
    }
    if (!staged_.Direct()) SyncFolder(FolderOfPath(staged_.Target().resolved));
    staged_.Discard();
    return true;
}

void OutputFile::Discard() {
    staged_.Discard();
    used_ = 0;
    buffer_.clear();
    buffer_.shrink_to_fit();
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, const OutputKind& kind,
                    std::string& reason) {
    OutputFile file;
    if (file.Create(path, kind)) {
        file.Write(bytes);
        if (file.Close()) return true;
    }
    reason = file.FailureReason();
    return false;
}

}  // namespace varistrum
