// SPDX-License-Identifier: GPL-3.0-or-later
// What a calibration reads: the 40-lambda local means of the drive, one channel at a time.
#pragma once

#include <cstdint>

namespace varistrum {

// One 40-lambda local mean of one channel, in route order within its scan.
struct LocalMean {
    int scan = 0;
    double latitude = 0.0, longitude = 0.0;  // the bin's centre, WGS 84 decimal degrees
    double frequencyMHz = 0.0;
    int channel = 0;              // the log's channel number of that frequency
    double channelStepKHz = 0.0;  // of the receiver's plan (matching sites by frequency)
    double levelDbm = 0.0;        // mean power of the bin's samples (mW) back to dBm, unrounded
    std::int64_t samples = 0;     // samples in the bin
};

}  // namespace varistrum
