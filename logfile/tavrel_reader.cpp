// SPDX-License-Identifier: GPL-3.0-or-later
// TavrelReader: opening a log file and framing its records.
#include "logfile/tavrel_reader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <system_error>

namespace varistrum {

namespace {
constexpr int kResyncChain = 8;  // records that must frame in a row to resume after damage
constexpr std::uint8_t kIgnoredType = 0x80;
}  // namespace

void TavrelReader::ResetForOpen() {
    // Everything a file's decoding depends on starts afresh.
    state_ = DecoderState{};
    damage_ = {};
    readFailed_ = false;
}

std::int16_t TavrelReader::Open(const std::string& path) {
    ResetForOpen();
    if (!input_.Open(path)) {
        dataEnd_ = readEnd_ = 0;
        return -1;
    }
    LogHeader header;
    const ByteSpan start = input_.Peek(10);
    if (start.size() < std::min<std::uint64_t>(10, input_.FileSize())) {
        dataEnd_ = readEnd_ = 0;
        readFailed_ = true;  // the header itself could not be read
        return 0;
    }
    if (!ReadLogHeader(inputFormat_, start, input_.FileSize(), header)) {
        dataEnd_ = readEnd_ = 0;  // too short for a header: no records
        return 0;
    }
    dataEnd_ = header.dataEnd;
    readEnd_ = std::min<std::uint64_t>(dataEnd_, input_.FileSize());
    // Bytes behind the record area are never read: they count as skipped.
    damage_.skippedBytes += static_cast<std::int64_t>(input_.FileSize() - readEnd_);
    input_.Seek(header.headerSize);
    return 0;
}

int TavrelReader::Close() {
    input_.Close();
    return 0;
}

// The rest of the record area holds no whole record (one cut by the end of the file): those
// bytes are counted as skipped, once, and the read position moves past them.
int TavrelReader::EndWithCutRecord(std::uint64_t position) {
    if (position < readEnd_) {
        damage_.skippedBytes += static_cast<std::int64_t>(readEnd_ - position);
        input_.Seek(readEnd_);
    }
    return 0;
}

// The input delivered fewer bytes than the file had at Open: a read error, or the file has
// been cut since. Reading ends; nothing more is counted.
int TavrelReader::EndWithReadFailure() {
    readFailed_ = true;
    return 0;
}

std::string TavrelReader::ReadFailureReason() const {
    if (!readFailed_) return {};
    if (const int error = input_.Error(); error != 0) return std::generic_category().message(error);
    return "the file has become shorter while it was read";
}

int TavrelReader::ReadNextRecord(RecordBuffer& buffer) {
    if (!input_.IsOpen() || readFailed_) return 0;
    const std::uint64_t position = input_.Position();
    if (position + 2 > readEnd_) return EndWithCutRecord(position);
    const ByteSpan lengthField = input_.Peek(2);
    if (lengthField.size() < 2) return EndWithReadFailure();
    const int length = U16LE(lengthField, 0);
    if (length == 0 || length > kMaxRecordLength) {
        ++damage_.damagedRecords;
        buffer.bytes[0] = kIgnoredType;  // decoding the buffer all the same does nothing
        buffer.length = 1;
        ResyncAfterDamage(position);
        return readFailed_ ? 0 : 4;
    }
    if (position + 2 + static_cast<std::uint64_t>(length) > readEnd_)
        return EndWithCutRecord(position);
    const ByteSpan record = input_.Peek(static_cast<std::size_t>(length) + 2);
    if (record.size() < static_cast<std::size_t>(length) + 2) return EndWithReadFailure();
    std::copy(record.begin() + 2, record.end(), buffer.bytes.begin());
    buffer.length = length;
    input_.Skip(record.size());
    const int needed = MinimumPayloadOf(buffer.bytes[0]);
    if (needed >= 0 && length - 1 < needed) ++damage_.damagedRecords;
    return length + 2;
}

// Records of a plausible chain starting at `offset`: lengths 1..4096, payloads long enough
// for their types, all inside the record area. A shorter chain counts only when it ends at the
// DataEnd the header gives: where a file is cut short, its end is no record boundary.
bool TavrelReader::ChainPlausible(std::uint64_t offset) {
    if (!input_.Seek(offset)) return false;
    const std::uint64_t limit = readEnd_ - offset;
    const auto wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(limit, kResyncChain * (kMaxRecordLength + 2)));
    const ByteSpan window = input_.Peek(wanted);
    if (window.size() < wanted) {
        readFailed_ = true;
        return false;
    }
    std::uint64_t at = 0;
    for (int k = 0; k < kResyncChain; ++k) {
        if (at == limit) return k > 0 && readEnd_ == dataEnd_;
        if (at + 2 > limit) return false;
        const int length = U16LE(window, static_cast<std::size_t>(at));
        if (length < 1 || length > kMaxRecordLength) return false;
        if (at + 2 + static_cast<std::uint64_t>(length) > limit) return false;
        const auto needed = MinimumPayload(U8(window, static_cast<std::size_t>(at + 2)));
        if (needed && length - 1 < *needed) return false;
        at += 2 + static_cast<std::uint64_t>(length);
    }
    return true;
}

// Scans forward from the byte after the refused length field's first byte to the first
// offset where records frame plausibly again; the end of the record area when none does.
bool TavrelReader::ResyncAfterDamage(std::uint64_t damagedAt) {
    for (std::uint64_t offset = damagedAt + 1; offset < readEnd_; ++offset) {
        if (ChainPlausible(offset)) {
            damage_.skippedBytes += static_cast<std::int64_t>(offset - damagedAt);
            return input_.Seek(offset);
        }
        if (input_.Failed()) readFailed_ = true;
        if (readFailed_) return false;
    }
    damage_.skippedBytes += static_cast<std::int64_t>(readEnd_ - std::min(damagedAt, readEnd_));
    input_.Seek(readEnd_);
    return false;
}

}  // namespace varistrum
