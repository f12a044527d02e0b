// SPDX-License-Identifier: GPL-3.0-or-later
// The Hata path-loss models: Okumura-Hata (150-1500 MHz) and COST-231 Hata (1500-2000 MHz),
// split into a constant, a distance term and the rest, so that a tuned model replaces the first
// two and keeps the rest.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varistrum {

enum class HataModel { OkumuraHata, Cost231Hata };

// Okumura-Hata: urban (small or medium city mobile-height correction), suburban, open and
// metropolitan (the large-city correction). COST-231 Hata: urban and suburban take C = 0 dB,
// metropolitan C = 3 dB; it has no open-area form.
enum class HataEnvironment { Urban, Suburban, Open, Metropolitan };

// "urban", "suburban", "open", "metropolitan"; nullopt for anything else.
std::optional<HataEnvironment> ParseHataEnvironment(std::string_view text);
const char* HataEnvironmentName(HataEnvironment environment);
// "okumura-hata" or "cost231-hata".
const char* HataModelName(HataModel model);
// "Okumura-Hata" or "COST-231 Hata", for reports.
const char* HataModelTitle(HataModel model);

// COST-231 Hata above 1500 MHz, Okumura-Hata up to and including it (outside 150-2000 MHz the
// nearer one, with a range warning).
HataModel HataModelFor(double frequencyMHz);

// The path loss in dB as constant + other + distanceSlope * log10(d / 1 km).
struct HataTerms {
    HataModel model = HataModel::OkumuraHata;
    double constant = 0.0;       // 69.55 or 46.3 dB
    double distanceSlope = 0.0;  // 44.9 - 6.55 log10(base height), dB per decade
    double other = 0.0;          // frequency, base height, mobile correction, environment
    double PathLossDb(double distanceM) const;
};

// The terms for one transmitter and receiver; nullopt with the reason in `refusal` when the
// model has no such environment (COST-231 Hata in the open). Heights in metres above ground,
// which must be positive.
std::optional<HataTerms> HataTermsFor(double frequencyMHz, double baseHeightM, double mobileHeightM,
                                      HataEnvironment environment, std::string* refusal = nullptr);

// The model's stated ranges: frequency (150-1500 or 1500-2000 MHz), base height 30-200 m,
// mobile height 1-10 m, distance 1-20 km.
struct HataRanges {
    static constexpr double kMinBaseM = 30.0, kMaxBaseM = 200.0;
    static constexpr double kMinMobileM = 1.0, kMaxMobileM = 10.0;
    static constexpr double kMinDistanceM = 1000.0, kMaxDistanceM = 20000.0;
};

// Warnings for a frequency, base height and mobile height outside the model's ranges (none when
// all are inside).
std::vector<std::string> HataRangeWarnings(HataModel model, double frequencyMHz, double baseHeightM,
                                           double mobileHeightM);
// "120 of 800 points lie outside the model's 1-20 km" or "" when none does.
std::string HataDistanceWarning(std::int64_t outside, std::int64_t points);

}  // namespace varistrum
