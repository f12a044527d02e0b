// SPDX-License-Identifier: GPL-3.0-or-later
// The output points waiting for the next GPS fix, kept compactly: a few bytes and the levels
// of each sample record, or the place and level of each 40-lambda average. Beyond a bound they
// go to a temporary file, so a gap of any length between two fixes needs bounded memory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/spill_array.h"
#include "logfile/records.h"

namespace varistrum {

// One output point placed between two GPS fixes, as the writers read it: a sample record, or a
// 40-lambda average.
struct PendingRow {
    double latitude = 0.0;
    double longitude = 0.0;
    int hours = 0, minutes = 0, seconds = 0;
    int receiver = 0;     // 0 or 1
    int lastSample = -1;  // index of the row's last sample
    const std::int8_t* samples = nullptr;
    std::size_t sampleCount = 0;
    double averagedDbm = 0.0;     // a 40-lambda average: its mean before truncation,
    std::int64_t binSamples = 0;  //   the samples its bin held
    double binMinimumDbm = 0.0;   //   and the lowest and highest of them
    double binMaximumDbm = 0.0;
};

// Where the records between two fixes lie: spread evenly over the way and the time from the
// earlier fix to the later one.
struct RowPlacement {
    int count = 0;  // of the records placed
    double previousLatitude = 0.0, previousLongitude = 0.0;
    int previousHours = 0, previousMinutes = 0, previousSeconds = 0;
    double latitude = 0.0, longitude = 0.0;
    int seconds = 0;  // from the earlier fix to the later one
};

class PendingRowStore {
  public:
    void Clear();
    // A sample record waiting for the next fix.
    void AddRecord(int receiver, int lastSample, const std::int8_t* levels, std::size_t count);
    // The records added so far lie between two fixes.
    void Place(const RowPlacement& placement) { placement_ = placement; }
    // A 40-lambda average (its place, mean, and its bin's count, minimum and maximum); the
    // fix's time and the receiver are known already.
    struct Average {
        double latitude, longitude, meanDbm;
        std::int64_t samples;
        double minimumDbm, maximumDbm;
    };
    void AddAverage(const Average& average, int receiver, int hours, int minutes, int seconds);

    std::size_t size() const { return averages_ ? points_.size() : records_.size(); }
    bool empty() const { return size() == 0; }
    // Row k (< size()); valid until the next call. Rows are read fastest in order.
    const PendingRow& operator[](std::size_t k) const;

  private:
    // Six bytes a record: where its levels start follows from the records before it.
    struct Record {
        std::int16_t lastSample;
        std::uint16_t sampleCount;
        std::uint8_t receiver;
    };
    void PlaceRecord(std::size_t k) const;
    // Where the levels of record k start: counted on from the record read last.
    std::size_t FirstSampleOf(std::size_t k) const;

    bool averages_ = false;  // which of the two kinds the store holds
    SpillArray<Record> records_;
    SpillArray<std::int8_t> samples_;
    RowPlacement placement_;
    SpillArray<Average> points_;
    int pointReceiver_ = 0, pointHours_ = 0, pointMinutes_ = 0, pointSeconds_ = 0;

    mutable std::size_t cursorRecord_ = 0;  // a record and where its levels start
    mutable std::size_t cursorFirstSample_ = 0;
    mutable PendingRow row_;
    mutable std::array<std::int8_t, kMaxRecordLength> rowSamples_{};
};

}  // namespace varistrum
