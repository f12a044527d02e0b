// SPDX-License-Identifier: GPL-3.0-or-later
// Distances on the WGS 84 ellipsoid: the one distance function behind every distance the
// product reports (route lengths, the report, the map's scale, stops, calibration). The
// 40-lambda engine keeps its own sphere, as its output must not change.
#pragma once

namespace varistrum {

// Metres between two positions in decimal degrees (latitude, longitude), along the geodesic.
double GeodesicMetres(double latitude1, double longitude1, double latitude2, double longitude2);

}  // namespace varistrum
