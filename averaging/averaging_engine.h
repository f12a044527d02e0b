// SPDX-License-Identifier: GPL-3.0-or-later
// The 40-lambda engine: places measured levels along the route and averages them per stretch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "averaging/great_circle.h"

namespace varistrum {

struct LocatedSample {
    double latitude = 0.0;   // decimal degrees
    double longitude = 0.0;  // decimal degrees
    double value = 0.0;      // dBm
};

class AveragingEngine {
  public:
    // Spacing and bin length are given in wavelengths of the carrier frequency.
    void StartAveraging(double frequencyMHz, double spacingInWavelengths, double binInWavelengths);
    // Returns the number of values waiting for the next position.
    int AddValue(double value);
    // Returns true when at least one bin was closed; fetch its average with NextAveragedPoint.
    bool AddPosition(double latitude, double longitude);
    // 0 when an average was delivered; -1 with (0.0, 0.0, -120.0) when none is waiting.
    int NextAveragedPoint(double& latitude, double& longitude, double& value);
    // Haversine distance in metres between two points given in decimal degrees.
    static double GreatCircleDistance(double lat1, double lon1, double lat2, double lon2);
    // Back to the state of a freshly constructed engine, so a new file starts from nothing.
    void Reset();
    bool IsActive() const { return active_; }
    std::size_t PendingValueCount() const { return pendingValues_.Size(); }

  private:
    struct Position {
        double latitude = 0.0;
        double longitude = 0.0;
    };

    // A FIFO over a vector that keeps its storage, so steady use does not allocate.
    template <typename T>
    class Fifo {
      public:
        void Push(const T& item) {
            // Drop consumed items before the vector would have to grow.
            if (head_ != 0 && items_.size() == items_.capacity()) {
                items_.erase(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(head_));
                head_ = 0;
            }
            items_.push_back(item);
        }
        T Pop() {
            T item = items_[head_++];
            if (head_ == items_.size()) Clear();
            return item;
        }
        bool Empty() const { return head_ == items_.size(); }
        std::size_t Size() const { return items_.size() - head_; }
        void Clear() {
            items_.clear();
            head_ = 0;
        }

      private:
        std::vector<T> items_;
        std::size_t head_ = 0;
    };

    void CloseBin();

    bool active_ = false;
    bool firstPosition_ = true;
    DistanceThreshold sampleSpacing_;
    DistanceThreshold binLength_;
    RoutePoint binStart_;
    RoutePoint lastSample_;
    Position previousPosition_;
    Position currentPosition_;
    Fifo<std::int32_t> pendingValues_;    // values since the last position
    Fifo<LocatedSample> locatedSamples_;  // pending values once placed; empty between calls
    Fifo<LocatedSample> binSamples_;      // samples of the current bin, in route order
    Fifo<LocatedSample> averagedPoints_;  // finished averages, oldest first
};

}  // namespace varistrum
