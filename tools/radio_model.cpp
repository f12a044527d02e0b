// SPDX-License-Identifier: GPL-3.0-or-later
// Propagation model of the simulated network.
#include "tools/radio_model.h"

#include <cmath>

#include "tools/portable_math.h"

namespace varistrum::sim {

namespace {

struct Site {
    Point place;
    double levelAt100m;  // dBm
};

constexpr std::array<Site, RadioModel::kSites> kSiteTable{{
    {{-1200.0, 800.0}, -42.0},
    {{1500.0, 1100.0}, -45.0},
    {{300.0, -1800.0}, -40.0},
    {{2800.0, -500.0}, -48.0},
    {{-2500.0, -2000.0}, -44.0},
}};

constexpr double kPathLossPerDecade = 35.0;
constexpr double kShadowSigma = 7.0;               // dB
constexpr double kShadowStep = 5.0;                // metres between shadowing updates
constexpr double kShadowRho = 0.9048374180359595;  // exp(-5 m / 50 m decorrelation distance)
constexpr int kNoiseFloor = -117;

std::uint64_t ChannelHash(std::uint32_t code) {
    return Mix64(code * 0x9E3779B1ULL + 0x51ED);
}

}  // namespace

RadioModel::RadioModel(std::uint64_t seed)
    : fading_(seed ^ 0xFADEFADEULL), shadowInnovation_(std::sqrt(1.0 - kShadowRho * kShadowRho)) {
    // Rayleigh fading: the power is exponential with mean 1; tabulate its quantiles in dB.
    for (int i = 0; i < 1024; ++i) {
        const double power = -Ln((i + 0.5) / 1024.0);
        fadeTable_[static_cast<std::size_t>(i)] =
            static_cast<std::int8_t>(RoundHalfUp(10.0 * Log10(power)));
    }
    Rng start(seed ^ 0x5A4D0ULL);
    for (double& s : shadow_) s = kShadowSigma * start.Gaussian();
}

void RadioModel::Move(double metres, Rng& rng) {
    sinceShadowStep_ += metres;
    while (sinceShadowStep_ >= kShadowStep) {
        sinceShadowStep_ -= kShadowStep;
        for (double& s : shadow_)
            s = kShadowRho * s + shadowInnovation_ * kShadowSigma * rng.Gaussian();
    }
}

void RadioModel::Locate(Point place) {
    for (std::size_t i = 0; i < kSiteTable.size(); ++i) {
        const double dx = place.x - kSiteTable[i].place.x, dy = place.y - kSiteTable[i].place.y;
        const double distance = std::sqrt(dx * dx + dy * dy);
        const double loss = kPathLossPerDecade * Log10((distance < 30.0 ? 30.0 : distance) / 100.0);
        siteLevel_[i] = kSiteTable[i].levelAt100m - loss + shadow_[i];
    }
}

bool RadioModel::IsIdle(std::uint32_t code) {
    return (ChannelHash(code) >> 20) % 100 < 12;
}

int RadioModel::MeanLevel(std::uint32_t code) const {
    if (IsIdle(code)) return kNoiseFloor;
    const std::uint64_t h = ChannelHash(code);
    const double offset = static_cast<double>((h >> 8) % 9) - 6.0;  // antenna and power spread
    return static_cast<int>(RoundHalfUp(siteLevel_[h % kSiteTable.size()] + offset));
}

}  // namespace varistrum::sim
