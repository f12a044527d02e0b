// SPDX-License-Identifier: GPL-3.0-or-later
// The line fit: exact recovery of a known line, agreement with closed-form least-squares sums,
// the merging of sparse bins, and standard errors that hold on correlated residuals.
#include "calibration/line_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "tests/calibration/synthetic_drive.h"

namespace varistrum {
namespace {

// Points every `stepM` metres from `fromM` to `toM` of one channel on one segment.
std::vector<FitPoint> Road(double fromM, double toM, double stepM, int channel = 0,
                           int intercept = 0, int segment = 0) {
    std::vector<FitPoint> points;
    for (double d = fromM; d <= toM + 1e-9; d += stepM) {
        FitPoint p;
        p.logDistance = std::log10(d / 1000.0);
        p.routeM = d - fromM;
        p.segment = segment;
        p.channel = channel;
        p.intercept = intercept;
        points.push_back(p);
    }
    return points;
}

TEST(LineFit, NoiseFreeLinesComeBackExactly) {
    struct Case {
        const char* name;
        double fromM, toM, stepM;
        std::vector<double> intercepts;  // one per channel, pooled when several
        double slope;
        FitWeighting weighting;
    } const cases[] = {
        {"one decade, weighted", 500.0, 5000.0, 13.0, {126.4}, 35.2, FitWeighting::TenthDecadeBins},
        {"one decade, plain", 500.0, 5000.0, 13.0, {126.4}, 35.2, FitWeighting::Ordinary},
        {"sparse far end", 150.0, 20000.0, 97.0, {110.0}, 42.0, FitWeighting::TenthDecadeBins},
        {"short drive", 900.0, 1300.0, 7.0, {140.0}, 20.0, FitWeighting::TenthDecadeBins},
        {"pooled", 300.0, 8000.0, 21.0, {120.0, 127.5, 131.0}, 33.0, FitWeighting::TenthDecadeBins},
        {"pooled plain", 300.0, 8000.0, 21.0, {120.0, 127.5}, 38.0, FitWeighting::Ordinary},
    };
    for (const Case& c : cases) {
        std::vector<FitPoint> points;
        for (std::size_t g = 0; g < c.intercepts.size(); ++g) {
            // Each channel on its own stretch so that the channels' bins differ.
            for (FitPoint p : Road(c.fromM * (1.0 + 0.1 * g), c.toM, c.stepM, static_cast<int>(g),
                                   static_cast<int>(g))) {
                p.value = c.intercepts[g] + c.slope * p.logDistance;
                points.push_back(p);
            }
        }
        const auto fit = FitLine(points, static_cast<int>(c.intercepts.size()), c.weighting);
        ASSERT_TRUE(fit) << c.name;
        EXPECT_NEAR(fit->slope, c.slope, 1e-9) << c.name;
        for (std::size_t g = 0; g < c.intercepts.size(); ++g)
            EXPECT_NEAR(fit->intercepts[g], c.intercepts[g], 1e-9) << c.name;
        EXPECT_NEAR(fit->errors.rms, 0.0, 1e-9) << c.name;
        EXPECT_NEAR(fit->r2, 1.0, 1e-12) << c.name;
        double nearest = points.front().logDistance, farthest = nearest;
        for (const FitPoint& p : points) {
            nearest = std::min(nearest, p.logDistance);
            farthest = std::max(farthest, p.logDistance);
        }
        EXPECT_NEAR(fit->spanDecades, farthest - nearest, 1e-12) << c.name;
    }
}

// Weighted sums written out: slope and intercept, and the standard error the slope would have
// for independent points (the weights balance distances; the errors share one variance).
struct Reference {
    double a = 0.0, b = 0.0, naiveSeB = 0.0, weightedRms = 0.0;
};

Reference ClosedForm(const std::vector<FitPoint>& points, const std::vector<double>& w) {
    double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double x = points[i].logDistance, y = points[i].value;
        sw += w[i];
        sx += w[i] * x;
        sy += w[i] * y;
        sxx += w[i] * x * x;
        sxy += w[i] * x * y;
    }
    Reference r;
    r.b = (sw * sxy - sx * sy) / (sw * sxx - sx * sx);
    r.a = (sy - r.b * sx) / sw;
    const double meanX = sx / sw;
    double squares = 0, weightedSquares = 0, spread = 0, spreadSquared = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double e = points[i].value - r.a - r.b * points[i].logDistance;
        const double dx = points[i].logDistance - meanX;
        squares += e * e;
        weightedSquares += w[i] * e * e;
        spread += w[i] * dx * dx;
        spreadSquared += w[i] * w[i] * dx * dx;
    }
    const double sigma2 = squares / static_cast<double>(points.size() - 2);
    r.naiveSeB = std::sqrt(sigma2 * spreadSquared / (spread * spread));
    r.weightedRms = std::sqrt(weightedSquares / sw);
    return r;
}

TEST(LineFit, WeightedAndPlainFitsMatchTheClosedFormSums) {
    // A drive that lingers near the site: many points close in, few far out; every tenth of a
    // decade holds at least five points, so each weighs 1 / (points in its tenth).
    std::vector<FitPoint> points = Road(200.0, 1000.0, 4.0);
    for (const FitPoint& p : Road(1000.0 + 40.0, 9000.0, 40.0)) points.push_back(p);
    test::Gaussian gauss(11);
    for (FitPoint& p : points) p.value = 125.0 + 37.0 * p.logDistance + 6.0 * gauss();
    std::map<int, int> perTenth;
    for (const FitPoint& p : points) ++perTenth[static_cast<int>(std::floor(10 * p.logDistance))];
    for (const auto& [tenth, n] : perTenth) ASSERT_GE(n, 5) << tenth;

    for (const FitWeighting weighting : {FitWeighting::Ordinary, FitWeighting::TenthDecadeBins}) {
        std::vector<double> w(points.size(), 1.0);
        if (weighting == FitWeighting::TenthDecadeBins)
            for (std::size_t i = 0; i < points.size(); ++i)
                w[i] = 1.0 / perTenth[static_cast<int>(std::floor(10 * points[i].logDistance))];
        const Reference r = ClosedForm(points, w);
        const auto fit = FitLine(points, 1, weighting);
        ASSERT_TRUE(fit);
        EXPECT_NEAR(fit->slope, r.b, 1e-9);
        EXPECT_NEAR(fit->intercepts[0], r.a, 1e-9);
        EXPECT_NEAR(fit->naiveSlopeSe, r.naiveSeB, 1e-9);
        EXPECT_NEAR(fit->errors.rms, r.weightedRms, 1e-9);
        EXPECT_NEAR(fit->errors.mean, 0.0, 1e-9);  // an intercept takes the weighted mean out
        for (std::size_t i = 0; i < points.size(); ++i) ASSERT_DOUBLE_EQ(fit->weights[i], w[i]);
    }
    // The two fits differ: plain least squares leans on the crowded near end.
    const auto plain = FitLine(points, 1, FitWeighting::Ordinary);
    const auto weighted = FitLine(points, 1, FitWeighting::TenthDecadeBins);
    EXPECT_GT(std::fabs(plain->slope - weighted->slope), 1e-3);
}

// log10(d / 1 km) at the middle of tenth k, repeated n times.
void Fill(std::vector<double>& x, int tenth, int n) {
    for (int i = 0; i < n; ++i) x.push_back((tenth + 0.5) / 10.0);
}

TEST(LineFit, SparseBinsMergeTowardsTheMiddle) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> occupied;  // tenth, points
        std::vector<TenthBin> merged;
    } const cases[] = {
        {"all full", {{-3, 5}, {-2, 9}, {-1, 6}}, {{-3, -3, 5}, {-2, -2, 9}, {-1, -1, 6}}},
        {"outer bins inwards",
         {{0, 2}, {1, 10}, {2, 10}, {3, 10}, {4, 3}},
         {{0, 1, 12}, {2, 2, 10}, {3, 4, 13}}},
        {"a chain of sparse bins",
         {{0, 2}, {1, 1}, {2, 1}, {3, 20}, {4, 20}},
         {{0, 3, 24}, {4, 4, 20}}},
        {"across empty bins", {{-5, 1}, {0, 8}, {1, 8}, {6, 4}}, {{-5, 0, 9}, {1, 6, 12}}},
        // Bins 0..4, middle 2.5: bin 2 (centre 2.5) sits on it and joins its smaller neighbour.
        {"at the middle",
         {{0, 9}, {1, 7}, {2, 2}, {3, 6}, {4, 9}},
         {{0, 0, 9}, {1, 1, 7}, {2, 3, 8}, {4, 4, 9}}},
        {"inner sparse bin",
         {{0, 9}, {1, 3}, {2, 8}, {3, 9}, {4, 9}},
         {{0, 0, 9}, {1, 2, 11}, {3, 3, 9}, {4, 4, 9}}},
        {"too few for two bins", {{0, 2}, {3, 1}, {7, 1}}, {{0, 7, 4}}},
        {"one point", {{2, 1}}, {{2, 2, 1}}},
    };
    for (const Case& c : cases) {
        std::vector<double> x;
        for (const auto& [tenth, n] : c.occupied) Fill(x, tenth, n);
        EXPECT_EQ(MergedTenthBins(x), c.merged) << c.name;
    }
}

TEST(LineFit, FitWeightsMakeEachMergedBinCountAlikePerChannel) {
    std::vector<FitPoint> points;
    const std::pair<int, int> channelA[] = {{0, 10}, {1, 5}, {2, 2}};  // 2 joins 1: 7
    const std::pair<int, int> channelB[] = {{0, 3}, {1, 6}};           // 0 joins 1: 9
    for (const auto& [tenth, n] : channelA)
        for (int i = 0; i < n; ++i) points.push_back({(tenth + 0.5) / 10.0, 0, 0, 0, 1, 0});
    for (const auto& [tenth, n] : channelB)
        for (int i = 0; i < n; ++i) points.push_back({(tenth + 0.5) / 10.0, 0, 0, 0, 2, 0});
    const std::vector<double> w = FitWeights(points, FitWeighting::TenthDecadeBins);
    std::map<int, double> totals;
    for (std::size_t i = 0; i < points.size(); ++i) totals[points[i].channel] += w[i];
    EXPECT_NEAR(totals[1], 2.0, 1e-12);  // two bins
    EXPECT_NEAR(totals[2], 1.0, 1e-12);  // one bin
    EXPECT_DOUBLE_EQ(w.front(), 1.0 / 10.0);
    EXPECT_DOUBLE_EQ(w[10], 1.0 / 7.0);
    EXPECT_DOUBLE_EQ(w.back(), 1.0 / 9.0);
    for (const double v : FitWeights(points, FitWeighting::Ordinary)) EXPECT_EQ(v, 1.0);
}

TEST(LineFit, CorrelatedResidualsWidenTheStandardErrorsEnoughToCoverTheTruth) {
    // Local means 13 m apart from 300 m to 8 km; shadowing an AR(1) sequence with 0.8 between
    // neighbours (a correlation length of 58 m), 7 dB.
    constexpr double kA = 128.0, kB = 36.0, kRho = 0.8, kSigma = 7.0;
    const double trueLength = -13.0 / std::log(kRho);
    int slopeCovered = 0, interceptCovered = 0, naiveCovered = 0;
    double lengths = 0.0;
    for (int seed = 1; seed <= 20; ++seed) {
        std::vector<FitPoint> points = Road(300.0, 8000.0, 13.0);
        const std::vector<double> shadow = test::Ar1(points.size(), kRho, kSigma, seed);
        for (std::size_t i = 0; i < points.size(); ++i)
            points[i].value = kA + kB * points[i].logDistance + shadow[i];
        const auto fit = FitLine(points, 1, FitWeighting::TenthDecadeBins);
        ASSERT_TRUE(fit);
        // The independent-point errors understate by about sqrt((1 + rho) / (1 - rho)) = 3.
        EXPECT_GT(fit->slopeSe, 2.0 * fit->naiveSlopeSe) << seed;
        EXPECT_LT(fit->slopeSe, 4.5 * fit->naiveSlopeSe) << seed;
        EXPECT_GT(fit->interceptSe[0], 2.0 * fit->naiveInterceptSe[0]) << seed;
        EXPECT_LT(fit->effectivePoints, 0.25 * static_cast<double>(points.size())) << seed;
        slopeCovered += std::fabs(fit->slope - kB) <= 2.0 * fit->slopeSe;
        interceptCovered += std::fabs(fit->intercepts[0] - kA) <= 2.0 * fit->interceptSe[0];
        naiveCovered += std::fabs(fit->slope - kB) <= 2.0 * fit->naiveSlopeSe;
        lengths += fit->correlationLengthM;
    }
    EXPECT_GE(slopeCovered, 17);
    EXPECT_GE(interceptCovered, 17);
    EXPECT_LT(naiveCovered, 15);  // what the correction is for
    EXPECT_NEAR(lengths / 20.0, trueLength, 0.25 * trueLength);
}

TEST(LineFit, CorrelationLengthFromTheResiduals) {
    std::vector<FitPoint> points = Road(300.0, 3000.0, 10.0);
    test::Gaussian gauss(5);
    std::vector<double> independent(points.size()), constant(points.size(), 2.0),
        alternating(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        independent[i] = gauss();
        alternating[i] = i % 2 == 0 ? 1.0 : -1.0;
    }
    EXPECT_LT(ResidualCorrelationLengthM(points, independent), 5.0);
    EXPECT_EQ(ResidualCorrelationLengthM(points, alternating), 0.0);
    EXPECT_EQ(ResidualCorrelationLengthM(points, constant), kMaxCorrelationM);
    // Pairs are made within a segment and a channel only: split every other point onto another
    // segment and the alternating residuals become two constant runs.
    for (std::size_t i = 0; i < points.size(); ++i) points[i].segment = static_cast<int>(i % 2);
    EXPECT_EQ(ResidualCorrelationLengthM(points, alternating), kMaxCorrelationM);
}

TEST(LineFit, RefusesWhatCannotDetermineALine) {
    struct Case {
        const char* name;
        std::vector<FitPoint> points;
        int intercepts;
        const char* problem;
    };
    std::vector<FitPoint> oneDistance(10, FitPoint{0.3, 100.0, 0, 0, 0, 0});
    std::vector<FitPoint> emptyGroup = Road(500.0, 900.0, 50.0);
    const Case cases[] = {
        {"two points", Road(500.0, 600.0, 100.0), 1, "too few points"},
        {"one distance", oneDistance, 1, "one distance"},
        {"a channel without points", emptyGroup, 2, "has no points"},
    };
    for (const Case& c : cases) {
        std::string problem;
        EXPECT_FALSE(FitLine(c.points, c.intercepts, FitWeighting::TenthDecadeBins, &problem))
            << c.name;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << c.name << ": " << problem;
    }
}

}  // namespace
}  // namespace varistrum
