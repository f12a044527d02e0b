// SPDX-License-Identifier: GPL-3.0-or-later
// Path loss against log-distance: a straight line (one intercept per channel when several are
// pooled, one slope), fitted by least squares weighted per tenth of a decade or unweighted,
// with standard errors that allow for the correlation of neighbouring points along the route.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace varistrum {

enum class FitWeighting {
    TenthDecadeBins,  // each point weighs 1 / (points in its merged tenth-of-a-decade bin)
    Ordinary,         // every point weighs 1
};

struct FitPoint {
    double logDistance = 0.0;  // log10(d / 1 km)
    double value = 0.0;        // the path loss in dB (or the path loss less a model's other terms)
    double routeM = 0.0;       // position along the route within its segment
    int segment = 0;           // a stretch of route (one scan of one log); none correlates across
    int channel = 0;           // bins are made per channel
    int intercept = 0;         // the intercept the point takes, 0 .. intercepts - 1
};

// A run of tenth-of-a-decade bins k (log10(d / 1 km) in [k/10, (k+1)/10)) merged into one.
struct TenthBin {
    int first = 0, last = 0;  // bin numbers, inclusive
    std::int64_t points = 0;
    friend bool operator==(const TenthBin&, const TenthBin&) = default;
};

// Bins holding fewer points than this are merged into a neighbour.
inline constexpr std::int64_t kMinPointsPerBin = 5;

// The occupied bins of these log-distances, lowest first, after merging: while a bin holds
// fewer than kMinPointsPerBin points and others remain, the one farthest from the middle of the
// occupied range (the lower on a tie) joins its neighbour on the middle's side; a bin at the
// middle joins the smaller neighbour (the lower on a tie). Empty bins take no part.
std::vector<TenthBin> MergedTenthBins(std::span<const double> logDistances);

// Each point's weight: 1 for Ordinary; for TenthDecadeBins 1 / (points in its merged bin),
// the bins made per channel.
std::vector<double> FitWeights(std::span<const FitPoint> points, FitWeighting weighting);

// Weighted error figures: mean, standard deviation about that mean, root mean square.
struct ErrorFigures {
    double mean = 0.0, std = 0.0, rms = 0.0;
};
ErrorFigures WeightedErrors(std::span<const double> errors, std::span<const double> weights);

struct LineFit {
    std::vector<double> intercepts;  // dB at 1 km, one per intercept group
    double slope = 0.0;              // dB per decade
    // Standard errors allowing for the residuals' correlation along the route, and as they
    // would be for independent points.
    std::vector<double> interceptSe, naiveInterceptSe;
    double slopeSe = 0.0, naiveSlopeSe = 0.0;
    // The residuals' correlation length along the route (0: none found), and the number of
    // independent points that would give the slope the same standard error.
    double correlationLengthM = 0.0;
    double effectivePoints = 0.0;
    // Residuals weighted as the fit: their mean (0 for a weighted fit with an intercept), their
    // standard deviation and RMS, and the weighted R^2 (NaN when the values do not vary).
    ErrorFigures errors;
    double r2 = 0.0;
    std::int64_t points = 0;
    double spanDecades = 0.0;       // log10 of the farthest over the nearest distance
    std::vector<double> weights;    // per point, as given
    std::vector<double> residuals;  // value - fitted, per point
};

// Fits value = intercept[group] + slope * logDistance. Nullopt with the reason in `problem`
// when the points cannot determine it (fewer than intercepts + 2 points, a group without
// points, no spread of distance within any group).
std::optional<LineFit> FitLine(std::span<const FitPoint> points, int intercepts,
                               FitWeighting weighting, std::string* problem = nullptr);

// The correlation length (m) of these residuals along the route: the length L for which
// exp(-gap / L), summed over every pair of consecutive points of one channel within a segment,
// matches the pairs' summed products over the residuals' mean square. 0 when the neighbours do
// not correlate positively (or the residuals are all but zero); kMaxCorrelationM when they
// correlate completely.
inline constexpr double kMaxCorrelationM = 1.0e7;
double ResidualCorrelationLengthM(std::span<const FitPoint> points,
                                  std::span<const double> residuals);

}  // namespace varistrum
