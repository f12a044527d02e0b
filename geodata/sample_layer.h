// SPDX-License-Identifier: GPL-3.0-or-later
// The drive as map layers: one point per output row and channel ("samples") and one line per
// scan through its good fixes ("route"). The GIS export and the map view both read the rows
// of a conversion through this model, so they show the same points.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "logfile/decoder_state.h"

namespace varistrum {

// A calendar date and clock time as the log gives it; `known` is false when there is none.
struct CivilTime {
    int year = 0, month = 0, day = 0;
    int hours = 0, minutes = 0, seconds = 0;
    bool known = false;
};

// What times a point: a GPS date and clock (UTC), the receiver's real-time clock, or nothing.
enum class TimeSource { None, Gps, Rtc };
// "gps", "rtc"; empty for None.
std::string_view TimeSourceName(TimeSource source);

// A point of the `samples` layer. The texts look into the producer's buffers and are valid
// only during the call that hands the point over.
struct SamplePoint {
    double longitude = 0.0;  // WGS 84 decimal degrees, the position the text output writes
    double latitude = 0.0;
    int scan = 0;  // the scan number `index` shows
    ScanKind scanKind = ScanKind::None;
    int receiver = 1;
    std::int64_t row = 0;   // the row's Record Number
    std::string_view time;  // ISO 8601; "Z" for GPS time; empty when the file has no time
    // The row's GPS date and time (UTC) when the row is timed by GPS ("2026-06-15T14:30:05Z"),
    // and the receiver clock's last stamp, without a zone ("2026-06-15T14:30:05"); each empty
    // (and not known) when there is none.
    CivilTime utc, clock;
    std::string_view utcText, clockText;
    TimeSource timeSource = TimeSource::None;
    std::string_view gpsStatus;
    int fixStatus = 0;     // the GPS status code, 0-7 (7: 3D fix, 6: 2D fix)
    std::string_view fix;  // "3D", "2D" or the status text ("Acquiring Satellites")
    int channel = 0;
    double frequencyMHz = 0.0;
    double rssiDbm = 0.0;  // the written level; for several samples of one channel their dB mean
    int samples = 1;       // how many samples the value stands for (a 40-lambda point: its bin's)
    double rssiMinDbm = 0.0;
    double rssiMaxDbm = 0.0;
    bool averaged = false;  // a 40-lambda point
    double speedKmh = 0.0;
    double altitudeM = 0.0;
    bool speedKnown = false;     // the GPS record has a fix (2D or 3D)
    bool altitudeKnown = false;  // the GPS record has a 3D fix
};

// "3D", "2D" or the status text of a GPS status code.
std::string_view FixName(int statusCode);

struct GeoPosition {
    double longitude = 0.0;
    double latitude = 0.0;
};

// A line of the `route` layer: a scan's good fixes (2D or 3D) in file order.
struct RouteLine {
    int scan = 0;
    ScanKind scanKind = ScanKind::None;
    std::string_view start;  // ISO 8601 times of the first and the last fix
    std::string_view end;
    CivilTime first, last;  // the same as dates and times (UTC)
    std::int64_t fixes = 0;
    double lengthM = 0.0;  // the sum of the legs, measured on the WGS 84 ellipsoid
    std::span<const GeoPosition> points;
};

// "single", "list" or "table".
std::string_view ScanKindName(ScanKind kind);

// Takes the layers' features as a conversion produces them, scan after scan.
class SampleLayerConsumer {
  public:
    virtual ~SampleLayerConsumer() = default;
    // The points that follow belong to this scan (scans follow each other in the file).
    virtual void BeginScan(int /*scan*/, ScanKind /*kind*/) {}
    virtual void AcceptPoint(const SamplePoint& point) = 0;
    // A scan's route, once its last fix is known (a scan with fewer than two good fixes has
    // none). Routes may come after the points of later scans.
    virtual void AcceptRoute(const RouteLine& /*route*/) {}
    // True once the consumer cannot take more (its output failed): the conversion then stops.
    virtual bool Failed() const { return false; }
};

}  // namespace varistrum
