// SPDX-License-Identifier: GPL-3.0-or-later
// GPS outage listing: one pass over the file, good fix to good fix.
#include "convert/gps_outage_pass.h"

namespace varistrum {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

bool IsLeapYear(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Whether the fix carries a real date: GPS time begins in 1980, and the day exists.
bool HasCalendarDate(const GpsBlock& fix) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (fix.year < 1980 || fix.month < 1 || fix.month > 12 || fix.day < 1) return false;
    const int days = kDays[fix.month - 1] + (fix.month == 2 && IsLeapYear(fix.year) ? 1 : 0);
    return fix.day <= days;
}

// Days since 1970-01-01 of a date that exists (the proleptic Gregorian calendar).
std::int64_t DaysSinceEpoch(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = year / 400;  // year >= 1979 here: no negative division
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::int64_t SecondsSinceEpoch(const GpsBlock& fix) {
    return DaysSinceEpoch(fix.year, fix.month, fix.day) * kSecondsPerDay + fix.SecondOfDay();
}

}  // namespace

std::int64_t SecondsBetweenFixes(const GpsBlock& previous, const GpsBlock& current) {
    if (HasCalendarDate(previous) && HasCalendarDate(current))
        return SecondsSinceEpoch(current) - SecondsSinceEpoch(previous);
    const std::int64_t gap = current.SecondOfDay() - previous.SecondOfDay();
    return gap < -kSecondsPerDay / 2 ? gap + kSecondsPerDay : gap;
}

OutageListing GpsOutagePass(TavrelReader& reader, const std::string& input, int minimumSeconds,
                            std::stop_token stop) {
    OutageListing listing;
    if (reader.Open(input) != 0) return listing;
    listing.opened = true;
    std::optional<GpsBlock> previous;  // the last good fix
    std::int64_t previousNumber = 0;
    const LoopResult loop =
        RunRecordLoop(reader, stop, NoProgress, [&](const RecordBuffer& buffer) {
            reader.DecodeRecord(buffer);
            if (!reader.State().newGpsRecord) return true;
            reader.ClearNewGpsRecordMark();
            const GpsBlock& fix = reader.State().gps;
            if (!fix.HasFix()) return true;  // only 2D and 3D fixes bound a gap
            if (previous && SecondsBetweenFixes(*previous, fix) >= minimumSeconds)
                listing.starts.push_back(previousNumber);
            previous = fix;
            previousNumber = reader.State().counters.gpsTotal;
            return true;
        });
    listing.end = loop.end;
    listing.failureReason = reader.ReadFailureReason();
    reader.Close();
    return listing;
}

}  // namespace varistrum
