// SPDX-License-Identifier: GPL-3.0-or-later
// The 40-lambda engine: places measured levels along the route and averages them per stretch.
#include "averaging/averaging_engine.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace varistrum {

namespace {

constexpr double kSpeedOfLight = 300000000.0;  // m/s
// Samples passed over at once at most (keeps the index arithmetic far from overflow).
constexpr double kMaxSkip = 1e12;

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

std::int64_t BinSizeCounts::Bins() const {
    std::int64_t bins = 0;
    for (const auto& [size, count] : bySize_) bins += count;
    return bins;
}

double MilliwattsOf(double dbm) {
    return std::pow(10.0, dbm / 10.0);
}

double PowerMeanDbm(double milliwatts) {
    // Rounded to 9 decimals, so that equal samples give back exactly their own level.
    return std::round(10.0 * std::log10(milliwatts) * 1e9) / 1e9;
}

void AveragingEngine::StartAveraging(double frequencyMHz, double spacingInWavelengths,
                                     double binInWavelengths) {
    // A zero, negative or non-finite frequency has no wavelength: keep the engine as it is.
    const double wavelength = WavelengthMetres(frequencyMHz);
    if (wavelength == 0.0) return;

    sampleSpacing_ = DistanceThreshold(spacingInWavelengths * wavelength);
    binLength_ = DistanceThreshold(binInWavelengths * wavelength);
    firstPosition_ = true;
    active_ = true;
    pendingValues_.clear();
    countedValues_ = 0;
    bin_ = Bin{};
    averagedPoints_.clear();
    nextAveragedPoint_ = 0;
}

double AveragingEngine::WavelengthMetres(double frequencyMHz) {
    // A zero, negative or non-finite frequency has no wavelength.
    if (!std::isfinite(frequencyMHz) || frequencyMHz <= 0.0) return 0.0;
    const double wavelength = kSpeedOfLight / (frequencyMHz * 1000000.0);
    // A frequency so small the wavelength overflows.
    return std::isfinite(wavelength) ? wavelength : 0.0;
}

int AveragingEngine::AddValue(double value) {
    if (sizesOnly_) {
        ++countedValues_;
    } else {
        pendingValues_.push_back(TruncateToInt32(value));
    }
    return static_cast<int>(PendingValueCount());
}

void AveragingEngine::AddLevels(const std::int8_t* levels, std::size_t count) {
    if (sizesOnly_) {
        countedValues_ += count;
    } else {
        pendingValues_.Append(levels, count);
    }
}

bool AveragingEngine::Reached(const DistanceThreshold& threshold, Place& anchor, Place& sample,
                              std::size_t index, std::size_t& unreachedBefore) const {
    if (index < unreachedBefore) return false;
    const double estimate = nearby::Haversine(anchor.point, sample.point.latitude,
                                              sample.point.longitude, sample.point.cosLatitude);
    switch (threshold.Decide(estimate)) {
        case ThresholdAnswer::No: {
            // Each later sample lies at most stepAngle_ further away (triangle inequality),
            // so the samples until the threshold's angle is used up cannot reach it.
            const double room = threshold.UnreachedAngle() - nearby::AngleAbove(estimate);
            if (room > 0.0) {
                // The margins of both angles cover the rounding of the product.
                const double steps =
                    stepAngle_ > 0.0 ? std::floor(room * inverseStepAngle_) : kMaxSkip;
                unreachedBefore = index + 1 + static_cast<std::size_t>(std::min(steps, kMaxSkip));
            }
            return false;
        }
        case ThresholdAnswer::Yes:
            return true;
        case ThresholdAnswer::Unsure:
            break;
    }
    return threshold.Reached(anchor.Exact(), sample.Exact());
}

bool AveragingEngine::AddPosition(double latitude, double longitude) {
    const Position position{latitude, longitude};
    if (firstPosition_) {
        previousPosition_ = position;
        binStart_ = Place{RoutePointAt(latitude, longitude), true};
        lastSample_ = binStart_;
        firstPosition_ = false;
    } else {
        previousPosition_ = currentPosition_;
    }
    currentPosition_ = position;

    // Spread the values evenly over the last segment: the first on its start, none on its end.
    const std::size_t pending = PendingValueCount();
    if (pending == 0) return false;
    const double n = static_cast<double>(pending);
    const double latitudeStep = (currentPosition_.latitude - previousPosition_.latitude) / n;
    const double longitudeStep = (currentPosition_.longitude - previousPosition_.longitude) / n;
    cosines_.SetReferenceLatitude(previousPosition_.latitude);
    // Between neighbouring samples; the larger of the end cosines bounds all between, unless
    // the segment crosses the equator (or a cosine is unknown: then 1).
    const double startCos = cosines_.CosLatitude(previousPosition_.latitude);
    const double endCos = cosines_.CosLatitude(currentPosition_.latitude);
    const bool oneHemisphere =
        (previousPosition_.latitude > 0.0) == (currentPosition_.latitude > 0.0);
    const double cosBound = oneHemisphere && startCos <= 1.0 && endCos <= 1.0
                                ? std::max(startCos, endCos) * (1.0 + 1e-9)
                                : 1.0;
    // Far outside the usual ranges the rounding of coordinates outgrows the bound's margin.
    const auto usual = [](const Position& p) {
        return std::fabs(p.latitude) <= 90.0 && std::fabs(p.longitude) <= 360.0;
    };
    stepAngle_ = usual(previousPosition_) && usual(currentPosition_)
                     ? nearby::AngleBoundOfDegrees(latitudeStep, longitudeStep, cosBound)
                     : std::numeric_limits<double>::infinity();
    inverseStepAngle_ = 1.0 / stepAngle_;
    binUnreachedBefore_ = 0;
    spacingUnreachedBefore_ = 0;
    bool binClosed = false;
    // Samples that reach neither threshold change nothing: they are passed over.
    for (std::size_t i = 0; i < pending;
         i = std::max(i + 1, std::min(binUnreachedBefore_, spacingUnreachedBefore_))) {
        const double step = static_cast<double>(i);
        Place at;
        at.point.latitude = latitudeStep * step + previousPosition_.latitude;
        at.point.longitude = longitudeStep * step + previousPosition_.longitude;
        at.point.cosLatitude = cosines_.CosLatitude(at.point.latitude);
        at.exact = false;
        if (std::isnan(at.point.cosLatitude)) at.Exact();
        const double value = sizesOnly_ ? 0.0 : static_cast<double>(pendingValues_[i]);
        if (PlaceSample(at, value, i)) binClosed = true;
    }
    pendingValues_.clear();
    countedValues_ = 0;
    return binClosed;
}

bool AveragingEngine::PlaceSample(Place& at, double value, std::size_t index) {
    bool binClosed = false;
    if (Reached(binLength_, binStart_, at, index, binUnreachedBefore_)) {
        CloseBin();
        binStart_ = at;
        lastSample_ = at;
        binUnreachedBefore_ = 0;
        spacingUnreachedBefore_ = 0;
        AddToBin(at, value);
        binClosed = true;
    }
    if (Reached(sampleSpacing_, lastSample_, at, index, spacingUnreachedBefore_)) {
        AddToBin(at, value);
        lastSample_ = at;
        spacingUnreachedBefore_ = 0;
    }
    return binClosed;
}

void AveragingEngine::AddToBin(const Place& at, double value) {
    const LocatedSample sample{at.point.latitude, at.point.longitude, value};
    if (bin_.count == 0) {
        bin_.first = sample;
        bin_.sum = 0.0;
        bin_.powerSum = 0.0;
        bin_.minimum = bin_.maximum = value;
    }
    bin_.minimum = std::min(bin_.minimum, value);
    bin_.maximum = std::max(bin_.maximum, value);
    bin_.last = sample;
    bin_.sum += value;
    if (linearPower_) bin_.powerSum += MilliwattsOf(value);
    ++bin_.count;
}

void AveragingEngine::CloseBin() {
    if (bin_.count == 0) return;
    // Mean of the dBm values (or of their power) at the midpoint of first and last.
    AveragedPoint average;
    average.latitude = (bin_.first.latitude + bin_.last.latitude) * 0.5;
    average.longitude = (bin_.first.longitude + bin_.last.longitude) * 0.5;
    const double count = static_cast<double>(bin_.count);
    average.value = linearPower_ ? PowerMeanDbm(bin_.powerSum / count) : bin_.sum / count;
    average.samples = static_cast<std::int64_t>(bin_.count);
    average.minimumDbm = bin_.minimum;
    average.maximumDbm = bin_.maximum;
    if (!sizesOnly_) averagedPoints_.push_back(average);
    if (binSizes_ != nullptr) binSizes_->Add(static_cast<std::uint32_t>(bin_.count));
    bin_.count = 0;
}

int AveragingEngine::NextAveragedPoint(double& latitude, double& longitude, double& value) {
    AveragedPoint point;
    if (!NextAveragedPoint(point)) {
        latitude = 0.0;
        longitude = 0.0;
        value = -120.0;
        return -1;
    }
    latitude = point.latitude;
    longitude = point.longitude;
    value = point.value;
    return 0;
}

bool AveragingEngine::NextAveragedPoint(AveragedPoint& point) {
    if (nextAveragedPoint_ >= averagedPoints_.size()) return false;
    point = averagedPoints_[nextAveragedPoint_++];
    if (nextAveragedPoint_ == averagedPoints_.size()) {  // all delivered: start over
        averagedPoints_.clear();
        nextAveragedPoint_ = 0;
    }
    return true;
}

double AveragingEngine::GreatCircleDistance(double lat1, double lon1, double lat2, double lon2) {
    return GreatCircleMetres(RoutePointAt(lat1, lon1), RoutePointAt(lat2, lon2));
}

void AveragingEngine::Reset() {
    active_ = false;
    firstPosition_ = true;
    sampleSpacing_ = DistanceThreshold();
    binLength_ = DistanceThreshold();
    binStart_ = Place{};
    lastSample_ = Place{};
    previousPosition_ = Position{};
    currentPosition_ = Position{};
    pendingValues_.clear();
    countedValues_ = 0;
    bin_ = Bin{};
    averagedPoints_.clear();
    nextAveragedPoint_ = 0;
}

}  // namespace varistrum
