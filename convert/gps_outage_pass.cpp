// SPDX-License-Identifier: GPL-3.0-or-later
// The GPS pre-pass: one pass over the file, good fix to good fix.
#include "convert/gps_outage_pass.h"

#include <chrono>

namespace varistrum {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// The calendar repeats every 400 years, which hold this many days.
constexpr std::int64_t kDaysPer400Years = 146097;
// The calendar types hold years up to 32767; a GPS record's year goes up to 65535.
constexpr int kLatestCalendarYear = 32767;

// The date, moved back by whole 400-year cycles into the calendar types' range.
struct CalendarDate {
    std::chrono::year_month_day date;
    std::int64_t cycles = 0;
};

CalendarDate DateOf(int year, int month, int day) {
    const int cycles = year > kLatestCalendarYear ? (year - kLatestCalendarYear + 399) / 400 : 0;
    return {std::chrono::year_month_day{std::chrono::year{year - 400 * cycles},
                                        std::chrono::month{static_cast<unsigned>(month)},
                                        std::chrono::day{static_cast<unsigned>(day)}},
            cycles};
}

std::int64_t SecondsSinceEpoch(const GpsBlock& fix) {
    return DaysSinceEpoch(fix.year, fix.month, fix.day) * kSecondsPerDay + fix.SecondOfDay();
}

}  // namespace

bool HasCalendarDate(const GpsBlock& fix) {
    // The range test comes first: the calendar types keep a month and a day in a byte.
    if (fix.year < 1980 || fix.month < 1 || fix.month > 12 || fix.day < 1 || fix.day > 31)
        return false;
    return DateOf(fix.year, fix.month, fix.day).date.ok();
}

std::int64_t DaysSinceEpoch(int year, int month, int day) {
    const CalendarDate date = DateOf(year, month, day);
    return std::chrono::sys_days(date.date).time_since_epoch().count() +
           date.cycles * kDaysPer400Years;
}

std::int64_t SecondsBetweenFixes(const GpsBlock& previous, const GpsBlock& current) {
    if (HasCalendarDate(previous) && HasCalendarDate(current))
        return SecondsSinceEpoch(current) - SecondsSinceEpoch(previous);
    const std::int64_t gap = current.SecondOfDay() - previous.SecondOfDay();
    return gap < -kSecondsPerDay / 2 ? gap + kSecondsPerDay : gap;
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
