// SPDX-License-Identifier: GPL-3.0-or-later
// Rows to samples of the binning.
#include "bins/bin_sample_sink.h"

#include <cmath>
#include <limits>

namespace varistrum {

namespace {

bool InRange(int value, int low, int high) {
    return value >= low && value <= high;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::optional<std::int64_t> SecondsOf(int year, int month, int day, int hours, int minutes,
                                      int seconds) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (!InRange(year, 0, 9999) || !InRange(month, 1, 12) || !InRange(hours, 0, 23) ||
        !InRange(minutes, 0, 59) || !InRange(seconds, 0, 60))
        return std::nullopt;
    if (!InRange(day, 1, kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0)))
        return std::nullopt;
    return DaysFromCivil(year, month, day) * 86400 + hours * 3600 + minutes * 60 + seconds;
}

}  // namespace

std::optional<std::int64_t> GpsSeconds(int year, int month, int day, int hours, int minutes,
                                       int seconds) {
    return SecondsOf(year, month, day, hours, minutes, seconds);
}

void BinSampleSink::AcceptFix(const GpsFixEvent& fix) {
    const GpsBlock& gps = fix.gps;
    if (!gps.HasFix()) return;
    const double latitude = gps.latitudeA.decimalDegrees;
    const double longitude = gps.longitudeA.decimalDegrees;
    if (latitude >= -90.0 && latitude <= 90.0 && longitude >= -180.0 && longitude <= 180.0)
        goodFixSeen_ = true;
}

void BinSampleSink::Add(BinSample& sample, int channel, double frequencyMHz, int level) {
    sample.channel = channel;
    // The frequency as the text writes it, to 10 Hz.
    sample.frequencyMHz = std::round(frequencyMHz * 1e5) / 1e5;
    sample.levelDbm = level;
    ++samples_;
    binner_->Add(sample);
}

void BinSampleSink::AcceptRow(const OutputRow& row) {
    if (row.scanNumber != scan_) {
        scan_ = row.scanNumber;
        if (onScan_) onScan_(scan_);
    }
    BinSample sample;
    if (goodFixSeen_) {
        sample.latitude = row.latitude;
        sample.longitude = row.longitude;
    } else {
        // Before the first good fix a row has no position of its own.
        sample.latitude = sample.longitude = std::numeric_limits<double>::quiet_NaN();
    }
    std::optional<std::int64_t> time;
    if (row.timing == Timing::Gps) {
        time = SecondsOf(row.gps->year, row.gps->month, row.gps->day, row.hours, row.minutes,
                         row.seconds);
        sample.timeIsGps = true;
    } else if (row.timing == Timing::Rtc) {
        const RtcClock& rtc = *row.rtc;
        // A two-digit year: 20YY below 80, 19YY from 80, as the samples layer writes it.
        if (InRange(rtc.year, 0, 99))
            time = SecondsOf(rtc.year < 80 ? 2000 + rtc.year : 1900 + rtc.year, rtc.month, rtc.day,
                             rtc.hours, rtc.minutes, rtc.seconds);
    }
    sample.timeKnown = time.has_value();
    sample.time = time.value_or(0);

    const bool table = row.dataMode == DataKind::Table;
    if (table && row.bestTableEntry) {
        const FrequencyPlan& plan = row.plan;
        Add(sample, row.sweepChannel, plan.CodeToMHz(plan.CodeOfChannel(row.sweepChannel)),
            row.sweepRssi);
        return;
    }
    int first = 0, last = row.lastSlot;
    switch (row.dataMode) {
        case DataKind::Samples:
        case DataKind::Table:
            break;
        case DataKind::List:
            if (row.bestSlot >= 0) first = last = row.bestSlot;
            break;
        default:
            return;
    }
    if (row.placed) last = std::min(last, static_cast<int>(row.levels.size()) - 1);
    const FrequencyPlan& plan = row.plan;
    for (int j = first; j <= last; ++j) {
        if (table) {
            const std::uint16_t channel = row.TableChannelAt(j);
            Add(sample, channel, plan.CodeToMHz(plan.CodeOfChannel(channel)), row.LevelAt(j));
            continue;
        }
        const std::uint32_t code = row.CodeAt(j);
        if (code == 0) continue;  // the text writes no channel for the slot
        Add(sample, static_cast<int>(plan.ChannelOfCode(code)), plan.CodeToMHz(code),
            row.LevelAt(j));
    }
}

}  // namespace varistrum
