// SPDX-License-Identifier: GPL-3.0-or-later
// The drive report as text for a terminal (80 columns), as JSON (docs/report.schema.json) and
// as an HTML page. Numbers are written without the locale.
#pragma once

#include <string>

#include "report/drive_report.h"

namespace varistrum {

inline constexpr int kReportSchemaVersion = 1;
inline constexpr std::size_t kReportColumns = 80;

std::string ReportText(const DriveReport& report);
std::string ReportJson(const DriveReport& report);
std::string ReportHtml(const DriveReport& report);

// "873.075 MHz: window 13.7 m; 31 samples/s give 36 samples a window up to 42.6 km/h; median
// speed 38 km/h: meets in 81 % of windows" (unwrapped).
std::string LeeSentence(const ChannelFigures& channel, double medianSpeedKmh);

// Breaks a line at blanks into lines of at most `width` characters; continuation lines are
// indented by `indent` blanks. Each line ends with '\n'.
std::string WrapLine(const std::string& line, std::size_t width, std::size_t indent);

}  // namespace varistrum
