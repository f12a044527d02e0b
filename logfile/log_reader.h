// SPDX-License-Identifier: GPL-3.0-or-later
// The abstract log reader: opening a log file and reading its records one after another.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "logfile/block_input.h"
#include "logfile/decode_result.h"
#include "logfile/records.h"

namespace varistrum {

// One record as ReadNextRecord delivers it: the type byte first, then the payload.
struct RecordBuffer {
    std::array<std::uint8_t, kMaxRecordLength> bytes{};
    int length = 0;  // bytes held (type byte included)

    ByteSpan Record() const { return ByteSpan(bytes.data(), static_cast<std::size_t>(length)); }
};

// The main window's "Receiver #1" / "Receiver #2" data-source choice.
struct ReceiverChoice {
    bool receiver1 = true;
    bool receiver2 = false;
    // The receiver whose list and table entries a conversion takes: 0 or 1.
    int Selected() const { return receiver1 ? 0 : 1; }
    bool Takes(int receiver) const { return receiver == 0 ? receiver1 : receiver2; }
    bool operator==(const ReceiverChoice&) const = default;
};

// Which columns the "<< DATA >>" block carries.
struct DataColumns {
    bool frequency = true;
    bool channel = false;
    bool rssi = true;
};

class LogReader {
  public:
    LogReader() = default;
    virtual ~LogReader() = default;
    LogReader(const LogReader&) = delete;
    LogReader& operator=(const LogReader&) = delete;

    // 0 when the file was opened, -1 when it cannot be.
    virtual std::int16_t Open(const std::string& path);
    virtual int Close();
    // Bytes consumed (length field included), 0 at the end of the data, 4 for a damaged record.
    virtual int ReadNextRecord(RecordBuffer& buffer) = 0;

  protected:
    BlockInput input_;
};

}  // namespace varistrum
