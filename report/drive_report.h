// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement-quality report of a drive: per file and per scan, how far and how fast the
// vehicle went, how good the GPS was, what the reader had to skip, and per channel whether the
// scan rate suffices for 40-lambda averaging (Lee's criterion).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "base/spill_array.h"
#include "logfile/log_reader.h"
#include "logfile/record_loop.h"
#include "logfile/scan_selection.h"
#include "logfile/typed_codes.h"
#include "report/lee_criterion.h"

namespace varistrum {

class TavrelReader;

struct ReportRequest {
    ReceiverChoice receivers;
    std::vector<int> scans;                    // the scans to report; empty: all
    const ScanSelection* selection = nullptr;  // also: leave out the scans it unchecks
    bool listOutages = true;                   // false: no outage pass (the figures then list none)
    int outageSeconds = 30;  // gaps between good fixes of at least this many seconds
    // Scans kept in DriveReport::scans at most (without a scan sink); the rest are counted.
    std::size_t listedScansAtMost = static_cast<std::size_t>(-1);
    std::optional<TypedCodes> typed;  // typed-in frequencies of a log that lacks them
};

struct GpsFigures {
    std::int64_t fixes3d = 0;
    std::int64_t fixes2d = 0;
    std::int64_t bad = 0;  // records without a usable fix
    std::int64_t Total() const { return fixes3d + fixes2d + bad; }
};

// A gap between good fixes, as the GPS-outage pass lists it.
struct OutageFigure {
    int startSecondOfDay = 0;  // time of the last good fix before the gap
    double durationSeconds = 0.0;
    double jumpMetres = 0.0;  // great-circle distance across the gap
};

struct LevelFigures {
    int minimum = 0, median = 0, maximum = 0;  // dBm
};

struct ChannelFigures {
    double frequencyMHz = 0.0;     // 0 when the file does not say
    bool receiverSamples = false;  // from receiver data records: what 40-lambda averages
    std::int64_t samples = 0;
    double samplesPerSecond = 0.0;
    LevelFigures levels;
    std::optional<LeeFigures> lee;  // none without a frequency or a single window
};

struct DriveFigures {
    double durationSeconds = 0.0;  // first to last time stamp
    double distanceMetres = 0.0;   // great circle through the good fixes
    double speedMedianKmh = 0.0;   // of the steps between consecutive good fixes
    double speed95Kmh = 0.0;
    GpsFigures gps;
    // Every gap listed, in a spill array: --outage-seconds 1 makes nearly every step one.
    SpillArray<OutageFigure> outages;
    DamageCounters damage;
};

struct ScanReport {
    int number = 0;  // as the index pass numbers the scans; 0 for data before the first scan
    std::string name;
    DriveFigures drive;
    std::vector<ChannelFigures> channels;
    LeeVerdict verdict = LeeVerdict::NotApplicable;  // the worst channel's
};

struct DriveReport {
    bool opened = false;
    LoopEnd end = LoopEnd::EndOfData;
    std::string failureReason;
    std::string input;
    std::uint64_t fileBytes = 0;
    int outageSeconds = 30;
    DriveFigures file;
    std::vector<ScanReport> scans;                   // none when a scan sink took them
    std::int64_t unlistedScans = 0;                  // beyond the request's listedScansAtMost
    LeeVerdict verdict = LeeVerdict::NotApplicable;  // the worst scan's, listed or not
};

// Takes each reported scan as soon as it ends, in file order.
using ScanReportSink = std::function<void(ScanReport&&)>;

// Reads the file twice: the GPS-outage pass, then the report's own pass. The reader's typed
// frequencies, if any, serve files without a channel table. The scans go to `scans` when it is
// given (the report then lists none, and its memory does not grow with their number), else into
// the report.
DriveReport BuildDriveReport(TavrelReader& reader, const std::string& input,
                             const ReportRequest& request, std::stop_token stop,
                             const ScanReportSink& scans = {});

// The great-circle distance (m) between two points in decimal degrees, as the engine measures.
double RouteMetres(double lat1, double lon1, double lat2, double lon2);

}  // namespace varistrum
