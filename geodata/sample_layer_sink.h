// SPDX-License-Identifier: GPL-3.0-or-later
// Turns a conversion's rows into the map layers' points and routes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "filters/row_stage.h"
#include "geodata/sample_layer.h"

namespace varistrum {

// Latitude within -90..90 and longitude within -180..180 (NaN is neither).
bool ValidPosition(double latitude, double longitude);

// ISO 8601 times written at `at` (room for kIsoTimeRoom); the end of the text.
inline constexpr std::size_t kIsoTimeRoom = 24;
// "2026-06-15T14:30:05Z": a GPS date (four-digit year) with a clock; GPS time is UTC. Nothing
// is written when the date is no calendar date.
char* WriteGpsIsoTime(char* at, int year, int month, int day, int hours, int minutes, int seconds);
// "2026-06-15T14:30:05": an RTC stamp, local time without a zone; its two-digit year is 20YY
// below 80 and 19YY from 80.
char* WriteRtcIsoTime(char* at, const RtcClock& rtc);
// The same dates and times as values; not known when the date is no calendar date.
CivilTime GpsCivilTime(int year, int month, int day, int hours, int minutes, int seconds);
CivilTime RtcCivilTime(const RtcClock& rtc);
// "2026-06-15T14:30:05", with "Z" when `utc`; nothing when the time is not known.
char* WriteIsoTime(char* at, const CivilTime& time, bool utc);

// "N rows without a valid position were left out"
std::string LeftOutRowsText(std::int64_t rows);

// A row sink that hands each row's (row, channel) points to a consumer, and each scan's route
// through its good fixes once the scan is over. Rows without a valid position (written before
// the file's first good fix, or with coordinates out of range) give no point and are counted.
//
// Drive it as one of the extra sinks of ConvertFile; the routes of the file's last scan follow
// at the end of its records (EndOfRows).
class SampleLayerSink : public RowSink {
  public:
    explicit SampleLayerSink(SampleLayerConsumer& consumer) : consumer_(consumer) {}

    void AcceptRow(const OutputRow& row) override;
    void AcceptFix(const GpsFixEvent& fix) override;
    void EndOfRows() override { FinishRoute(); }
    bool Failed() const override { return consumer_.Failed(); }

    // Rows given no point for want of a valid position.
    std::int64_t LeftOutRows() const { return leftOutRows_; }
    std::int64_t Points() const { return points_; }
    std::int64_t Routes() const { return routes_; }

  private:
    // The levels of one channel within a row.
    struct ChannelLevels {
        std::uint32_t code = 0;
        int count = 0;
        int sum = 0;
        int minimum = 0, maximum = 0;
    };
    struct RouteUnderWay {
        int scan = 0;
        ScanKind kind = ScanKind::None;
        std::vector<GeoPosition> points;
        std::array<char, kIsoTimeRoom> start{}, end{};
        std::size_t startLength = 0, endLength = 0;
        CivilTime first, last;
        double lengthM = 0.0;
    };

    void PassSamples(const OutputRow& row, SamplePoint& point);
    void PassList(const OutputRow& row, SamplePoint& point);
    void PassTable(const OutputRow& row, SamplePoint& point);
    void Pass(SamplePoint& point, int channel, double mhz, double rssi, int samples, double minimum,
              double maximum);
    void FinishRoute();

    SampleLayerConsumer& consumer_;
    bool goodFixSeen_ = false;
    int scan_ = -1;  // of the points handed over last
    std::int64_t leftOutRows_ = 0, points_ = 0, routes_ = 0;
    std::array<char, kIsoTimeRoom> time_{}, utcText_{}, clockText_{};
    std::array<ChannelLevels, kChannelTableSize> channels_{};
    RouteUnderWay route_;
};

}  // namespace varistrum
