// SPDX-License-Identifier: GPL-3.0-or-later
// The drive report as text for a terminal (80 columns), as JSON (docs/report.schema.json) and
// as an HTML page. Numbers are written without the locale.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "base/spill_array.h"
#include "report/drive_report.h"

namespace varistrum {

inline constexpr int kReportSchemaVersion = 2;
inline constexpr std::size_t kReportColumns = 80;

// The summary per frequency comes first; `summaryOnly` leaves out the rest (the whole file's
// and the scans' figures).
std::string ReportText(const DriveReport& report, bool summaryOnly = false);
std::string ReportJson(const DriveReport& report, bool summaryOnly = false);
std::string ReportHtml(const DriveReport& report);

// The text or JSON form of a report of any number of scans, in bounded memory: each scan is
// written down as it ends (BuildDriveReport's scan sink) and waits in a spill array until the
// whole file's figures and the summary, which come first, are known. The same bytes as ReportText
// or ReportJson.
class SpilledReport {
  public:
    // `summaryOnly`: the scans are not written down at all.
    SpilledReport(bool json, int outageSeconds, bool summaryOnly = false);
    void Add(const ScanReport& scan);
    // The report's head from `report` (its own scans are not written), then the scans added;
    // false when writing failed.
    bool WriteTo(std::ostream& out, const DriveReport& report) const;

  private:
    bool json_;
    int outageSeconds_;
    bool summaryOnly_;
    std::int64_t scans_ = 0;
    SpillArray<char> text_;
};

// "873.075 MHz: window 13.7 m; 31 samples/s give 36 samples a window up to 42.6 km/h; median
// speed 38 km/h: meets in 81.2 % of windows" (unwrapped), "(not averaged)" after it for list
// and table channels; "median speed unknown" without a speed.
std::string LeeSentence(const ChannelFigures& channel, std::optional<double> medianSpeedKmh);

// Breaks a line at blanks into lines of at most `width` characters; continuation lines are
// indented by `indent` blanks. Each line ends with '\n'.
std::string WrapLine(const std::string& line, std::size_t width, std::size_t indent);

}  // namespace varistrum
