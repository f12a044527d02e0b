// SPDX-License-Identifier: GPL-3.0-or-later
// Received levels along the route: fixed transmitter sites, log-distance path loss, shadowing
// correlated over about 50 m and Rayleigh fast fading, in whole dBm as the receiver logs them.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "tools/sim_random.h"
#include "tools/vehicle_route.h"

namespace varistrum::sim {

// What the levels of the simulated network are made of, besides the sites' path loss.
struct RadioSettings {
    double shadowSigmaDb = 7.0;  // 0 turns shadowing off
    bool fading = true;          // Rayleigh fast fading; off: every sample is the local mean
    int levelOffsetDb = 0;       // added to every logged level before clamping
};

// One transmitter site. A channel's level at distance d from its site is
//   eirp - (interceptDbAt1km + dbPerDecade * log10(d / 1 km)) + shadowing,
// with the channel's EIRP the site's plus the channel's own spread (ChannelSpreadDb).
struct SiteInfo {
    std::string_view name;
    Point place;
    double antennaHeightM;
    double eirpDbm;
    double levelAt100mDbm;  // the site's level at 100 m before the channel's spread
    double InterceptDbAt1km() const;
};

class RadioModel {
  public:
    explicit RadioModel(std::uint64_t seed, const RadioSettings& settings = {});

    // Shadowing evolves with the distance driven, not with time: a parked car sees no change.
    void Move(double metres, Rng& rng);
    // Path loss from every site to this place (done once per place, not per sample).
    void Locate(Point place);
    // Local mean level of a channel (frequency code) at the current place, in dBm.
    int MeanLevel(std::uint32_t code) const;
    // Whether a channel carries a transmitter at all (idle ones read the noise floor).
    static bool IsIdle(std::uint32_t code);
    // The site a channel belongs to (index into Sites()) and its EIRP's spread around the
    // site's, in dB (-6..2); meaningful for channels that are not idle.
    static std::size_t SiteOfChannel(std::uint32_t code);
    static int ChannelSpreadDb(std::uint32_t code);

    // One level with fast fading and the level offset, clamped to what the receiver reports.
    int Sample(int mean) {
        if (bitsLeft_ == 0) {
            bits_ = fading_.Next();
            bitsLeft_ = 6;
        }
        const int level = mean + fadeTable_[bits_ & 1023] + levelOffset_;
        bits_ >>= 10;
        --bitsLeft_;
        return level < kFloor ? kFloor : (level > kCeiling ? kCeiling : level);
    }
    void FillSamples(int mean, std::span<int> out) {
        for (int& level : out) level = Sample(mean);
    }

    // Mean of the fast fading in dB, and of its power (as dB), over the fading's distribution.
    double FadingMeanDb() const;
    double FadingPowerMeanDb() const;

    static constexpr int kFloor = -120;
    static constexpr int kCeiling = -20;
    static constexpr int kNoiseFloor = -117;  // the level of idle channels
    static constexpr std::size_t kSites = 5;
    static constexpr double kDbPerDecade = 35.0;
    static constexpr double kMinDistance = 30.0;    // metres; nearer counts as this far
    static constexpr double kDecorrelation = 50.0;  // metres
    static constexpr double kShadowStep = 5.0;      // metres between shadowing updates
    static std::span<const SiteInfo, kSites> Sites();

  private:
    Rng fading_;
    std::uint64_t bits_ = 0;
    int bitsLeft_ = 0;
    int levelOffset_ = 0;
    std::array<std::int8_t, 1024> fadeTable_{};
    std::array<double, kSites> shadow_{};
    std::array<double, kSites> siteLevel_{};
    double sinceShadowStep_ = 0.0;
    double shadowSigma_;
    double shadowInnovation_;
};

}  // namespace varistrum::sim
