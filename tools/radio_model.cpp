// SPDX-License-Identifier: GPL-3.0-or-later
// Propagation model of the simulated network.
#include "tools/radio_model.h"

#include <cmath>

#include "tools/portable_math.h"

namespace varistrum::sim {

namespace {

// EIRP and antenna height are chosen so that each site's intercept at 1 km lies within a dB of
// what the usual urban formula gives at that height for 850 MHz and a 1.5 m mobile antenna,
// whose slope is about 35 dB a decade at these heights.
constexpr std::array<SiteInfo, RadioModel::kSites> kSiteTable{{
    {"S1", {-1200.0, 800.0}, 32.0, 48.0, -42.0},
    {"S2", {1500.0, 1100.0}, 30.0, 46.0, -45.0},
    {"S3", {300.0, -1800.0}, 35.0, 50.0, -40.0},
    {"S4", {2800.0, -500.0}, 25.0, 44.0, -48.0},
    {"S5", {-2500.0, -2000.0}, 28.0, 47.0, -44.0},
}};

constexpr double kPathLossPerDecade = RadioModel::kDbPerDecade;
constexpr double kShadowRho = 0.9048374180359595;  // exp(-5 m / 50 m decorrelation distance)

std::uint64_t ChannelHash(std::uint32_t code) {
    return Mix64(code * 0x9E3779B1ULL + 0x51ED);
}

}  // namespace

double SiteInfo::InterceptDbAt1km() const {
    // level(1 km) = levelAt100m - one decade of loss = eirp - intercept
    return eirpDbm - (levelAt100mDbm - RadioModel::kDbPerDecade);
}

std::span<const SiteInfo, RadioModel::kSites> RadioModel::Sites() {
    return kSiteTable;
}

RadioModel::RadioModel(std::uint64_t seed, const RadioSettings& settings)
    : fading_(seed ^ 0xFADEFADEULL),
      levelOffset_(settings.levelOffsetDb),
      shadowSigma_(settings.shadowSigmaDb),
      shadowInnovation_(std::sqrt(1.0 - kShadowRho * kShadowRho)) {
    // Rayleigh fading: the power is exponential with mean 1; tabulate its quantiles in dB.
    if (settings.fading) {
        for (int i = 0; i < 1024; ++i) {
            const double power = -Ln((i + 0.5) / 1024.0);
            fadeTable_[static_cast<std::size_t>(i)] =
                static_cast<std::int8_t>(RoundHalfUp(10.0 * Log10(power)));
        }
    }
    Rng start(seed ^ 0x5A4D0ULL);
    for (double& s : shadow_) s = shadowSigma_ * start.Gaussian();
}

void RadioModel::Move(double metres, Rng& rng) {
    sinceShadowStep_ += metres;
    while (sinceShadowStep_ >= kShadowStep) {
        sinceShadowStep_ -= kShadowStep;
        for (double& s : shadow_)
            s = kShadowRho * s + shadowInnovation_ * shadowSigma_ * rng.Gaussian();
    }
}

void RadioModel::Locate(Point place) {
    for (std::size_t i = 0; i < kSiteTable.size(); ++i) {
        const double dx = place.x - kSiteTable[i].place.x, dy = place.y - kSiteTable[i].place.y;
        const double distance = std::sqrt(dx * dx + dy * dy);
        const double loss =
            kPathLossPerDecade * Log10((distance < kMinDistance ? kMinDistance : distance) / 100.0);
        siteLevel_[i] = kSiteTable[i].levelAt100mDbm - loss + shadow_[i];
    }
}

bool RadioModel::IsIdle(std::uint32_t code) {
    return (ChannelHash(code) >> 20) % 100 < 12;
}

std::size_t RadioModel::SiteOfChannel(std::uint32_t code) {
    return ChannelHash(code) % kSiteTable.size();
}

int RadioModel::ChannelSpreadDb(std::uint32_t code) {
    return static_cast<int>((ChannelHash(code) >> 8) % 9) - 6;
}

int RadioModel::MeanLevel(std::uint32_t code) const {
    if (IsIdle(code)) return kNoiseFloor;
    const double offset = ChannelSpreadDb(code);  // antenna and power spread
    return static_cast<int>(RoundHalfUp(siteLevel_[SiteOfChannel(code)] + offset));
}

double RadioModel::FadingMeanDb() const {
    double sum = 0.0;
    for (const std::int8_t fade : fadeTable_) sum += fade;
    return sum / static_cast<double>(fadeTable_.size());
}

double RadioModel::FadingPowerMeanDb() const {
    double sum = 0.0;
    for (const std::int8_t fade : fadeTable_) sum += std::pow(10.0, fade / 10.0);
    return 10.0 * std::log10(sum / static_cast<double>(fadeTable_.size()));
}

}  // namespace varistrum::sim
