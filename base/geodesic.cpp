// SPDX-License-Identifier: GPL-3.0-or-later
// Geodesic distances through PROJ's implementation of Karney's algorithm.
#include "base/geodesic.h"

#include <geodesic.h>

namespace varistrum {

namespace {

const geod_geodesic& Wgs84() {
    static const geod_geodesic ellipsoid = [] {
        geod_geodesic g{};
        geod_init(&g, 6378137.0, 1.0 / 298.257223563);
        return g;
    }();
    return ellipsoid;
}

}  // namespace

double GeodesicMetres(double latitude1, double longitude1, double latitude2, double longitude2) {
    double metres = 0.0;
    geod_inverse(&Wgs84(), latitude1, longitude1, latitude2, longitude2, &metres, nullptr, nullptr);
    return metres;
}

}  // namespace varistrum
