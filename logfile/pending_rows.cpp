// SPDX-License-Identifier: GPL-3.0-or-later
// The pending rows between two GPS fixes.
#include "logfile/pending_rows.h"

#include <algorithm>
#include <cmath>

namespace varistrum {

void PendingRowStore::Clear() {
    records_.clear();
    samples_.clear();
    points_.clear();
    placement_ = RowPlacement{};
    averages_ = false;
    cursorRecord_ = 0;
    cursorFirstSample_ = 0;
}

std::size_t PendingRowStore::FirstSampleOf(std::size_t k) const {
    // Rows are read in order; reading an earlier one counts again from the first.
    if (k < cursorRecord_) {
        cursorRecord_ = 0;
        cursorFirstSample_ = 0;
    }
    for (; cursorRecord_ < k; ++cursorRecord_)
        cursorFirstSample_ += records_[cursorRecord_].sampleCount;
    return cursorFirstSample_;
}

void PendingRowStore::AddRecord(int receiver, int lastSample, const std::int8_t* levels,
                                std::size_t count) {
    averages_ = false;
    count = std::min<std::size_t>(count, kMaxRecordLength);
    records_.push_back({static_cast<std::int16_t>(lastSample), static_cast<std::uint16_t>(count),
                        static_cast<std::uint8_t>(receiver)});
    samples_.Append(levels, count);
}

void PendingRowStore::AddAverage(const Average& average, int receiver, int hours, int minutes,
                                 int seconds) {
    averages_ = true;
    points_.push_back(average);
    pointReceiver_ = receiver;
    pointHours_ = hours;
    pointMinutes_ = minutes;
    pointSeconds_ = seconds;
}

// Record k's share of the way and the time between the two fixes.
void PendingRowStore::PlaceRecord(std::size_t index) const {
    const RowPlacement& p = placement_;
    const int i = static_cast<int>(index);
    const int n = p.count;
    const double f = static_cast<double>(i) / n;
    row_.latitude = p.previousLatitude + f * (p.latitude - p.previousLatitude);
    row_.longitude = p.previousLongitude + f * (p.longitude - p.previousLongitude);
    const int k = static_cast<int>(f * p.seconds);
    const int secondsTotal = p.previousSeconds + k;
    row_.seconds = secondsTotal % 60;
    const int carry = secondsTotal / 60;
    int minuteCarry = 0;
    if (carry < 1) {
        row_.minutes = p.previousMinutes;
    } else {
        row_.minutes = (p.previousMinutes + carry) % 60;
        minuteCarry = (p.previousMinutes + carry) / 60;
    }
    row_.hours = minuteCarry < 1 ? p.previousHours : (p.previousHours + minuteCarry) % 24;
}

const PendingRow& PendingRowStore::operator[](std::size_t k) const {
    if (averages_) {
        const Average& point = points_[k];
        row_.latitude = point.latitude;
        row_.longitude = point.longitude;
        row_.hours = pointHours_;
        row_.minutes = pointMinutes_;
        row_.seconds = pointSeconds_;
        row_.receiver = pointReceiver_;
        row_.lastSample = 0;
        // The written level: the mean truncated toward zero to a whole dBm.
        const double level = std::trunc(point.meanDbm);
        rowSamples_[0] = static_cast<std::int8_t>(level < -128.0  ? -128
                                                  : level > 127.0 ? 127
                                                                  : level);
        row_.samples = rowSamples_.data();
        row_.sampleCount = 1;
        row_.averagedDbm = point.meanDbm;
        row_.binSamples = point.samples;
        row_.binMinimumDbm = point.minimumDbm;
        row_.binMaximumDbm = point.maximumDbm;
        return row_;
    }
    row_.averagedDbm = 0.0;
    row_.binSamples = 0;
    row_.binMinimumDbm = row_.binMaximumDbm = 0.0;
    const Record record = records_[k];
    if (k < static_cast<std::size_t>(placement_.count)) PlaceRecord(k);
    row_.receiver = record.receiver;
    row_.lastSample = record.lastSample;
    row_.sampleCount = record.sampleCount;
    const std::size_t firstSample = FirstSampleOf(k);
    row_.samples = samples_.Contiguous(firstSample, record.sampleCount);
    if (row_.samples == nullptr) {
        samples_.CopyOut(firstSample, record.sampleCount, rowSamples_.data());
        row_.samples = rowSamples_.data();
    }
    return row_;
}

}  // namespace varistrum
