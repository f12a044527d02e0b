// SPDX-License-Identifier: GPL-3.0-or-later
// What the benchmark programs print of repeated runs: medians, ranges and target verdicts.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace varistrum::bench {

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// "(runs min-max s)", to show how noisy the machine was.
inline std::string Range(const std::vector<double>& values) {
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    char text[64];
    std::snprintf(text, sizeof text, "(runs %.3f-%.3f s)", *low, *high);
    return text;
}

inline const char* Verdict(bool met) {
    return met ? "met" : "NOT MET";
}

}  // namespace varistrum::bench
