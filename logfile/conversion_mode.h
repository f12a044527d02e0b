// SPDX-License-Identifier: GPL-3.0-or-later
// What a conversion asks of the decoder beyond decoding: which scans it keeps and where GPS
// outages drop data.
#pragma once

#include <cstdint>
#include <vector>

#include "logfile/scan_selection.h"

namespace varistrum {

// Built by a conversion for one file from its frozen settings and handed to the reader after
// Open; the reader forgets it at the next Open or Close, so that no pass inherits another's.
struct ConversionMode {
    bool convertAllScans = false;
    const ScanSelection* scans = nullptr;  // the tree's check boxes; null keeps every scan
    bool dropOutages = false;
    // GPS record number since Open (1 = the first) of the last good fix before each outage,
    // in file order.
    std::vector<std::int64_t> outageStarts;
};

}  // namespace varistrum
