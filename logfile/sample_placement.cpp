// SPDX-License-Identifier: GPL-3.0-or-later
// Sample records placed between two GPS fixes by interpolation.
#include "logfile/sample_placement.h"

#include <cstdlib>

namespace varistrum {

void InterpolatedPlacement::AddRecord(const WaitingRecord& record) {
    // The points of the last fix have been written: the first record after it starts afresh.
    if (record.before == 0) rows_.Clear();
    rows_.AddRecord(record.receiver, record.lastSample, record.levels, record.count);
}

// Spreads the records that arrived since the previous fix evenly over the way and the time
// from that fix to this one (the rows work out their own share when they are read).
int InterpolatedPlacement::PlaceAtFix(const FixPlacement& fix) {
    const int n = fix.records;
    if (n > 0) {
        const int current = fix.hours * 3600 + fix.minutes * 60 + fix.seconds;
        const int previous =
            fix.previousHours * 3600 + fix.previousMinutes * 60 + fix.previousSeconds;
        int dt = std::abs(current - previous);
        if (previous - current > 43200) dt = current + 86400 - previous;  // across midnight
        RowPlacement placement;
        placement.count = n;
        placement.previousLatitude = fix.previousLatitude;
        placement.previousLongitude = fix.previousLongitude;
        placement.previousHours = fix.previousHours;
        placement.previousMinutes = fix.previousMinutes;
        placement.previousSeconds = fix.previousSeconds;
        placement.latitude = fix.latitude;
        placement.longitude = fix.longitude;
        placement.seconds = dt;
        rows_.Place(placement);
    }
    return fix.prerequisitesMet ? n : -1;
}

}  // namespace varistrum
