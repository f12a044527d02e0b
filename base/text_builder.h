// SPDX-License-Identifier: GPL-3.0-or-later
// A growable text written through a raw cursor: the output lines are built in one.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/number_format.h"

namespace varistrum {

// Like an appended-to std::string, but a writer asks once for room for a piece of known
// maximum length and then stores its bytes without a check per character: a data line is a
// few hundred such pieces, and std::string's per-append bookkeeping was most of its cost.
class TextBuilder {
  public:
    TextBuilder() : storage_(kInitialCapacity) {}

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const char* data() const { return storage_.data(); }
    std::string_view View() const { return {storage_.data(), size_}; }
    void clear() { size_ = 0; }

    // At least `count` writable bytes at the end of the text; valid until the next call.
    char* Room(std::size_t count) {
        if (storage_.size() - size_ < count)
            storage_.resize(std::max(storage_.size() * 2, size_ + count));
        return storage_.data() + size_;
    }
    // Keeps what was written into Room up to `end`.
    void CommitTo(const char* end) { size_ = static_cast<std::size_t>(end - storage_.data()); }

    void push_back(char c) {
        Room(1)[0] = c;
        ++size_;
    }
    void append(std::string_view text) {
        std::memcpy(Room(text.size()), text.data(), text.size());
        size_ += text.size();
    }
    void append(std::size_t count, char c) {
        std::memset(Room(count), c, count);
        size_ += count;
    }

  private:
    static constexpr std::size_t kInitialCapacity = 1 << 16;
    std::vector<char> storage_;
    std::size_t size_ = 0;
};

// The number writers of number_format.h for a TextBuilder.
inline void AppendInt(TextBuilder& out, std::int64_t value, int width = 0) {
    out.CommitTo(WriteInt(out.Room(kMaxIntText), value, width));
}

inline void AppendFixed(TextBuilder& out, double value, int precision) {
    out.CommitTo(WriteFixed(out.Room(kMaxFixedText), value, precision));
}

}  // namespace varistrum
