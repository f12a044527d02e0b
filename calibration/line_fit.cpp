// SPDX-License-Identifier: GPL-3.0-or-later
// The line fit: tenth-of-a-decade weights, the normal equations, the correlation length of the
// residuals and the standard errors it implies.
#include "calibration/line_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>

namespace varistrum {

namespace {

int TenthOf(double logDistance) {
    return static_cast<int>(std::floor(10.0 * logDistance));
}

// Twice a merged bin's centre in bin units: first + last + 1 (exact in integers).
int DoubleCentre(const TenthBin& bin) {
    return bin.first + bin.last + 1;
}

// Inverts a small symmetric positive definite matrix (row-major, n x n) in place by
// Gauss-Jordan elimination with partial pivoting; false when it is singular.
bool Invert(std::vector<double>& m, int n) {
    std::vector<double> inverse(static_cast<std::size_t>(n * n), 0.0);
    for (int i = 0; i < n; ++i) inverse[static_cast<std::size_t>(i * n + i)] = 1.0;
    const auto at = [n](std::vector<double>& a, int r, int c) -> double& {
        return a[static_cast<std::size_t>(r * n + c)];
    };
    for (int column = 0; column < n; ++column) {
        int pivot = column;
        for (int r = column + 1; r < n; ++r)
            if (std::fabs(at(m, r, column)) > std::fabs(at(m, pivot, column))) pivot = r;
        const double p = at(m, pivot, column);
        if (!(std::fabs(p) > 0.0) || !std::isfinite(p)) return false;
        if (pivot != column)
            for (int c = 0; c < n; ++c) {
                std::swap(at(m, pivot, c), at(m, column, c));
                std::swap(at(inverse, pivot, c), at(inverse, column, c));
            }
        for (int c = 0; c < n; ++c) {
            at(m, column, c) /= p;
            at(inverse, column, c) /= p;
        }
        for (int r = 0; r < n; ++r) {
            if (r == column) continue;
            const double factor = at(m, r, column);
            if (factor == 0.0) continue;
            for (int c = 0; c < n; ++c) {
                at(m, r, c) -= factor * at(m, column, c);
                at(inverse, r, c) -= factor * at(inverse, column, c);
            }
        }
    }
    m = std::move(inverse);
    return true;
}

// The points' order along the route: by segment, then position, then as given.
std::vector<std::size_t> RouteOrder(std::span<const FitPoint> points) {
    std::vector<std::size_t> order(points.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (points[a].segment != points[b].segment) return points[a].segment < points[b].segment;
        return points[a].routeM < points[b].routeM;
    });
    return order;
}

// sum over i, j of u_i u_j' rho_ij, where rho_ij = exp(-|s_i - s_j| / L) within a segment and 0
// across segments (L = 0: rho is the identity). u_i is zero but for its intercept and the slope
// (the last parameter). The exponential correlation is Markov along the route, so one forward
// sweep gives sum_{j <= i} rho_ij u_j for every i.
std::vector<double> CorrelatedMeat(std::span<const FitPoint> points,
                                   std::span<const double> weights,
                                   std::span<const std::size_t> order, int parameters,
                                   double lengthM) {
    const auto n = static_cast<std::size_t>(parameters);
    const int slope = parameters - 1;
    std::vector<double> meat(n * n, 0.0);
    std::vector<double> carried(n, 0.0);
    const FitPoint* previous = nullptr;
    for (const std::size_t i : order) {
        const FitPoint& p = points[i];
        double decay = 0.0;
        if (previous != nullptr && previous->segment == p.segment && lengthM > 0.0)
            decay = std::exp(-(p.routeM - previous->routeM) / lengthM);
        for (double& c : carried) c *= decay;
        const double w = weights[i];
        carried[static_cast<std::size_t>(p.intercept)] += w;
        carried[static_cast<std::size_t>(slope)] += w * p.logDistance;
        // u_i F_i' + F_i u_i' - u_i u_i'
        const int nonzero[2] = {p.intercept, slope};
        const double u[2] = {w, w * p.logDistance};
        for (int k = 0; k < 2; ++k) {
            const auto r = static_cast<std::size_t>(nonzero[k]);
            for (std::size_t c = 0; c < n; ++c) {
                meat[r * n + c] += u[k] * carried[c];
                meat[c * n + r] += u[k] * carried[c];
            }
        }
        for (int a = 0; a < 2; ++a)
            for (int b = 0; b < 2; ++b)
                meat[static_cast<std::size_t>(nonzero[a]) * n +
                     static_cast<std::size_t>(nonzero[b])] -= u[a] * u[b];
        previous = &p;
    }
    return meat;
}

// bread * meat * bread (all n x n, bread symmetric).
std::vector<double> Sandwich(const std::vector<double>& bread, const std::vector<double>& meat,
                             int parameters) {
    const auto n = static_cast<std::size_t>(parameters);
    std::vector<double> half(n * n, 0.0), out(n * n, 0.0);
    for (std::size_t r = 0; r < n; ++r)
        for (std::size_t k = 0; k < n; ++k)
            for (std::size_t c = 0; c < n; ++c)
                half[r * n + c] += bread[r * n + k] * meat[k * n + c];
    for (std::size_t r = 0; r < n; ++r)
        for (std::size_t k = 0; k < n; ++k)
            for (std::size_t c = 0; c < n; ++c)
                out[r * n + c] += half[r * n + k] * bread[k * n + c];
    return out;
}

double SquareRoot(double variance) {
    return variance > 0.0 ? std::sqrt(variance) : 0.0;
}

}  // namespace

std::vector<TenthBin> MergedTenthBins(std::span<const double> logDistances) {
    std::map<int, std::int64_t> counts;
    for (const double x : logDistances) ++counts[TenthOf(x)];
    std::vector<TenthBin> bins;
    for (const auto& [k, n] : counts) bins.push_back({k, k, n});
    if (bins.empty()) return bins;
    const int doubleMiddle = bins.front().first + bins.back().last + 1;
    while (bins.size() > 1) {
        std::size_t chosen = bins.size();
        int farthest = -1;
        for (std::size_t i = 0; i < bins.size(); ++i) {
            if (bins[i].points >= kMinPointsPerBin) continue;
            const int distance = std::abs(DoubleCentre(bins[i]) - doubleMiddle);
            if (distance > farthest) {
                farthest = distance;
                chosen = i;
            }
        }
        if (chosen == bins.size()) break;
        const int centre = DoubleCentre(bins[chosen]);
        std::size_t into;
        if (chosen == 0) {
            into = 1;
        } else if (chosen + 1 == bins.size()) {
            into = chosen - 1;
        } else if (centre < doubleMiddle) {
            into = chosen + 1;
        } else if (centre > doubleMiddle) {
            into = chosen - 1;
        } else {
            into = bins[chosen + 1].points < bins[chosen - 1].points ? chosen + 1 : chosen - 1;
        }
        TenthBin& target = bins[into];
        target.first = std::min(target.first, bins[chosen].first);
        target.last = std::max(target.last, bins[chosen].last);
        target.points += bins[chosen].points;
        bins.erase(bins.begin() + static_cast<std::ptrdiff_t>(chosen));
    }
    return bins;
}

std::vector<double> FitWeights(std::span<const FitPoint> points, FitWeighting weighting) {
    std::vector<double> weights(points.size(), 1.0);
    if (weighting == FitWeighting::Ordinary) return weights;
    std::map<int, std::vector<std::size_t>> byChannel;
    for (std::size_t i = 0; i < points.size(); ++i) byChannel[points[i].channel].push_back(i);
    std::vector<double> x;
    for (const auto& [channel, members] : byChannel) {
        x.clear();
        for (const std::size_t i : members) x.push_back(points[i].logDistance);
        const std::vector<TenthBin> bins = MergedTenthBins(x);
        for (const std::size_t i : members) {
            const int k = TenthOf(points[i].logDistance);
            const auto bin = std::find_if(bins.begin(), bins.end(), [k](const TenthBin& b) {
                return k >= b.first && k <= b.last;
            });
            weights[i] = 1.0 / static_cast<double>(bin->points);
        }
    }
    return weights;
}

ErrorFigures WeightedErrors(std::span<const double> errors, std::span<const double> weights) {
    ErrorFigures figures;
    double total = 0.0, sum = 0.0, squares = 0.0;
    for (std::size_t i = 0; i < errors.size(); ++i) {
        total += weights[i];
        sum += weights[i] * errors[i];
        squares += weights[i] * errors[i] * errors[i];
    }
    if (!(total > 0.0)) return figures;
    figures.mean = sum / total;
    figures.rms = std::sqrt(squares / total);
    double spread = 0.0;
    for (std::size_t i = 0; i < errors.size(); ++i) {
        const double d = errors[i] - figures.mean;
        spread += weights[i] * d * d;
    }
    figures.std = std::sqrt(spread / total);
    return figures;
}

double ResidualCorrelationLengthM(std::span<const FitPoint> points,
                                  std::span<const double> residuals) {
    if (points.empty()) return 0.0;
    double meanSquare = 0.0;
    for (const double e : residuals) meanSquare += e * e;
    meanSquare /= static_cast<double>(residuals.size());
    // Residuals of rounding alone (a line fitted exactly) have no correlation to speak of.
    if (!(meanSquare > 1e-18)) return 0.0;
    // Consecutive points of one channel within one segment.
    std::vector<double> gaps;
    double products = 0.0;
    std::map<int, std::size_t> last;  // channel -> its latest point in this segment
    int segment = std::numeric_limits<int>::min();
    for (const std::size_t i : RouteOrder(points)) {
        if (points[i].segment != segment) {
            segment = points[i].segment;
            last.clear();
        }
        const auto found = last.find(points[i].channel);
        if (found != last.end()) {
            gaps.push_back(points[i].routeM - points[found->second].routeM);
            products += residuals[i] * residuals[found->second];
        }
        last[points[i].channel] = i;
    }
    if (gaps.empty()) return 0.0;
    const double target = products / meanSquare;
    const auto expected = [&](double lengthM) {
        double sum = 0.0;
        for (const double gap : gaps) sum += gap > 0.0 ? std::exp(-gap / lengthM) : 1.0;
        return sum;
    };
    if (target >= static_cast<double>(gaps.size())) return kMaxCorrelationM;
    double low = 1e-3, high = kMaxCorrelationM;
    if (target <= expected(low)) return 0.0;
    if (target >= expected(high)) return kMaxCorrelationM;
    // expected() rises with the length: bisect on its logarithm.
    for (int step = 0; step < 200 && high / low > 1.0 + 1e-12; ++step) {
        const double middle = std::sqrt(low * high);
        (expected(middle) < target ? low : high) = middle;
    }
    return std::sqrt(low * high);
}

std::optional<LineFit> FitLine(std::span<const FitPoint> points, int intercepts,
                               FitWeighting weighting, std::string* problem) {
    const auto fail = [&](std::string why) -> std::optional<LineFit> {
        if (problem != nullptr) *problem = std::move(why);
        return std::nullopt;
    };
    const auto count = static_cast<std::int64_t>(points.size());
    if (intercepts < 1 || count < intercepts + 2)
        return fail("too few points for a fit (" + std::to_string(count) + ")");
    const auto groups = static_cast<std::size_t>(intercepts);
    LineFit fit;
    fit.points = count;
    fit.weights = FitWeights(points, weighting);

    // Weighted means per intercept group, then the centred sums: the slope and intercepts.
    std::vector<double> total(groups, 0.0), meanX(groups, 0.0), meanY(groups, 0.0);
    std::vector<double> groupNearest(groups, std::numeric_limits<double>::infinity()),
        groupFarthest(groups, -std::numeric_limits<double>::infinity());
    double nearest = points.front().logDistance, farthest = nearest;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const FitPoint& p = points[i];
        if (p.intercept < 0 || p.intercept >= intercepts)
            return fail("a point names an intercept the fit does not have");
        const auto g = static_cast<std::size_t>(p.intercept);
        total[g] += fit.weights[i];
        meanX[g] += fit.weights[i] * p.logDistance;
        meanY[g] += fit.weights[i] * p.value;
        nearest = std::min(nearest, p.logDistance);
        farthest = std::max(farthest, p.logDistance);
        groupNearest[g] = std::min(groupNearest[g], p.logDistance);
        groupFarthest[g] = std::max(groupFarthest[g], p.logDistance);
    }
    bool varies = false;
    for (std::size_t g = 0; g < groups; ++g) varies = varies || groupFarthest[g] > groupNearest[g];
    for (std::size_t g = 0; g < groups; ++g) {
        if (!(total[g] > 0.0)) return fail("a channel of the fit has no points");
        meanX[g] /= total[g];
        meanY[g] /= total[g];
    }
    double sxx = 0.0, sxy = 0.0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const auto g = static_cast<std::size_t>(points[i].intercept);
        const double dx = points[i].logDistance - meanX[g];
        sxx += fit.weights[i] * dx * dx;
        sxy += fit.weights[i] * dx * (points[i].value - meanY[g]);
    }
    if (!varies || !(sxx > 0.0)) return fail("all points lie at one distance");
    fit.slope = sxy / sxx;
    fit.intercepts.resize(groups);
    for (std::size_t g = 0; g < groups; ++g) fit.intercepts[g] = meanY[g] - fit.slope * meanX[g];
    fit.spanDecades = farthest - nearest;

    // Residuals and their weighted figures.
    fit.residuals.resize(points.size());
    double grandTotal = 0.0, grandMean = 0.0, squares = 0.0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const FitPoint& p = points[i];
        fit.residuals[i] = p.value - (fit.intercepts[static_cast<std::size_t>(p.intercept)] +
                                      fit.slope * p.logDistance);
        grandTotal += fit.weights[i];
        grandMean += fit.weights[i] * p.value;
        squares += fit.residuals[i] * fit.residuals[i];
    }
    grandMean /= grandTotal;
    fit.errors = WeightedErrors(fit.residuals, fit.weights);
    double spread = 0.0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double d = points[i].value - grandMean;
        spread += fit.weights[i] * d * d;
    }
    fit.r2 = spread > 0.0 ? 1.0 - fit.errors.rms * fit.errors.rms * grandTotal / spread
                          : std::numeric_limits<double>::quiet_NaN();

    // Standard errors. The weights balance the distances, they do not describe the errors,
    // which share one variance: cov = (X'WX)^-1 X'W C W X (X'WX)^-1 with C = sigma^2 times the
    // residuals' correlation along the route.
    const int parameters = intercepts + 1;
    const auto n = static_cast<std::size_t>(parameters);
    std::vector<double> bread(n * n, 0.0);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const auto g = static_cast<std::size_t>(points[i].intercept);
        const double w = fit.weights[i], x = points[i].logDistance;
        bread[g * n + g] += w;
        bread[g * n + n - 1] += w * x;
        bread[(n - 1) * n + g] += w * x;
        bread[(n - 1) * n + n - 1] += w * x * x;
    }
    if (!Invert(bread, parameters)) return fail("the fit's equations are singular");
    const double variance = squares / static_cast<double>(count - parameters);
    const std::vector<std::size_t> order = RouteOrder(points);
    fit.correlationLengthM = ResidualCorrelationLengthM(points, fit.residuals);
    const std::vector<double> naive =
        Sandwich(bread, CorrelatedMeat(points, fit.weights, order, parameters, 0.0), parameters);
    const std::vector<double> correlated =
        fit.correlationLengthM > 0.0 ? Sandwich(bread,
                                                CorrelatedMeat(points, fit.weights, order,
                                                               parameters, fit.correlationLengthM),
                                                parameters)
                                     : naive;
    fit.interceptSe.resize(groups);
    fit.naiveInterceptSe.resize(groups);
    for (std::size_t g = 0; g < groups; ++g) {
        fit.interceptSe[g] = SquareRoot(variance * correlated[g * n + g]);
        fit.naiveInterceptSe[g] = SquareRoot(variance * naive[g * n + g]);
    }
    const double slopeVariance = correlated[n * n - 1], naiveSlopeVariance = naive[n * n - 1];
    fit.slopeSe = SquareRoot(variance * slopeVariance);
    fit.naiveSlopeSe = SquareRoot(variance * naiveSlopeVariance);
    fit.effectivePoints = slopeVariance > 0.0
                              ? static_cast<double>(count) * naiveSlopeVariance / slopeVariance
                              : static_cast<double>(count);
    return fit;
}

}  // namespace varistrum
