// SPDX-License-Identifier: GPL-3.0-or-later
// The WGS 84 distance against published geodesic values.
#include "base/geodesic.h"

#include <gtest/gtest.h>

namespace varistrum {
namespace {

TEST(GeodesicTest, KnownDistancesOnTheEllipsoid) {
    struct Case {
        double lat1, lon1, lat2, lon2, metres, tolerance;
    };
    const Case cases[] = {
        {0.0, 0.0, 0.0, 1.0, 111319.4908, 1e-3},  // a degree of the equator
        {0.0, 0.0, 1.0, 0.0, 110574.3886, 1e-3},  // a degree of the meridian at the equator
        {52.0, 13.0, 52.0, 13.0, 0.0, 0.0},       // the same place
        // Across the antimeridian: the short way round.
        {10.0, 179.9995, 10.0, -179.9995, 109.6, 0.1},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(GeodesicMetres(c.lat1, c.lon1, c.lat2, c.lon2), c.metres, c.tolerance)
            << c.lat1 << ',' << c.lon1 << " to " << c.lat2 << ',' << c.lon2;
    }
}

}  // namespace
}  // namespace varistrum
