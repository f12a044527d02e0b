// SPDX-License-Identifier: GPL-3.0-or-later
// How the receiver samples logged between two GPS fixes become output points.
#pragma once

#include <cstddef>
#include <cstdint>

#include "logfile/pending_rows.h"

namespace varistrum {

// A GPS fix that ends the wait of the sample records before it.
struct FixPlacement {
    double latitude = 0.0, longitude = 0.0;  // the fix's second position (the B coordinates)
    int hours = 0, minutes = 0, seconds = 0;
    double previousLatitude = 0.0, previousLongitude = 0.0;  // of the GPS record before it
    int previousHours = 0, previousMinutes = 0, previousSeconds = 0;
    int records = 0;                // sample records since that GPS record
    int receiver = 0;               // the selected receiver, 0 or 1
    bool prerequisitesMet = false;  // the log has given what its lines need
    // Frequency of the data source's current channel (MHz): what an engine would be started with.
    double channelMHz = 0.0;
};

// A record of receiver samples logged since the last GPS record.
struct WaitingRecord {
    int receiver = 0;  // 0 or 1
    int lastSample = -1;
    const std::int8_t* levels = nullptr;
    std::size_t count = 0;
    int before = 0;           // records already waiting since the last GPS record
    double channelMHz = 0.0;  // as in FixPlacement
};

class SamplePlacement {
  public:
    virtual ~SamplePlacement() = default;
    // A single-frequency scan of the conversion was defined; `channelMHz` as in FixPlacement.
    virtual void ScanDefined(double channelMHz) = 0;
    // A record of receiver samples waiting for the next fix.
    virtual void AddRecord(const WaitingRecord& record) = 0;
    // The fix places the waiting records: the number of points now in Points(), or -1 when the
    // fix gives nothing to write.
    virtual int PlaceAtFix(const FixPlacement& fix) = 0;
    virtual const PendingRowStore& Points() const = 0;
};

// Without averaging: each record is one point, spread evenly over the way and the time between
// the two fixes.
class InterpolatedPlacement : public SamplePlacement {
  public:
    void ScanDefined(double /*channelMHz*/) override {}
    void AddRecord(const WaitingRecord& record) override;
    int PlaceAtFix(const FixPlacement& fix) override;
    const PendingRowStore& Points() const override { return rows_; }

  private:
    PendingRowStore rows_;
};

}  // namespace varistrum
