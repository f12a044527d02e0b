// SPDX-License-Identifier: GPL-3.0-or-later
// Points of the samples layer and lines of the route layer from a conversion's rows.
#include "geodata/sample_layer_sink.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "averaging/great_circle.h"
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

char* WriteIsoTime(char* at, int year, int month, int day, int hours, int minutes, int seconds) {
    if (!InRange(year, 0, 9999) || !InRange(month, 1, 12) || !InRange(day, 1, 31) ||
        !InRange(hours, 0, 23) || !InRange(minutes, 0, 59) || !InRange(seconds, 0, 60))
        return at;
    at = WriteDigits(at, year, 4);
    *at++ = '-';
    at = WriteDigits(at, month, 2);
    *at++ = '-';
    at = WriteDigits(at, day, 2);
    *at++ = 'T';
    at = WriteDigits(at, hours, 2);
    *at++ = ':';
    at = WriteDigits(at, minutes, 2);
    *at++ = ':';
    return WriteDigits(at, seconds, 2);
}

}  // namespace

bool ValidPosition(double latitude, double longitude) {
    return latitude >= -90.0 && latitude <= 90.0 && longitude >= -180.0 && longitude <= 180.0;
}

char* WriteGpsIsoTime(char* at, int year, int month, int day, int hours, int minutes, int seconds) {
    char* end = WriteIsoTime(at, year, month, day, hours, minutes, seconds);
    if (end != at) *end++ = 'Z';
    return end;
}

char* WriteRtcIsoTime(char* at, const RtcClock& rtc) {
    if (!InRange(rtc.year, 0, 99)) return at;
    const int year = rtc.year < 80 ? 2000 + rtc.year : 1900 + rtc.year;
    return WriteIsoTime(at, year, rtc.month, rtc.day, rtc.hours, rtc.minutes, rtc.seconds);
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
    char* timeEnd = time_.data();
    if (row.timing == Timing::Gps) {
        timeEnd = WriteGpsIsoTime(time_.data(), row.gps->year, row.gps->month, row.gps->day,
                                  row.hours, row.minutes, row.seconds);
    } else if (row.timing == Timing::Rtc) {
        timeEnd = WriteRtcIsoTime(time_.data(), *row.rtc);
    }
    point.time = std::string_view(time_.data(), static_cast<std::size_t>(timeEnd - time_.data()));
    point.gpsStatus = ReceiverStatusTexts[static_cast<std::size_t>(row.gps->statusCode & 7)];
    point.averaged = row.averaged;
    point.speedKmh = row.gps->speed1 * kKmhPerCentimetrePerSecond;
    point.altitudeM = row.gps->height3 * kMetresPerCentimetre;
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
        Pass(point, static_cast<int>(row.plan.ChannelOfCode(c.code)), row.plan.CodeToMHz(c.code),
             static_cast<double>(c.sum) / c.count, c.count, c.minimum, c.maximum);
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
    char* end = WriteGpsIsoTime(route_.end.data(), gps.year, gps.month, gps.day, gps.hours,
                                gps.minutes, gps.seconds);
    route_.endLength = static_cast<std::size_t>(end - route_.end.data());
    if (route_.points.empty()) {
        route_.start = route_.end;
        route_.startLength = route_.endLength;
    } else {
        const GeoPosition& last = route_.points.back();
        route_.lengthM += GreatCircleMetres(RoutePointAt(last.latitude, last.longitude),
                                            RoutePointAt(latitude, longitude));
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
        line.fixes = static_cast<std::int64_t>(route_.points.size());
        line.lengthM = route_.lengthM;
        line.points = route_.points;
        ++routes_;
        consumer_.AcceptRoute(line);
    }
    route_.points.clear();
    route_.lengthM = 0.0;
    route_.startLength = route_.endLength = 0;
}

}  // namespace varistrum
