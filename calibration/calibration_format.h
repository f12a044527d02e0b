// SPDX-License-Identifier: GPL-3.0-or-later
// A calibration as text for a terminal (80 columns) and as JSON (docs/calibration.schema.json).
// Numbers are written without the locale.
#pragma once

#include <string>

#include "calibration/calibration.h"

namespace varistrum {

inline constexpr int kCalibrationSchemaVersion = 1;
inline constexpr std::size_t kCalibrationColumns = 80;

std::string CalibrationText(const CalibrationResult& result);
std::string CalibrationJson(const CalibrationResult& result);

}  // namespace varistrum
