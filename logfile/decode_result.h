// SPDX-License-Identifier: GPL-3.0-or-later
// What a conversion writes for a record, and the reductions it applies to the data.
#pragma once

namespace varistrum {

enum DecodeResult : int {
    DecodeNothing = 0,
    DecodeDataReady = 1,      // write OutputCount data lines
    DecodeHeaderChange = 3,   // a scan definition: its header waits for the scan's first line
    DecodeHeaderAndData = 4,  // a header record is due, then the data lines
};

// Average types of a conversion.
inline constexpr int kAverageNone = 0;
inline constexpr int kAverageLambda = 1;
inline constexpr int kAverageBestServer = 3;

}  // namespace varistrum
