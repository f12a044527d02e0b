// SPDX-License-Identifier: GPL-3.0-or-later
// The 40-lambda engine: places measured levels along the route and averages them per stretch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "averaging/great_circle.h"
#include "base/spill_array.h"

namespace varistrum {

// 40-lambda averaging: a sample every 0.4 wavelengths of the way, averaged over bins of 40
// wavelengths.
inline constexpr double kLambdaSampleSpacing = 0.4;
inline constexpr double kLambdaBinLength = 40;

// A level in dBm as power in milliwatts, and a mean power back in dBm (to 9 decimals).
double MilliwattsOf(double dbm);
double PowerMeanDbm(double milliwatts);

// How many closed bins held each number of samples: the bins' sizes in memory that grows with
// the number of different sizes only (a drive of n samples has fewer than sqrt(2n) of them).
class BinSizeCounts {
  public:
    void Add(std::uint32_t size) { ++bySize_[size]; }
    std::int64_t Bins() const;
    // Sizes, smallest first, with the number of bins of each.
    const std::map<std::uint32_t, std::int64_t>& BySize() const { return bySize_; }

  private:
    std::map<std::uint32_t, std::int64_t> bySize_;
};

struct LocatedSample {
    double latitude = 0.0;   // decimal degrees
    double longitude = 0.0;  // decimal degrees
    double value = 0.0;      // dBm
};

// A closed bin's average at the midpoint of its first and last sample, with the number of
// samples it holds and the lowest and highest of them.
struct AveragedPoint {
    double latitude = 0.0;
    double longitude = 0.0;
    double value = 0.0;  // dBm: the mean of the samples' dBm values, or of their power
    std::int64_t samples = 0;
    double minimumDbm = 0.0;
    double maximumDbm = 0.0;
};

class AveragingEngine {
  public:
    // Spacing and bin length are given in wavelengths of the carrier frequency.
    void StartAveraging(double frequencyMHz, double spacingInWavelengths, double binInWavelengths);
    // Returns the number of values waiting for the next position.
    int AddValue(double value);
    // The levels of one record, as AddValue of each in turn.
    void AddLevels(const std::int8_t* levels, std::size_t count);
    // Returns true when at least one bin was closed; fetch its average with NextAveragedPoint.
    bool AddPosition(double latitude, double longitude);
    // 0 when an average was delivered; -1 with (0.0, 0.0, -120.0) when none is waiting.
    int NextAveragedPoint(double& latitude, double& longitude, double& value);
    // The same with the bin's sample count, minimum and maximum; false when none is waiting.
    bool NextAveragedPoint(AveragedPoint& point);
    // The wavelength (m) the engine measures its spacing and bins in; 0 for no frequency.
    static double WavelengthMetres(double frequencyMHz);
    // Haversine distance in metres between two points given in decimal degrees.
    static double GreatCircleDistance(double lat1, double lon1, double lat2, double lon2);
    // Back to the state of a freshly constructed engine, so a new file starts from nothing.
    void Reset();
    bool IsActive() const { return active_; }
    // Average the samples' power in milliwatts instead of their dBm values (a setting: kept
    // by StartAveraging and Reset).
    void SetLinearPower(bool on) { linearPower_ = on; }
    bool LinearPower() const { return linearPower_; }
    // Every closed bin counts its samples into `sizes` (nullptr: none are counted).
    void RecordBinSizes(BinSizeCounts* sizes) { binSizes_ = sizes; }
    // Only the bins' sizes are wanted: values are counted, not kept, and no averages are made,
    // so the engine needs no memory for the values however many wait for a position (a
    // setting: kept by StartAveraging and Reset).
    void SetSizesOnly(bool on) { sizesOnly_ = on; }
    std::size_t PendingValueCount() const {
        return sizesOnly_ ? countedValues_ : pendingValues_.size();
    }

  private:
    struct Position {
        double latitude = 0.0;
        double longitude = 0.0;
    };

    // The samples of the current bin: only what its average needs.
    struct Bin {
        std::size_t count = 0;
        LocatedSample first;
        LocatedSample last;
        double sum = 0.0;
        double powerSum = 0.0;  // mW, when averaging in linear power
        double minimum = 0.0, maximum = 0.0;
    };

    // A route point whose latitude cosine may be an estimate; the exact one is worked out
    // only when a distance has to be computed in full.
    struct Place {
        RoutePoint point;
        bool exact = true;

        const RoutePoint& Exact() {
            if (!exact) {
                point = RoutePointAt(point.latitude, point.longitude);
                exact = true;
            }
            return point;
        }
    };

    // Whether a threshold is reached between an anchor and the sample at `index` of the
    // segment. `unreachedBefore` is the first sample that may reach it from this anchor; a
    // sample found far from it moves that index on.
    bool Reached(const DistanceThreshold& threshold, Place& anchor, Place& sample,
                 std::size_t index, std::size_t& unreachedBefore) const;
    // Bin and spacing decisions of one sample, in route order; true when it closed a bin.
    bool PlaceSample(Place& at, double value, std::size_t index);
    void AddToBin(const Place& at, double value);
    void CloseBin();

    bool active_ = false;
    bool firstPosition_ = true;
    bool linearPower_ = false;
    bool sizesOnly_ = false;
    std::size_t countedValues_ = 0;  // waiting for a position, when only sizes are wanted
    BinSizeCounts* binSizes_ = nullptr;
    DistanceThreshold sampleSpacing_;
    DistanceThreshold binLength_;
    Place binStart_;
    Place lastSample_;
    Position previousPosition_;
    Position currentPosition_;
    nearby::Cosines cosines_;  // of the latitudes near the current segment
    // Within a segment: the angle between neighbouring samples at most, and the first samples
    // that may reach the bin length and the spacing from their anchors.
    double stepAngle_ = 0.0;
    double inverseStepAngle_ = 0.0;
    std::size_t binUnreachedBefore_ = 0;
    std::size_t spacingUnreachedBefore_ = 0;
    SpillArray<std::int32_t> pendingValues_;  // values since the last position
    Bin bin_;
    SpillArray<AveragedPoint> averagedPoints_;  // finished averages, oldest first
    std::size_t nextAveragedPoint_ = 0;         // the first not yet delivered
};

}  // namespace varistrum
