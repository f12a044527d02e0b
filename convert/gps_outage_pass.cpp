// SPDX-License-Identifier: GPL-3.0-or-later
// The GPS pre-pass: one pass over the file, good fix to good fix, for the outages and the stops.
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

PrePassRequest PrePassRequestOf(const ConversionSettings& settings) {
    PrePassRequest request;
    if (settings.dropOutages) request.outageSeconds = settings.outageSeconds;
    if (settings.dropStandingStill) request.standStill = settings.standStill;
    return request;
}

OutageListing GpsPrePass(TavrelReader& reader, const std::string& input,
                         const PrePassRequest& request, std::stop_token stop) {
    OutageListing listing;
    if (reader.Open(input) != 0) return listing;
    listing.opened = true;
    std::optional<StopFinder> stops;
    if (request.standStill) stops.emplace(*request.standStill);
    std::optional<GpsBlock> previous;  // the last good fix
    std::int64_t previousNumber = 0;
    std::int64_t elapsed = 0;  // seconds since the first good fix, never falling
    const LoopResult loop =
        RunRecordLoop(reader, stop, NoProgress, [&](const RecordBuffer& buffer) {
            reader.DecodeRecord(buffer);
            if (!reader.State().newGpsRecord) return true;
            reader.ClearNewGpsRecordMark();
            const GpsBlock& fix = reader.State().gps;
            if (!fix.HasFix()) return true;  // only 2D and 3D fixes count
            const std::int64_t number = reader.State().counters.gpsTotal;
            ++listing.goodFixes;
            if (previous) {
                const std::int64_t gap = SecondsBetweenFixes(*previous, fix);
                if (request.outageSeconds && gap >= *request.outageSeconds)
                    listing.starts.push_back(previousNumber);
                if (gap > 0) elapsed += gap;
            }
            if (stops)
                stops->AddFix(number, elapsed, fix.latitudeB.decimalDegrees,
                              fix.longitudeB.decimalDegrees);
            previous = fix;
            previousNumber = number;
            return true;
        });
    if (stops) {
        stops->Finish();
        listing.stops = std::move(stops->Stops());
    }
    listing.end = loop.end;
    listing.failureReason = reader.ReadFailureReason();
    reader.Close();
    return listing;
}

OutageListing GpsOutagePass(TavrelReader& reader, const std::string& input, int minimumSeconds,
                            std::stop_token stop) {
    return GpsPrePass(reader, input, {minimumSeconds, std::nullopt}, stop);
}

}  // namespace varistrum
