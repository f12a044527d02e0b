// SPDX-License-Identifier: GPL-3.0-or-later
// Points of the samples layer and lines of the route layer from a conversion's rows.
#include "geodata/sample_layer_sink.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/geodesic.h"
#include "convert/field_catalog.h"

namespace varistrum {

namespace {

constexpr double kKmhPerCentimetrePerSecond = 0.036;
constexpr double kMetresPerCentimetre = 0.01;

char* WriteDigits(char* at, int value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        at[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return at + width;
}

bool InRange(int value, int low, int high) {
    return value >= low && value <= high;
}

}  // namespace

bool ValidPosition(double latitude, double longitude) {
    return latitude >= -90.0 && latitude <= 90.0 && longitude >= -180.0 && longitude <= 180.0;
}

CivilTime GpsCivilTime(int year, int month, int day, int hours, int minutes, int seconds) {
    CivilTime time{year, month, day, hours, minutes, seconds, false};
    time.known = InRange(year, 0, 9999) && InRange(month, 1, 12) && InRange(day, 1, 31) &&
                 InRange(hours, 0, 23) && InRange(minutes, 0, 59) && InRange(seconds, 0, 60);
    return time;
}

CivilTime RtcCivilTime(const RtcClock& rtc) {
    if (!InRange(rtc.year, 0, 99)) return {};
    const int year = rtc.year < 80 ? 2000 + rtc.year : 1900 + rtc.year;
    return GpsCivilTime(year, rtc.month, rtc.day, rtc.hours, rtc.minutes, rtc.seconds);
}

char* WriteIsoTime(char* at, const CivilTime& time, bool utc) {
    if (!time.known) return at;
    at = WriteDigits(at, time.year, 4);
    *at++ = '-';
    at = WriteDigits(at, time.month, 2);
    *at++ = '-';
    at = WriteDigits(at, time.day, 2);
    *at++ = 'T';
    at = WriteDigits(at, time.hours, 2);
    *at++ = ':';
    at = WriteDigits(at, time.minutes, 2);
    *at++ = ':';
    at = WriteDigits(at, time.seconds, 2);
    if (utc) *at++ = 'Z';
    return at;
}

char* WriteGpsIsoTime(char* at, int year, int month, int day, int hours, int minutes, int seconds) {
    return WriteIsoTime(at, GpsCivilTime(year, month, day, hours, minutes, seconds), true);
}

char* WriteRtcIsoTime(char* at, const RtcClock& rtc) {
    return WriteIsoTime(at, RtcCivilTime(rtc), false);
}

std::string LeftOutRowsText(std::int64_t rows) {
    return std::to_string(rows) + " rows without a valid position were left out";
}

void SampleLayerSink::AcceptRow(const OutputRow& row) {
    if (!goodFixSeen_ || !ValidPosition(row.latitude, row.longitude)) {
        ++leftOutRows_;
        return;
    }
    if (row.scanNumber != scan_) {
        scan_ = row.scanNumber;
        consumer_.BeginScan(row.scanNumber, row.scanKind);
    }
    SamplePoint point;
    point.longitude = row.longitude;
    point.latitude = row.latitude;
    point.scan = row.scanNumber;
    point.scanKind = row.scanKind;
    point.receiver = row.receiver;
    point.row = row.number;
    const auto text = [](const std::array<char, kIsoTimeRoom>& buffer, const char* end) {
        return std::string_view(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
    };
    // The clock's stamp whenever the log gave one; the GPS time when it times the row.
    point.clock = RtcCivilTime(*row.rtc);
    point.clockText = text(clockText_, WriteIsoTime(clockText_.data(), point.clock, false));
    if (row.timing == Timing::Gps) {
        point.utc = GpsCivilTime(row.gps->year, row.gps->month, row.gps->day, row.hours,
                                 row.minutes, row.seconds);
    }
    point.utcText = text(utcText_, WriteIsoTime(utcText_.data(), point.utc, true));
    point.timeSource = point.utc.known                                  ? TimeSource::Gps
                       : row.timing == Timing::Rtc && point.clock.known ? TimeSource::Rtc
                                                                        : TimeSource::None;
    char* timeEnd = time_.data();
    if (row.timing == Timing::Gps) {
        timeEnd = WriteIsoTime(time_.data(), point.utc, true);
    } else if (row.timing == Timing::Rtc) {
        timeEnd = WriteIsoTime(time_.data(), point.clock, false);
    }
    point.time = text(time_, timeEnd);
    point.fixStatus = row.gps->statusCode & 7;
    point.gpsStatus = ReceiverStatusTexts[static_cast<std::size_t>(point.fixStatus)];
    point.fix = FixName(point.fixStatus);
    point.averaged = row.averaged;
    // Without a fix the receiver's speed and height are stale; a 2D fix has no height.
    point.speedKmh = row.gps->speed1 * kKmhPerCentimetrePerSecond;
    point.altitudeM = row.gps->height3 * kMetresPerCentimetre;
    point.speedKnown = row.gps->HasFix();
    point.altitudeKnown = point.fixStatus == static_cast<int>(GpsFixStatus::ThreeDFix);
    switch (row.dataMode) {
        case DataKind::Samples:
            PassSamples(row, point);
            break;
        case DataKind::List:
            PassList(row, point);
            break;
        case DataKind::Table:
            PassTable(row, point);
            break;
        default:
            break;
    }
}

void SampleLayerSink::Pass(SamplePoint& point, int channel, double mhz, double rssi, int samples,
                           double minimum, double maximum) {
    point.channel = channel;
    point.frequencyMHz = mhz;
    point.rssiDbm = rssi;
    point.samples = samples;
    point.rssiMinDbm = minimum;
    point.rssiMaxDbm = maximum;
    ++points_;
    consumer_.AcceptPoint(point);
}

// A single-frequency row holds several samples of its channel (every slot has the scan's one
// code): one point per channel, its level the mean of the samples in dB.
void SampleLayerSink::PassSamples(const OutputRow& row, SamplePoint& point) {
    if (row.channelCodes.empty()) return;
    std::size_t used = 0;
    for (std::size_t j = 0; j < row.levels.size(); ++j) {
        const std::uint32_t code = row.channelCodes[std::min(j, row.channelCodes.size() - 1)];
        if (code == 0) continue;  // the text writes no frequency for the slot
        const int level = row.levels[j];
        std::size_t at = 0;
        while (at < used && channels_[at].code != code) ++at;
        if (at == used) {
            if (used == channels_.size()) continue;  // codes repeat past the channel table
            channels_[used++] = {code, 0, 0, level, level};
        }
        ChannelLevels& c = channels_[at];
        ++c.count;
        c.sum += level;
        c.minimum = std::min(c.minimum, level);
        c.maximum = std::max(c.maximum, level);
    }
    for (std::size_t i = 0; i < used; ++i) {
        const ChannelLevels& c = channels_[i];
        const int channel = static_cast<int>(row.plan.ChannelOfCode(c.code));
        const double mhz = row.plan.CodeToMHz(c.code);
        const double level = static_cast<double>(c.sum) / c.count;
        if (row.averaged) {
            // A 40-lambda point stands for its bin's samples.
            Pass(point, channel, mhz, level,
                 static_cast<int>(
                     std::min<std::int64_t>(row.binSamples, std::numeric_limits<int>::max())),
                 row.binMinimumDbm, row.binMaximumDbm);
        } else {
            Pass(point, channel, mhz, level, c.count, c.minimum, c.maximum);
        }
    }
}

void SampleLayerSink::PassList(const OutputRow& row, SamplePoint& point) {
    const std::size_t slots = std::min<std::size_t>(row.levels.size(), row.channelCodes.size());
    for (std::size_t j = 0; j < slots; ++j) {
        if (row.bestSlot >= 0 && j != static_cast<std::size_t>(row.bestSlot)) continue;
        const std::uint32_t code = row.channelCodes[j];
        if (code == 0) continue;
        const double level = row.levels[j];
        Pass(point, static_cast<int>(row.plan.ChannelOfCode(code)), row.plan.CodeToMHz(code), level,
             1, level, level);
    }
}

void SampleLayerSink::PassTable(const OutputRow& row, SamplePoint& point) {
    if (row.bestTableEntry) {
        const double level = row.sweepRssi;
        Pass(point, row.sweepChannel, row.plan.CodeToMHz(row.plan.CodeOfChannel(row.sweepChannel)),
             level, 1, level, level);
        return;
    }
    const std::size_t slots = std::min(row.levels.size(), row.tableChannels.size());
    for (std::size_t j = 0; j < slots; ++j) {
        const double level = row.levels[j];
        Pass(point, row.tableChannels[j], row.SlotFrequencyMHz(static_cast<int>(j)), level, 1,
             level, level);
    }
}

void SampleLayerSink::AcceptFix(const GpsFixEvent& fix) {
    const GpsBlock& gps = fix.gps;
    if (!gps.HasFix()) return;
    const double latitude = gps.latitudeA.decimalDegrees;
    const double longitude = gps.longitudeA.decimalDegrees;
    if (!ValidPosition(latitude, longitude)) return;
    goodFixSeen_ = true;
    if (fix.scanNumber != route_.scan) {
        FinishRoute();
        route_.scan = fix.scanNumber;
        route_.kind = fix.scanKind;
    }
    if (!fix.scanSelected || fix.scanNumber <= 0) return;
    route_.last = GpsCivilTime(gps.year, gps.month, gps.day, gps.hours, gps.minutes, gps.seconds);
    char* end = WriteIsoTime(route_.end.data(), route_.last, true);
    route_.endLength = static_cast<std::size_t>(end - route_.end.data());
    if (route_.points.empty()) {
        route_.start = route_.end;
        route_.startLength = route_.endLength;
        route_.first = route_.last;
    } else {
        const GeoPosition& last = route_.points.back();
        route_.lengthM += GeodesicMetres(last.latitude, last.longitude, latitude, longitude);
    }
    route_.points.push_back({longitude, latitude});
}

void SampleLayerSink::FinishRoute() {
    if (route_.points.size() >= 2) {
        RouteLine line;
        line.scan = route_.scan;
        line.scanKind = route_.kind;
        line.start = std::string_view(route_.start.data(), route_.startLength);
        line.end = std::string_view(route_.end.data(), route_.endLength);
        line.first = route_.first;
        line.last = route_.last;
        line.fixes = static_cast<std::int64_t>(route_.points.size());
        line.lengthM = route_.lengthM;
        line.points = route_.points;
        ++routes_;
        consumer_.AcceptRoute(line);
    }
    route_.points.clear();
    route_.lengthM = 0.0;
    route_.startLength = route_.endLength = 0;
    route_.first = route_.last = CivilTime{};
}

}  // namespace varistrum
