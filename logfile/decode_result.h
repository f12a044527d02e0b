// SPDX-License-Identifier: GPL-3.0-or-later
// What the caller of DecodeRecord writes for a record.
#pragma once

namespace varistrum {

enum DecodeResult : int {
    DecodeNothing = 0,
    DecodeDataReady = 1,      // write OutputCount data lines
    DecodeTextLine = 2,       // copy the reader's text line (this reader never returns it)
    DecodeHeaderChange = 3,   // a new scan was selected
    DecodeHeaderAndData = 4,  // a header record, then the data lines
};

// Average types of SetAverageType.
inline constexpr int kAverageNone = 0;
inline constexpr int kAverageLambda = 1;
inline constexpr int kAverageBestServer = 3;

}  // namespace varistrum
