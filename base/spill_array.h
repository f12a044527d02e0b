// SPDX-License-Identifier: GPL-3.0-or-later
// An array that keeps a bounded part of itself in memory and the rest in a temporary file, so
// the values waiting between two GPS fixes never fill the memory, however long the gap.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace varistrum {

// Bytes each spill array keeps in memory per part (its head, its unwritten tail and its read
// window): a few MiB in use; tests make it small to spill after a few values.
std::size_t SpillChunkBytes();
void SetSpillChunkBytes(std::size_t bytes);

// The folder of temporary files: $TMPDIR when it is set and not empty, else /tmp.
std::string TemporaryFolder();

// An unnamed temporary file in TemporaryFolder(): the system removes it when it is closed or
// the process ends, whatever way it ends. A file that cannot be made, written or read back
// throws ResourceError: the values would otherwise stay in memory without bound, or come back
// wrong.
class SpillFile {
  public:
    SpillFile() = default;
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;
    SpillFile(SpillFile&& other) noexcept;
    SpillFile& operator=(SpillFile&& other) noexcept;
    ~SpillFile();

    void Append(const void* data, std::size_t bytes);
    void Read(std::uint64_t offset, void* data, std::size_t bytes) const;
    // Empties the file; it stays open for the next gap.
    void Clear();

  private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::string folder_;  // where it was made, for messages
};

// Elements in order: a head in memory, then those written to the file, then a tail in memory
// that is written out once it fills a part. Reading is fastest in order, but any index works.
template <typename T>
class SpillArray {
    static_assert(std::is_trivially_copyable_v<T>);

  public:
    SpillArray() = default;
    // A moved-from array is empty.
    SpillArray(SpillArray&& other) noexcept
        : head_(std::move(other.head_)),
          tail_(std::move(other.tail_)),
          fileCount_(std::exchange(other.fileCount_, 0)),
          file_(std::move(other.file_)),
          window_(std::move(other.window_)),
          windowFirst_(std::exchange(other.windowFirst_, 0)) {}
    SpillArray& operator=(SpillArray&& other) noexcept {
        if (this != &other) {
            head_ = std::move(other.head_);
            tail_ = std::move(other.tail_);
            fileCount_ = std::exchange(other.fileCount_, 0);
            file_ = std::move(other.file_);
            window_ = std::move(other.window_);
            windowFirst_ = std::exchange(other.windowFirst_, 0);
        }
        return *this;
    }

    std::size_t size() const { return head_.size() + fileCount_ + tail_.size(); }
    bool empty() const { return size() == 0; }
    bool Spilled() const { return fileCount_ > 0; }

    void push_back(const T& value) { Append(&value, 1); }

    // Appends n values converted to T.
    template <typename U>
    void Append(const U* values, std::size_t n) {
        const std::size_t part = PartSize();
        while (n > 0) {
            std::vector<T>& into =
                fileCount_ == 0 && tail_.empty() && head_.size() < part ? head_ : tail_;
            if (into.capacity() - into.size() < std::min(n, part)) {
                into.reserve(std::min(part, std::max(into.size() + n, 2 * into.capacity())));
            }
            const std::size_t room = part > into.size() ? part - into.size() : n;
            const std::size_t take = std::min(n, room);
            into.insert(into.end(), values, values + take);
            values += take;
            n -= take;
            if (&into == &tail_ && tail_.size() >= part) WriteTail();
        }
    }

    const T& operator[](std::size_t k) const {
        if (k < head_.size()) return head_[k];
        k -= head_.size();
        if (k >= fileCount_) return tail_[k - fileCount_];
        if (k < windowFirst_ || k >= windowFirst_ + window_.size()) LoadWindow(k);
        return window_[k - windowFirst_];
    }

    // Copies values [first, first + n) into `out`.
    void CopyOut(std::size_t first, std::size_t n, T* out) const {
        for (std::size_t i = 0; i < n; ++i) out[i] = (*this)[first + i];
    }

    // A pointer to n values in a row when they lie in one part in memory; nullptr otherwise.
    const T* Contiguous(std::size_t first, std::size_t n) const {
        if (first + n <= head_.size()) return head_.data() + first;
        const std::size_t tailStart = head_.size() + fileCount_;
        if (first >= tailStart) return tail_.data() + (first - tailStart);
        return nullptr;
    }

    void clear() {
        head_.clear();
        tail_.clear();
        if (fileCount_ > 0) file_.Clear();
        fileCount_ = 0;
        window_.clear();
        windowFirst_ = 0;
    }

  private:
    static std::size_t PartSize() {
        return std::max<std::size_t>(1, SpillChunkBytes() / sizeof(T));
    }

    void WriteTail() {
        file_.Append(tail_.data(), tail_.size() * sizeof(T));
        fileCount_ += tail_.size();
        tail_.clear();
    }

    void LoadWindow(std::size_t k) const {
        const std::size_t part = PartSize();
        windowFirst_ = k / part * part;
        const std::size_t n = std::min(part, fileCount_ - windowFirst_);
        window_.resize(n);
        file_.Read(static_cast<std::uint64_t>(windowFirst_) * sizeof(T), window_.data(),
                   n * sizeof(T));
    }

    std::vector<T> head_;
    std::vector<T> tail_;
    std::size_t fileCount_ = 0;
    SpillFile file_;
    mutable std::vector<T> window_;
    mutable std::size_t windowFirst_ = 0;
};

}  // namespace varistrum
