// SPDX-License-Identifier: GPL-3.0-or-later
// The zone a drive is binned in, and its projection against PROJ set up independently.
#include "bins/utm_zone.h"

#include <gtest/gtest.h>
#include <proj.h>

#include <cmath>
#include <random>

namespace varistrum {
namespace {

struct ZoneCase {
    double latitude, longitude;
    int zone;  // 0: refused
    bool south;
};

TEST(UtmZone, ChoiceWithNorwayAndSvalbardExceptions) {
    const ZoneCase cases[] = {
        {52.5, 13.4, 33, false},
        {48.2, 11.999, 32, false},
        {48.2, 12.0, 33, false},
        {0.0, 31.0, 36, false},
        {-0.0001, 31.0, 36, true},
        {-33.9, 18.4, 34, true},
        {10.0, -180.0, 1, false},
        {10.0, 179.99, 60, false},
        {10.0, 180.0, 60, false},
        // South-western Norway: 32V reaches from 3 to 12 E between 56 and 64 N.
        {60.39, 5.32, 32, false},
        {60.0, 2.99, 31, false},
        {60.0, 3.0, 32, false},
        {60.0, 12.0, 33, false},
        {55.99, 5.32, 31, false},
        {64.0, 5.32, 31, false},
        // Svalbard: 31X, 33X, 35X and 37X only, from 72 N.
        {78.22, 15.65, 33, false},
        {78.0, 8.99, 31, false},
        {78.0, 9.0, 33, false},
        {78.0, 20.99, 33, false},
        {78.0, 21.0, 35, false},
        {78.0, 33.0, 37, false},
        {78.0, 41.99, 37, false},
        {78.0, 42.0, 38, false},
        {71.99, 8.0, 32, false},
        {84.0, 10.0, 33, false},
        {-80.0, 0.0, 31, true},
        // UTM does not reach the poles; no position at all.
        {84.0001, 10.0, 0, false},
        {-80.0001, 0.0, 0, false},
        {90.0, 0.0, 0, false},
        {NAN, 0.0, 0, false},
        {0.0, 180.5, 0, false},
        {0.0, INFINITY, 0, false},
    };
    for (const ZoneCase& c : cases) {
        const auto zone = UtmZoneOf(c.latitude, c.longitude);
        SCOPED_TRACE(std::to_string(c.latitude) + ", " + std::to_string(c.longitude));
        if (c.zone == 0) {
            EXPECT_FALSE(zone);
            continue;
        }
        ASSERT_TRUE(zone);
        EXPECT_EQ(zone->number, c.zone);
        EXPECT_EQ(zone->south, c.south);
        EXPECT_EQ(zone->Epsg(), (c.south ? 32700 : 32600) + c.zone);
    }
}

TEST(UtmZone, DegreesFromCentralMeridianWrapsAround) {
    EXPECT_DOUBLE_EQ(DegreesFromCentralMeridian({32, false}, 12.5), 3.5);
    EXPECT_DOUBLE_EQ(DegreesFromCentralMeridian({1, false}, 179.0), 4.0);
    EXPECT_DOUBLE_EQ(DegreesFromCentralMeridian({60, false}, -179.0), 4.0);
}

// The projector against PROJ's own UTM definition written out (not the EPSG one).
TEST(UtmProjector, MatchesPlainUtmDefinition) {
    for (const UtmZone zone : {UtmZone{32, false}, UtmZone{36, true}, UtmZone{33, false}}) {
        PJ_CONTEXT* context = proj_context_create();
        const std::string definition =
            "+proj=pipeline +step +proj=unitconvert +xy_in=deg "
            "+xy_out=rad +step +proj=utm +ellps=WGS84 +zone=" +
            std::to_string(zone.number) + (zone.south ? " +south" : "");
        PJ* reference = proj_create(context, definition.c_str());
        ASSERT_NE(reference, nullptr);
        UtmProjector projector(zone);
        ASSERT_TRUE(projector.Valid()) << projector.Error();
        std::mt19937 random(zone.number);
        std::uniform_real_distribution<double> offset(-4.0, 4.0), latitude(-10.0, 70.0);
        for (int i = 0; i < 200; ++i) {
            double x = zone.CentralMeridian() + offset(random), y = latitude(random);
            const PJ_COORD expected = proj_trans(reference, PJ_FWD, proj_coord(x, y, 0, 0));
            const double longitude = x, latitude = y;
            projector.Project(&x, &y, 1);
            EXPECT_NEAR(x, expected.xy.x, 1e-6);
            EXPECT_NEAR(y, expected.xy.y, 1e-6);
            projector.Unproject(&x, &y, 1);
            EXPECT_NEAR(x, longitude, 1e-9);
            EXPECT_NEAR(y, latitude, 1e-9);
        }
        proj_destroy(reference);
        proj_context_destroy(context);
    }
    // The central meridian on the equator: the false easting, and the false northing south.
    UtmProjector south({32, true});
    double x = 9.0, y = 0.0;
    south.Project(&x, &y, 1);
    EXPECT_NEAR(x, 500000.0, 1e-6);
    EXPECT_NEAR(y, 10000000.0, 1e-6);
}

}  // namespace
}  // namespace varistrum
