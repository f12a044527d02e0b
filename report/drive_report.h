// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement-quality report of a drive: per file and per scan, how far and how fast the
// vehicle went, how good the GPS was, what the reader had to skip, and per channel whether the
// scan rate suffices for 40-lambda averaging (Lee's criterion); and per frequency across the
// scans, a summary of the same.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "base/spill_array.h"
#include "convert/job_runner.h"
#include "filters/stop_finder.h"
#include "geodata/level_ramp.h"
#include "logfile/log_reader.h"
#include "logfile/record_loop.h"
#include "logfile/scan_selection.h"
#include "logfile/typed_codes.h"
#include "report/lee_criterion.h"

namespace varistrum {

class TavrelReader;
struct DecodedRecord;

// Things counted, and how many of them lie at or above each of the report's thresholds (the
// map's level bounds), weakest first.
struct ThresholdCounts {
    std::int64_t counted = 0;
    std::array<std::int64_t, LevelRamp::kBounds> atOrAbove{};
};

struct ReportRequest {
    ReceiverChoice receivers;
    std::vector<int> scans;                    // the scans to report; empty: all
    const ScanSelection* selection = nullptr;  // also: leave out the scans it unchecks
    bool listOutages = true;  // false: no outage pass (the outages are then unknown)
    int outageSeconds = 30;   // gaps between good fixes of at least this many seconds
    // Scans kept in DriveReport::scans at most (without a scan sink); the rest are counted.
    std::size_t listedScansAtMost = static_cast<std::size_t>(-1);
    std::optional<TypedCodes> typed;  // typed-in frequencies of a log that lacks them
    // Frequencies summed up one by one at most (of the averaged channels, and as many of the
    // others); beyond them, each kind's further frequencies are summed up together.
    std::size_t summaryFrequenciesAtMost = 1024;
    // Standing still dropped as a conversion drops it: the samples of the stops are left out
    // of the channels' figures, and the time standing still and the stops are reported.
    std::optional<StandStillRule> standStill;
    // The thresholds of the shares of samples, windows and cells.
    LevelRamp ramp;
    // The 40-lambda sample check needs each channel's window sizes and sample rate alone: no
    // distances, speeds or windows' means (left unknown).
    bool samplingOnly = false;
    // Coverage by area: the cells of each scan and channel at or above the thresholds, from a
    // binning made before the report's pass (cells of `cellMetres`); asked once for each
    // channel of a reported scan as the scan ends; nullopt when that scan or channel was not
    // binned. Unset: the shares by cells are unknown.
    std::function<std::optional<ThresholdCounts>(int scan, double frequencyMHz)> cells;
    double cellMetres = 0.0;
};

struct GpsFigures {
    std::int64_t fixes3d = 0;
    std::int64_t fixes2d = 0;
    std::int64_t bad = 0;  // records without a usable fix
    std::int64_t Total() const { return fixes3d + fixes2d + bad; }
    std::int64_t Good() const { return fixes3d + fixes2d; }
};

struct FixPosition {
    double latitude = 0.0, longitude = 0.0;  // decimal degrees
};

// A gap between good fixes, as the GPS-outage pass lists it.
struct OutageFigure {
    // The GPS date and time of the last good fix before the gap; no date (year 0) when that
    // fix carries none.
    int year = 0, month = 0, day = 0;
    int startSecondOfDay = 0;
    double durationSeconds = 0.0;
    double jumpMetres = 0.0;  // from the position before the gap to the one after it (WGS 84)
    FixPosition before;       // the last good fix before the gap
    FixPosition after;        // the first good fix after it
    bool HasDate() const { return year != 0; }
};

struct LevelFigures {
    int minimum = 0, median = 0, maximum = 0;  // dBm
};

struct ChannelFigures {
    double frequencyMHz = 0.0;  // 0 when the file does not say
    // From receiver data records: what 40-lambda averaging averages. List and table entries
    // have Lee figures too, but a conversion does not average them.
    bool receiverSamples = false;
    std::int64_t samples = 0;
    double samplesPerSecond = 0.0;  // over the time not standing still when that is dropped
    LevelFigures levels;
    std::optional<LeeFigures> lee;  // none without a frequency or without driving time
    // The shares at or above the thresholds, each of what it counts: the samples with a level
    // (not -120 dBm); for receiver samples the 40-lambda windows, each 40 wavelengths of the
    // route, by their linear means (shares of the distance driven; none without a frequency);
    // the cells by their linear means (none when the drive was not binned).
    ThresholdCounts samplesAtOrAbove;
    std::optional<ThresholdCounts> windowsAtOrAbove;
    std::optional<ThresholdCounts> cellsAtOrAbove;
};

struct SpeedFigures {
    double medianKmh = 0.0;  // of the steps between consecutive good fixes (nearest rank)
    double p95Kmh = 0.0;
};

// Standing still in a stretch of the file: the time from the first to the last fix of each
// stop (the part within the stretch), and the stops whose first fix lies in it.
struct StandingFigures {
    double seconds = 0.0;
    std::int64_t stops = 0;
};

struct DriveFigures {
    double durationSeconds = 0.0;  // first to last time stamp
    // Unknown (none) without two good fixes: the distance along the good fixes on WGS 84.
    std::optional<double> distanceMetres;
    // Unknown (none) without a step of time between two good fixes.
    std::optional<SpeedFigures> speedKmh;
    GpsFigures gps;
    // False without a good fix, or when outages were not looked for: the list is then unknown,
    // not empty.
    bool outagesKnown = false;
    // Every gap listed, in a spill array: --outage-seconds 1 makes nearly every step one.
    SpillArray<OutageFigure> outages;
    DamageCounters damage;
    // Only when the report drops standing still.
    std::optional<StandingFigures> standing;
};

struct ScanReport {
    int number = 0;  // as the index pass numbers the scans; 0 for data before the first scan
    std::string name;
    DriveFigures drive;
    std::vector<ChannelFigures> channels;
    // The thresholds of the channels' shares, and the side of the cells counted (0: none).
    LevelRamp::Bounds thresholds = LevelRamp().Thresholds();
    double cellMetres = 0.0;
    // The worst of the channels a conversion averages (receiver samples): list and table
    // channels do not count.
    LeeVerdict verdict = LeeVerdict::NotApplicable;
    bool HasAveragedChannel() const;
};

// The channels of one frequency, of one kind (averaged or not), across the reported scans.
struct FrequencyFigures {
    double frequencyMHz = 0.0;  // 0 when the file does not say
    bool receiverSamples = false;
    bool further = false;    // the frequencies beyond the request's limit, together
    std::int64_t scans = 0;  // scans with samples of it
    std::int64_t samples = 0;
    LevelFigures levels;  // exact, from a count per level
    std::int64_t windows = 0;
    std::int64_t windowsBelow36 = 0;
    LeeVerdict verdict = LeeVerdict::NotApplicable;  // of all its windows together
    int meetsPerMille = 0;
};

struct DriveReport {
    // How the pass over the file went: completed, failed (and why) or cancelled.
    FileOutcome outcome;
    bool Complete() const { return outcome.outcome == JobOutcome::Completed; }
    LevelRamp::Bounds thresholds = LevelRamp().Thresholds();  // of the shares
    double cellMetres = 0.0;  // of the shares by cells; 0: not binned
    std::string input;
    std::uint64_t fileBytes = 0;
    int outageSeconds = 30;
    std::optional<StandStillRule> standStill;  // the request's
    DriveFigures file;
    // The summary: per frequency across every reported scan, averaged channels first, each
    // kind by frequency.
    std::vector<FrequencyFigures> frequencies;
    std::int64_t reportedScans = 0;                  // listed or not
    std::vector<ScanReport> scans;                   // none when a scan sink took them
    std::int64_t unlistedScans = 0;                  // beyond the request's listedScansAtMost
    LeeVerdict verdict = LeeVerdict::NotApplicable;  // the worst scan's, listed or not
};

// Takes each reported scan as soon as it ends, in file order.
using ScanReportSink = std::function<void(ScanReport&&)>;

// The report as an output of the job runner, of one input: it sees every decoded record,
// before the filters, and the outages and stops the GPS pre-pass listed. The scans go to `scans`
// when it is given (the report then lists none, and its memory does not grow with their number),
// else into the report.
class ReportOutput : public JobOutput {
  public:
    ReportOutput(const ReportRequest& request, const ScanReportSink& scans);
    ReportOutput(const ReportOutput&) = delete;
    ReportOutput& operator=(const ReportOutput&) = delete;
    ~ReportOutput() override;
    std::vector<std::string> FilesOf(std::size_t) const override { return {}; }
    PrePassRequest PrePassWanted() const override;
    std::optional<FileOutcome> Open(std::size_t input, InputSinks& sinks) override;
    FileOutcome Close(std::size_t input, const FilePass& pass, FileOutcome outcome) override;
    // After Close: the report (without its input's name).
    DriveReport TakeReport();

  private:
    struct Pass;
    ReportRequest request_;
    ScanReportSink scans_;
    DriveReport report_;
    std::unique_ptr<Pass> pass_;
};

// Reads the file twice when outages are listed or standing still is dropped (the GPS pre-pass,
// then the report's own pass), else once. The request's typed frequencies serve files without
// a channel table.
DriveReport BuildDriveReport(TavrelReader& reader, const std::string& input,
                             const ReportRequest& request, std::stop_token stop,
                             const ScanReportSink& scans = {});

// The report's pass over records that another pass (the index pass) decodes with the same
// reader, opened on the same file: no outage pass, so the outages are unknown.
class ReportRecordPass {
  public:
    ReportRecordPass(TavrelReader& reader, const ReportRequest& request, ScanReportSink scans);
    ~ReportRecordPass();
    void Decoded(const DecodedRecord& record);
    void Finish(DriveReport& report);

  private:
    struct Pass;
    TavrelReader& reader_;
    ReportRequest request_;
    ScanReportSink scans_;
    std::unique_ptr<Pass> pass_;
};

// The distance (m) between two points in decimal degrees on WGS 84; 0 for positions that are
// none (beyond the poles, in a damaged fix).
double RouteMetres(double lat1, double lon1, double lat2, double lon2);

}  // namespace varistrum
