// SPDX-License-Identifier: GPL-3.0-or-later
// What the decoder made of one record: its kind, its payload and the scan events it caused.
#pragma once

#include <cstdint>

#include "logfile/bytes.h"

namespace varistrum {

enum class RecordKind : std::uint8_t {
    Ignored,  // a type without a meaning, or a record too short for its type
    Gps,
    Config,
    Samples,  // receiver samples (types 2 and 3)
    Rtc,
    ScanList32,
    ScanList10,
    ChannelList,
    ChannelTable,
    TpPosition,
    TpTime,
};

// Valid until the next DecodeRecord.
struct DecodedRecord {
    RecordKind kind = RecordKind::Ignored;
    ByteSpan payload;  // after the type byte, at least as long as the kind needs
    int receiver = 0;  // Samples: 0 receiver 1, 1 receiver 2
    // A scan's number took effect with this record: a conversion's choice of scans applies to
    // the records from here on (a scan that starts before the file's first time stamp takes its
    // number at that stamp).
    bool scanChosen = false;
    // A channel table began a new scan with this record.
    bool tableScanBegan = false;

    // Records whose data a conversion writes: the ones a filter may drop.
    bool CarriesData() const {
        return kind == RecordKind::Samples || kind == RecordKind::ChannelList ||
               kind == RecordKind::ChannelTable;
    }
};

}  // namespace varistrum
