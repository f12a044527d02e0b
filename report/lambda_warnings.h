// SPDX-License-Identifier: GPL-3.0-or-later
// Before a 40-lambda conversion: the scans whose windows would hold too few samples.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "report/drive_report.h"

namespace varistrum {

struct LambdaWarning {
    int scan = 0;
    std::string name;
    double frequencyMHz = 0.0;
    std::uint32_t medianSamples = 0;  // per 40-lambda window
};

// The scans with a receiver channel whose median samples per window is below 36.
std::vector<LambdaWarning> LambdaWarningsOf(const DriveReport& report);

// "Scan 2 (GPS 14:30:45): 873.075 MHz holds a median of 18 samples per 40-lambda window, fewer
// than 36: its averages will be noisy."
std::string LambdaWarningText(const LambdaWarning& warning);

// Reads the file once (no outage pass) for the scans a conversion with these choices takes.
std::vector<LambdaWarning> CheckLambdaSampling(TavrelReader& reader, const std::string& input,
                                               const ReportRequest& request, std::stop_token stop);

}  // namespace varistrum
