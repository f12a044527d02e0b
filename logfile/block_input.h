// SPDX-License-Identifier: GPL-3.0-or-later
// Sequential binary file input read in large blocks, with a look-ahead window.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "logfile/bytes.h"

namespace varistrum {

// Where a BlockInput's bytes come from: the opened file, or, in tests, a source around it
// that fails. Read returns the bytes read, 0 at the end or after an error; Error() is the
// system's error number of a failed read or seek, 0 when there was none.
class InputSource {
  public:
    virtual ~InputSource() = default;
    virtual std::size_t Read(std::uint8_t* into, std::size_t size) = 0;
    virtual bool Seek(std::uint64_t offset) = 0;
    virtual int Error() const = 0;
};

// Puts a source around the file's own (fault injection in tests).
using InputSourceWrapper =
    std::function<std::unique_ptr<InputSource>(std::unique_ptr<InputSource> file)>;

class BlockInput {
  public:
    static constexpr std::size_t kBlockSize = 1 << 20;

    BlockInput() = default;
    ~BlockInput();
    BlockInput(const BlockInput&) = delete;
    BlockInput& operator=(const BlockInput&) = delete;

    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return source_ != nullptr; }
    std::uint64_t FileSize() const { return fileSize_; }
    bool Failed() const { return failed_; }
    // The system's error number of the failure, 0 when the input has not failed by an error.
    int Error() const { return source_ ? source_->Error() : 0; }
    // Every later Open reads through the wrapper's source.
    void WrapSources(InputSourceWrapper wrapper) { wrapper_ = std::move(wrapper); }

    // Offset of the next byte to read, from the file's start.
    std::uint64_t Position() const { return bufferStart_ + cursor_; }
    // Moves the read position; false (and the stream fails) when the file cannot seek there.
    bool Seek(std::uint64_t offset);

    // The next `size` bytes without consuming them; shorter at the end of the file
    // or after a read error (then Failed() is set). Inline: the reader peeks twice per record,
    // and the bytes are nearly always in the buffer already.
    ByteSpan Peek(std::size_t size) {
        if (filled_ - cursor_ < size) Fill(size);
        return ByteSpan(buffer_.data() + cursor_, std::min(size, filled_ - cursor_));
    }
    // Consumes `size` bytes; false when fewer were available.
    bool Skip(std::size_t size) {
        if (filled_ - cursor_ < size) return SkipPastBuffer(size);
        cursor_ += size;
        return true;
    }

  private:
    bool Fill(std::size_t wanted);
    bool SkipPastBuffer(std::size_t size);

    std::unique_ptr<InputSource> source_;
    InputSourceWrapper wrapper_;
    std::uint64_t fileSize_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bufferStart_ = 0;  // file offset of buffer_[0]
    std::size_t cursor_ = 0;         // read position within buffer_
    std::size_t filled_ = 0;         // valid bytes in buffer_
    bool failed_ = false;
    bool atEnd_ = false;
};

}  // namespace varistrum
