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

    // What times the row: Gps (the GPS date with the row's clock), Rtc (the RTC stamp) or None
    // (the file has given no time yet).
    Timing timing = Timing::None;
    RtcClock rtc;           // the last RTC stamp
    bool averaged = false;  // a 40-lambda average: one level, at the bin's centre

    // Best server writes a single entry: a list row its strongest slot (-1: every slot is
    // written), a table row the strongest channel of the sweep that ended in its record.
    int bestSlot = -1;
    bool bestTableEntry = false;
    int bestChannel = 0;
    int bestRssi = 0;

    // Frequency (MHz) of slot `j`; slots past the channel table read its last entry.
    double SlotFrequencyMHz(int j) const;
};

// A GPS record met by a conversion, in file order between the rows: the rows handed over for
// the same record come before it (they were placed up to this fix).
struct GpsFixEvent {
    const GpsBlock& gps;
    int scanNumber = 0;
    ScanKind scanKind = ScanKind::None;
    bool scanSelected = true;  // false inside a scan the conversion leaves out
};

// Receives a conversion's rows in file order.
class RowSink {
  public:
    virtual ~RowSink() = default;
    // The rows that follow belong to a new scan.
    virtual void BeginScan() {}
    virtual void AcceptRow(const OutputRow& row) = 0;
    // A GPS record, whether or not it gives rows.
    virtual void AcceptFix(const GpsFixEvent& /*fix*/) {}
    // The file's records have all been read (not called after a cancel or a read error).
    virtual void EndOfRows() {}
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
    // The reader's latest GPS record.
    void FeedFix();
    void FeedEndOfRows() {
        for (RowSink* sink : sinks_) sink->EndOfRows();
    }
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
