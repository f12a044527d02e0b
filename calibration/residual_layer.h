// SPDX-License-Identifier: GPL-3.0-or-later
// The residual layer: one point per fitted local mean with its distance, path loss, the site and
// channel fit's prediction and the residual, in a GeoPackage with a stored QGIS style.
#pragma once

#include <string>

#include "base/output_target.h"
#include "calibration/calibration.h"
#include "geodata/level_ramp.h"

namespace varistrum {

// Residuals (measured less predicted path loss, dB) fall in six bands split at -10, -5, 0, 5
// and 10 dB, each holding its lower bound; band 0 is the most negative.
inline constexpr int kResidualBands = 6;
int ResidualBand(double residualDb);
// "below -10 dB", "-10 to -5 dB", ..., "10 dB and above".
std::string ResidualBandLabel(int band);
// The map's level colours turned round: a negative residual (more signal than the fit
// predicts) is green, a positive one red.
RgbColour ResidualBandColour(int band);

// What the residual layer is to the one output writer.
inline constexpr OutputKind kResidualLayerOutput{"a GeoPackage", false, ".gpkg"};

// Creates the GeoPackage with layer `residuals` (WGS 84 points) of the fits of single
// site-channels as a new file at `working`, a work file of the one output writer that puts it
// in place under `path` (named in messages). Returns "" or the message for the user.
std::string CreateResidualLayer(const CalibrationResult& result, const std::string& working,
                                const std::string& path);

// Writes the residual layer at `path` through the one output writer, on its own. Returns "" or
// the message for the user; nothing is left at `path` on failure, and an earlier file stays.
std::string WriteResidualLayer(const CalibrationResult& result, const std::string& path);

}  // namespace varistrum
