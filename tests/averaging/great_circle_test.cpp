// SPDX-License-Identifier: GPL-3.0-or-later
// The early threshold test must decide every pair exactly as the full distance does.
#include "averaging/great_circle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace varistrum {
namespace {

bool FullAnswer(const RoutePoint& a, const RoutePoint& b, double metres) {
    return GreatCircleMetres(a, b) >= metres;
}

TEST(DistanceThresholdTest, AgreesWithTheFullDistanceOnAndAroundTheThreshold) {
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> latitude(-89.0, 89.0);
    std::uniform_real_distribution<double> longitude(-180.0, 180.0);
    std::uniform_real_distribution<double> step(-2e-4, 2e-4);  // up to some 20 m
    for (int i = 0; i < 200000; ++i) {
        const RoutePoint from = RoutePointAt(latitude(random), longitude(random));
        const RoutePoint to =
            RoutePointAt(from.latitude + step(random), from.longitude + step(random));
        const double metres = GreatCircleMetres(from, to);
        // The pair's own distance and its neighbours by one and a few units in the last place.
        for (const double threshold :
             {metres, std::nextafter(metres, 0.0), std::nextafter(metres, 1e9),
              metres * (1 + 1e-12), metres * (1 - 1e-12), metres * (1 + 1e-8),
              metres * (1 - 1e-8)}) {
            ASSERT_EQ(DistanceThreshold(threshold).Reached(from, to),
                      FullAnswer(from, to, threshold))
                << i << ' ' << threshold;
        }
    }
}

TEST(DistanceThresholdTest, OddThresholdsAndPointsTakeTheFullComputation) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const RoutePoint origin = RoutePointAt(0.0, 0.0);
    const RoutePoint points[] = {origin,
                                 RoutePointAt(0.0, 180.0),
                                 RoutePointAt(90.0, 0.0),
                                 RoutePointAt(-90.0, 10.0),
                                 RoutePointAt(135.0, 0.0),
                                 RoutePointAt(400.0, -725.0),
                                 RoutePointAt(nan, 0.0),
                                 RoutePointAt(0.0, inf),
                                 RoutePointAt(1e-300, 0.0)};
    for (const double threshold :
         {0.0, -1.0, 1e-300, 1.0, 2.0e7, 2.0037e7, 4.0e7, nan, inf, -inf}) {
        for (const RoutePoint& from : points) {
            for (const RoutePoint& to : points) {
                EXPECT_EQ(DistanceThreshold(threshold).Reached(from, to),
                          FullAnswer(from, to, threshold))
                    << threshold << ' ' << from.latitude << ',' << from.longitude << " -> "
                    << to.latitude << ',' << to.longitude;
            }
        }
    }
    EXPECT_TRUE(DistanceThreshold().Reached(origin, origin));  // unset: every distance reaches 0
}

}  // namespace
}  // namespace varistrum
