// SPDX-License-Identifier: GPL-3.0-or-later
// Received levels along the route: fixed transmitter sites, log-distance path loss, shadowing
// correlated over about 50 m and Rayleigh fast fading, in whole dBm as the receiver logs them.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "tools/sim_random.h"
#include "tools/vehicle_route.h"

namespace varistrum::sim {

class RadioModel {
  public:
    explicit RadioModel(std::uint64_t seed);

    // Shadowing evolves with the distance driven, not with time: a parked car sees no change.
    void Move(double metres, Rng& rng);
    // Path loss from every site to this place (done once per place, not per sample).
    void Locate(Point place);
    // Local mean level of a channel (frequency code) at the current place, in dBm.
    int MeanLevel(std::uint32_t code) const;
    // Whether a channel carries a transmitter at all (idle ones read the noise floor).
    static bool IsIdle(std::uint32_t code);

    // One level with fast fading, clamped to what the receiver reports.
    int Sample(int mean) {
        if (bitsLeft_ == 0) {
            bits_ = fading_.Next();
            bitsLeft_ = 6;
        }
        const int level = mean + fadeTable_[bits_ & 1023];
        bits_ >>= 10;
        --bitsLeft_;
        return level < kFloor ? kFloor : (level > kCeiling ? kCeiling : level);
    }
    void FillSamples(int mean, std::span<int> out) {
        for (int& level : out) level = Sample(mean);
    }

    static constexpr int kFloor = -120;
    static constexpr int kCeiling = -20;
    static constexpr std::size_t kSites = 5;

  private:
    Rng fading_;
    std::uint64_t bits_ = 0;
    int bitsLeft_ = 0;
    std::array<std::int8_t, 1024> fadeTable_{};
    std::array<double, kSites> shadow_{};
    std::array<double, kSites> siteLevel_{};
    double sinceShadowStep_ = 0.0;
    double shadowInnovation_;
};

}  // namespace varistrum::sim
