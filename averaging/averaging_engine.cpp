// SPDX-License-Identifier: GPL-3.0-or-later
// The 40-lambda engine: places measured levels along the route and averages them per stretch.
#include "averaging/averaging_engine.h"

#include <cmath>
#include <limits>

namespace varistrum {

namespace {

constexpr double kSpeedOfLight = 300000000.0;  // m/s

// Out-of-range and NaN levels would make the plain conversion undefined.
std::int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

void AveragingEngine::StartAveraging(double frequencyMHz, double spacingInWavelengths,
                                     double binInWavelengths) {
    // A zero, negative or non-finite frequency has no wavelength: keep the engine as it is.
    if (!std::isfinite(frequencyMHz) || frequencyMHz <= 0.0) return;
    const double wavelength = kSpeedOfLight / (frequencyMHz * 1000000.0);
    if (!std::isfinite(wavelength)) return;  // a frequency so small the wavelength overflows

    sampleSpacing_ = DistanceThreshold(spacingInWavelengths * wavelength);
    binLength_ = DistanceThreshold(binInWavelengths * wavelength);
    firstPosition_ = true;
    active_ = true;
    pendingValues_.Clear();
    locatedSamples_.Clear();
    binSamples_.Clear();
    averagedPoints_.Clear();
}

int AveragingEngine::AddValue(double value) {
    pendingValues_.Push(TruncateToInt32(value));
    return static_cast<int>(pendingValues_.Size());
}

bool AveragingEngine::AddPosition(double latitude, double longitude) {
    const Position position{latitude, longitude};
    if (firstPosition_) {
        previousPosition_ = position;
        binStart_ = RoutePointAt(latitude, longitude);
        lastSample_ = binStart_;
        firstPosition_ = false;
    } else {
        previousPosition_ = currentPosition_;
    }
    currentPosition_ = position;

    // Spread the values evenly over the last segment: the first on its start, none on its end.
    const std::size_t pending = pendingValues_.Size();
    const double n = static_cast<double>(pending);
    for (std::size_t i = 0; i < pending; ++i) {
        const double step = static_cast<double>(i);
        LocatedSample sample;
        sample.latitude = (currentPosition_.latitude - previousPosition_.latitude) / n * step +
                          previousPosition_.latitude;
        sample.longitude = (currentPosition_.longitude - previousPosition_.longitude) / n * step +
                           previousPosition_.longitude;
        sample.value = static_cast<double>(pendingValues_.Pop());
        locatedSamples_.Push(sample);
    }

    bool binClosed = false;
    const std::size_t located = locatedSamples_.Size();
    for (std::size_t i = 0; i < located; ++i) {
        const LocatedSample sample = locatedSamples_.Pop();
        const RoutePoint at = RoutePointAt(sample.latitude, sample.longitude);
        if (binLength_.Reached(binStart_, at)) {
            CloseBin();
            binStart_ = at;
            lastSample_ = at;
            binSamples_.Push(sample);
            binClosed = true;
        }
        if (sampleSpacing_.Reached(lastSample_, at)) {
            binSamples_.Push(sample);
            lastSample_ = at;
        }
    }
    return binClosed;
}

void AveragingEngine::CloseBin() {
    if (binSamples_.Empty()) return;
    const double count = static_cast<double>(binSamples_.Size());
    const LocatedSample first = binSamples_.Pop();
    LocatedSample last = first;
    double sum = 0.0 + first.value;
    while (!binSamples_.Empty()) {
        last = binSamples_.Pop();
        sum += last.value;
    }
    // Mean of the dBm values (no conversion to power) at the midpoint of first and last.
    LocatedSample average;
    average.latitude = (first.latitude + last.latitude) * 0.5;
    average.longitude = (first.longitude + last.longitude) * 0.5;
    average.value = sum / count;
    averagedPoints_.Push(average);
}

int AveragingEngine::NextAveragedPoint(double& latitude, double& longitude, double& value) {
    if (averagedPoints_.Empty()) {
        latitude = 0.0;
        longitude = 0.0;
        value = -120.0;
        return -1;
    }
    const LocatedSample point = averagedPoints_.Pop();
    latitude = point.latitude;
    longitude = point.longitude;
    value = point.value;
    return 0;
}

double AveragingEngine::GreatCircleDistance(double lat1, double lon1, double lat2, double lon2) {
    return GreatCircleMetres(RoutePointAt(lat1, lon1), RoutePointAt(lat2, lon2));
}

void AveragingEngine::Reset() {
    active_ = false;
    firstPosition_ = true;
    sampleSpacing_ = DistanceThreshold();
    binLength_ = DistanceThreshold();
    binStart_ = RoutePoint{};
    lastSample_ = RoutePoint{};
    previousPosition_ = Position{};
    currentPosition_ = Position{};
    pendingValues_.Clear();
    locatedSamples_.Clear();
    binSamples_.Clear();
    averagedPoints_.Clear();
}

}  // namespace varistrum
