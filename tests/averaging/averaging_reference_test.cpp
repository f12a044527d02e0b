// SPDX-License-Identifier: GPL-3.0-or-later
// The 40-lambda engine gives exactly the averages of the plain per-sample algorithm: every
// sample placed, both distances computed in full, every bin sample kept; and each bin's count,
// lowest and highest sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "averaging/averaging_engine.h"

namespace varistrum {
namespace {

// The algorithm as written down first, one haversine and arctangent per sample and distance.
class ReferenceEngine {
  public:
    ReferenceEngine(double frequencyMHz, double spacing, double bin) {
        const double wavelength = 300000000.0 / (frequencyMHz * 1000000.0);
        spacing_ = spacing * wavelength;
        bin_ = bin * wavelength;
    }
    void AddValue(double value) {
        pending_.push_back(static_cast<double>(static_cast<std::int32_t>(value)));
    }
    void AddPosition(double latitude, double longitude) {
        if (first_) {
            previous_ = {latitude, longitude, 0};
            binStart_ = RoutePointAt(latitude, longitude);
            lastSample_ = binStart_;
            first_ = false;
        } else {
            previous_ = current_;
        }
        current_ = {latitude, longitude, 0};
        const double n = static_cast<double>(pending_.size());
        for (std::size_t i = 0; i < pending_.size(); ++i) {
            const double step = static_cast<double>(i);
            LocatedSample s;
            s.latitude = (current_.latitude - previous_.latitude) / n * step + previous_.latitude;
            s.longitude =
                (current_.longitude - previous_.longitude) / n * step + previous_.longitude;
            s.value = pending_[i];
            const RoutePoint at = RoutePointAt(s.latitude, s.longitude);
            if (GreatCircleMetres(binStart_, at) >= bin_) {
                CloseBin();
                binStart_ = at;
                lastSample_ = at;
                binSamples_.push_back(s);
            }
            if (GreatCircleMetres(lastSample_, at) >= spacing_) {
                binSamples_.push_back(s);
                lastSample_ = at;
            }
        }
        pending_.clear();
    }
    std::vector<AveragedPoint> averages;

  private:
    void CloseBin() {
        if (binSamples_.empty()) return;
        double sum = 0.0;
        double minimum = binSamples_.front().value, maximum = minimum;
        for (const LocatedSample& s : binSamples_) {
            sum += s.value;
            minimum = std::min(minimum, s.value);
            maximum = std::max(maximum, s.value);
        }
        averages.push_back({(binSamples_.front().latitude + binSamples_.back().latitude) * 0.5,
                            (binSamples_.front().longitude + binSamples_.back().longitude) * 0.5,
                            sum / static_cast<double>(binSamples_.size()),
                            static_cast<std::int64_t>(binSamples_.size()), minimum, maximum});
        binSamples_.clear();
    }

    double spacing_ = 0, bin_ = 0;
    bool first_ = true;
    LocatedSample previous_, current_;
    RoutePoint binStart_, lastSample_;
    std::vector<double> pending_;
    std::vector<LocatedSample> binSamples_;
};

struct Drive {
    const char* name;
    double frequencyMHz;
    double latitude, longitude;      // start, degrees
    double northMetres, eastMetres;  // per fix
    double jitterMetres;             // of every fix
    int samplesPerFix;               // at most; each fix draws 0 to this many
    int fixes;
};

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void ExpectAveragesOfEveryDriveEqualTheReference() {
    constexpr double kDegreesPerMetre = 180.0 / (std::numbers::pi * 6378137.0);
    const Drive drives[] = {
        {"city drive north", 851.0125, 51.48, 7.21, 10, 0, 0.8, 1000, 400},
        {"city drive east", 851.0125, 51.48, 7.21, 0, 10, 0.8, 1000, 400},
        {"diagonal, few samples", 890.1, -33.9, 151.2, 7, -7, 0.3, 9, 2000},
        {"parked with jitter", 851.0125, 48.1, 11.6, 0, 0, 0.8, 1000, 200},
        {"parked exactly", 851.0125, 48.1, 11.6, 0, 0, 0, 300, 100},
        {"crawling", 1900.0, 40.4, -3.7, 0.05, 0.02, 0, 1000, 300},
        {"motorway, 1 GHz", 1000.0, 60.1, 24.9, 35, 5, 0.5, 100, 1000},
        {"across the equator", 851.0, -0.0002, 30.0, 9, 1, 0.2, 500, 400},
        {"across the date line", 851.0, 10.0, 179.9995, 2, 40, 0, 400, 200},
        {"near the pole", 851.0, 89.9993, 0.0, 3, 20, 0, 400, 200},
        {"jumps of 50 km", 851.0, 45.0, 5.0, 50000, -30000, 0, 50, 100},
        {"long wavelength (1 MHz)", 1.0, 45.0, 5.0, 30, 30, 1, 200, 300},
        {"very long wavelength", 0.001, 45.0, 5.0, 3000, 3000, 1, 20, 100},
        {"tiny wavelength", 1e12, 45.0, 5.0, 0.001, 0.001, 0, 100, 100},
        // Damaged positions: beyond the pole, longitudes far outside the circle.
        {"beyond the pole", 851.0, 90.0004, 10.0, 2, 3, 0.5, 400, 200},
        {"longitude 100000 degrees", 851.0, 45.0, 100000.0, 3, 9, 0.5, 400, 200},
    };
    for (const Drive& d : drives) {
        SCOPED_TRACE(d.name);
        std::mt19937_64 random(7);
        std::uniform_real_distribution<double> jitter(-d.jitterMetres, d.jitterMetres);
        std::uniform_int_distribution<int> samples(0, d.samplesPerFix);
        std::uniform_int_distribution<int> level(-128, 127);
        AveragingEngine engine;
        engine.StartAveraging(d.frequencyMHz, 0.4, 40);
        ReferenceEngine reference(d.frequencyMHz, 0.4, 40);
        std::vector<AveragedPoint> got;
        std::vector<std::int8_t> record;
        for (int fix = 0; fix < d.fixes; ++fix) {
            // Levels arrive in records of up to 100, some by AddLevels, some one by one.
            for (int left = samples(random); left > 0;) {
                const int count = std::min(left, 100);
                record.clear();
                for (int k = 0; k < count; ++k)
                    record.push_back(static_cast<std::int8_t>(level(random)));
                if (fix % 2 == 0) {
                    engine.AddLevels(record.data(), record.size());
                } else {
                    for (std::int8_t v : record) engine.AddValue(v);
                }
                for (std::int8_t v : record) reference.AddValue(v);
                left -= count;
            }
            double latitude =
                d.latitude + (fix * d.northMetres + jitter(random)) * kDegreesPerMetre;
            double longitude =
                d.longitude + (fix * d.eastMetres + jitter(random)) * kDegreesPerMetre;
            if (longitude > 180.0) longitude -= 360.0;
            engine.AddPosition(latitude, longitude);
            reference.AddPosition(latitude, longitude);
            // Both ways of taking the averages: with the bins' counts and spread, and without.
            AveragedPoint p;
            if (fix % 3 == 0) {
                while (engine.NextAveragedPoint(p.latitude, p.longitude, p.value) == 0)
                    got.push_back({p.latitude, p.longitude, p.value, -1, 0.0, 0.0});
            } else {
                while (engine.NextAveragedPoint(p)) got.push_back(p);
            }
        }
        ASSERT_EQ(got.size(), reference.averages.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            const AveragedPoint& a = got[i];
            const AveragedPoint& b = reference.averages[i];
            ASSERT_TRUE(SameBits(a.latitude, b.latitude) && SameBits(a.longitude, b.longitude) &&
                        SameBits(a.value, b.value))
                << "average " << i << ": " << a.latitude << "," << a.longitude << " " << a.value
                << " against " << b.latitude << "," << b.longitude << " " << b.value;
            if (a.samples < 0) continue;  // taken without its bin's figures
            ASSERT_EQ(a.samples, b.samples) << "average " << i;
            ASSERT_EQ(a.minimumDbm, b.minimumDbm) << "average " << i;
            ASSERT_EQ(a.maximumDbm, b.maximumDbm) << "average " << i;
        }
    }
}

TEST(AveragingEngineReference, AveragesEqualThePerSampleAlgorithmBitForBit) {
    ExpectAveragesOfEveryDriveEqualTheReference();
}

// With parts of a few values, pending values and averages go through the temporary file.
TEST(AveragingEngineReference, SpilledValuesGiveTheSameAverages) {
    const std::size_t normal = SpillChunkBytes();
    SetSpillChunkBytes(96);
    ExpectAveragesOfEveryDriveEqualTheReference();
    SetSpillChunkBytes(normal);
}

}  // namespace
}  // namespace varistrum
