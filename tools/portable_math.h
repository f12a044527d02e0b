// SPDX-License-Identifier: GPL-3.0-or-later
// Elementary functions built from + - * / only, so simulated files are identical on every
// platform and standard library (the C library's log/sin may differ in the last bit).
#pragma once

namespace varistrum::sim {

inline constexpr double kPi = 3.14159265358979323846;

double Ln(double x);     // x > 0
double Log10(double x);  // x > 0
double Sin(double x);
double Cos(double x);
double Atan2(double y, double x);  // radians in (-pi, pi]
double RoundHalfUp(double x);      // floor(x + 0.5)

}  // namespace varistrum::sim
