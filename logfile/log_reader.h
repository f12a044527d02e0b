// SPDX-License-Identifier: GPL-3.0-or-later
// The abstract log reader: the operations every product's reader offers, in slot order.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

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
};

// Which columns the "<< DATA >>" block carries.
struct DataColumns {
    bool frequency = true;
    bool channel = false;
    bool rssi = true;
};

class LogReader {
  public:
    LogReader();
    virtual ~LogReader() = default;
    LogReader(const LogReader&) = delete;
    LogReader& operator=(const LogReader&) = delete;

    virtual int BaseOperation() { return 0; }                                           // slot 0
    virtual void BindReceiverSelectors(ReceiverChoice choice) { receivers_ = choice; }  // 1
    virtual std::int16_t Open(const std::string& path);                                 // 2
    virtual int Close();                                                                // 3
    virtual void DataBlockTitles(std::string& out, char delimiter) {
        out.clear();
        (void)delimiter;
    }  // 4
    virtual void WriteDataBlock(std::string& out, char delimiter) {
        out.clear();
        (void)delimiter;
    }  // 5
    virtual void WriteField(std::int16_t tag, std::string& out) {
        out.clear();
        (void)tag;
    }  // 6
    virtual int ReadNextRecord(RecordBuffer& buffer) {
        (void)buffer;
        return 0;
    }  // 7
    virtual DecodeResult DecodeRecord(const RecordBuffer& buffer) {
        (void)buffer;
        return DecodeNothing;
    }  // 8
    virtual int Slot9() { return 0; }
    virtual int Slot10() { return 0; }
    virtual int Slot11() { return 0; }
    virtual void SetAverageType(std::int16_t type);  // 12
    virtual int Slot13() { return 0; }
    virtual int Slot14() { return 0; }
    virtual void ClearReceiverFlags() {}  // 15

    int AverageType() const { return averageType_; }
    void SetDataColumns(DataColumns columns) { columns_ = columns; }
    void SetDelimiter(char delimiter) { delimiter_ = delimiter; }
    char Delimiter() const { return delimiter_; }
    DataColumns Columns() const { return columns_; }
    ReceiverChoice Receivers() const { return receivers_; }

    // The text line of DecodeTextLine (empty for this product's reader).
    const std::string& TextLine() const { return textLine_; }

  protected:
    // Resets whatever the averaging work state of a reader is.
    virtual void ResetAveragingWork() {}

    BlockInput input_;
    ReceiverChoice receivers_;
    DataColumns columns_;
    char delimiter_ = ',';
    int averageType_ = kAverageNone;
    std::string textLine_;
};

// The program's one reader, bound by the front end at start-up.
extern LogReader* GlobalReader;

}  // namespace varistrum
