// SPDX-License-Identifier: GPL-3.0-or-later
// The residual layer: one point per fitted local mean with its distance, path loss, the site and
// channel fit's prediction and the residual, in a GeoPackage with a stored QGIS style.
#pragma once

#include <string>

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

// Where the GeoPackage is written before it is put in place, and putting it there: the one place
// that changes when the product's safe writer takes GDAL's writes.
std::string ResidualLayerWorkingPath(const std::string& path);
// Puts the working file in place under `path`; "" or the message.
std::string PutResidualLayerInPlace(const std::string& working, const std::string& path);

// Writes layer `residuals` (WGS 84 points) of the fits of single site-channels. Returns "" or
// the message for the user; nothing is left at `path` on failure.
std::string WriteResidualLayer(const CalibrationResult& result, const std::string& path);

}  // namespace varistrum
