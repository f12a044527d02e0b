// SPDX-License-Identifier: GPL-3.0-or-later
// The rows a conversion hands to its sinks: plain values, no reader behind them.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "logfile/decoder_state.h"
#include "logfile/records.h"

namespace varistrum {

class TavrelReader;

// One output point of a conversion: a data line of the text output. Its spans look into the
// decoder's buffers and are valid only during the call that hands the row over; a sink that
// keeps samples copies them.
struct OutputRow {
    std::int64_t number = 0;  // 1 for the file's first row (the Record Number field)
    int point = 0;            // index of the row among the points of its record or GPS fix

    // The point: interpolated between fixes or a 40-lambda bin's centre where the samples
    // wait for the next fix, else the last fix.
    double latitude = 0.0;  // decimal degrees, north positive
    double longitude = 0.0;
    int hours = 0, minutes = 0, seconds = 0;
    GpsBlock gps;  // the last GPS record's values (status, date, altitude, speed, ...)

    int scanNumber = 0;  // as the index pass numbers the scans
    ScanKind scanKind = ScanKind::None;
    DataKind dataMode = DataKind::None;
    int receiver = 1;  // 1 or 2

    // The row's levels (dBm), in slot order, and what gives each slot its frequency: the
    // selected receiver's channel codes (single frequency and list scans) or the table's
    // channel numbers, under the receiver's frequency plan.
    std::span<const std::int8_t> levels;
    std::span<const std::uint32_t> channelCodes;
    std::span<const std::uint16_t> tableChannels;
    FrequencyPlan plan;

    // Frequency (MHz) of slot `j`; slots past the channel table read its last entry.
    double SlotFrequencyMHz(int j) const;
};

// Receives a conversion's rows in file order.
class RowSink {
  public:
    virtual ~RowSink() = default;
    // The rows that follow belong to a new scan.
    virtual void BeginScan() {}
    virtual void AcceptRow(const OutputRow& row) = 0;
    // A text line of the reader (none for this product's logs).
    virtual void AcceptText(std::string_view /*text*/) {}
    // True once the sink cannot take more (its output failed): the conversion then stops.
    virtual bool Failed() const { return false; }
};

// The row of point `point` of the reader's current decode result.
void FillRow(const TavrelReader& reader, int point, std::int64_t number, OutputRow& row);

// Hands the points of each decode result to the sinks as rows, numbered from 1 in file order.
class RowFeed {
  public:
    RowFeed(TavrelReader& reader, std::vector<RowSink*> sinks)
        : reader_(reader), sinks_(std::move(sinks)) {}

    void BeginScan() {
        for (RowSink* sink : sinks_) sink->BeginScan();
    }
    // Every point of the current result; a row is counted even when a sink writes nothing.
    void FeedRows();
    void FeedText(std::string_view text) {
        for (RowSink* sink : sinks_) sink->AcceptText(text);
    }
    bool Failed() const {
        for (const RowSink* sink : sinks_) {
            if (sink->Failed()) return true;
        }
        return false;
    }
    std::int64_t Rows() const { return rows_; }

  private:
    TavrelReader& reader_;
    std::vector<RowSink*> sinks_;
    OutputRow row_;
    std::int64_t rows_ = 0;
};

}  // namespace varistrum
