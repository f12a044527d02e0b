// SPDX-License-Identifier: GPL-3.0-or-later
// The Hata formulas.
#include "calibration/hata.h"

#include <cmath>
#include <cstdint>

#include "base/number_format.h"

namespace varistrum {

namespace {

constexpr double kOkumuraConstant = 69.55, kCost231Constant = 46.3;

// The mobile antenna height correction a(hm) of a small or medium city.
double MediumCityMobileCorrection(double logF, double mobileHeightM) {
    return (1.1 * logF - 0.7) * mobileHeightM - (1.56 * logF - 0.8);
}

// The large-city correction (different below and above 300 MHz).
double LargeCityMobileCorrection(double frequencyMHz, double mobileHeightM) {
    if (frequencyMHz < 300.0) {
        const double l = std::log10(1.54 * mobileHeightM);
        return 8.29 * l * l - 1.1;
    }
    const double l = std::log10(11.75 * mobileHeightM);
    return 3.2 * l * l - 4.97;
}

std::string Number(double value, int precision) {
    std::string out;
    AppendFixed(out, value, precision);
    // Whole values without decimals: "30 m", not "30.0 m".
    const std::size_t point = out.find('.');
    if (point != std::string::npos) {
        std::size_t end = out.size();
        while (end > point && (out[end - 1] == '0')) --end;
        if (end == point + 1) --end;
        out.resize(end);
    }
    return out;
}

}  // namespace

std::optional<HataEnvironment> ParseHataEnvironment(std::string_view text) {
    if (text == "urban") return HataEnvironment::Urban;
    if (text == "suburban") return HataEnvironment::Suburban;
    if (text == "open") return HataEnvironment::Open;
    if (text == "metropolitan") return HataEnvironment::Metropolitan;
    return std::nullopt;
}

const char* HataEnvironmentName(HataEnvironment environment) {
    switch (environment) {
        case HataEnvironment::Urban:
            return "urban";
        case HataEnvironment::Suburban:
            return "suburban";
        case HataEnvironment::Open:
            return "open";
        case HataEnvironment::Metropolitan:
            return "metropolitan";
    }
    return "";
}

const char* HataModelName(HataModel model) {
    return model == HataModel::OkumuraHata ? "okumura-hata" : "cost231-hata";
}

const char* HataModelTitle(HataModel model) {
    return model == HataModel::OkumuraHata ? "Okumura-Hata" : "COST-231 Hata";
}

HataModel HataModelFor(double frequencyMHz) {
    return frequencyMHz > 1500.0 ? HataModel::Cost231Hata : HataModel::OkumuraHata;
}

double HataTerms::PathLossDb(double distanceM) const {
    return constant + other + distanceSlope * std::log10(distanceM / 1000.0);
}

std::optional<HataTerms> HataTermsFor(double frequencyMHz, double baseHeightM, double mobileHeightM,
                                      HataEnvironment environment, std::string* refusal) {
    const auto refuse = [&](const std::string& why) -> std::optional<HataTerms> {
        if (refusal != nullptr) *refusal = why;
        return std::nullopt;
    };
    if (!(frequencyMHz > 0.0) || !(baseHeightM > 0.0) || !(mobileHeightM > 0.0) ||
        !std::isfinite(frequencyMHz) || !std::isfinite(baseHeightM) ||
        !std::isfinite(mobileHeightM))
        return refuse("the Hata models need a positive frequency and antenna heights");
    HataTerms terms;
    terms.model = HataModelFor(frequencyMHz);
    const double logF = std::log10(frequencyMHz);
    const double logHb = std::log10(baseHeightM);
    terms.distanceSlope = 44.9 - 6.55 * logHb;
    const double mobile =
        environment == HataEnvironment::Metropolitan && terms.model == HataModel::OkumuraHata
            ? LargeCityMobileCorrection(frequencyMHz, mobileHeightM)
            : MediumCityMobileCorrection(logF, mobileHeightM);
    if (terms.model == HataModel::OkumuraHata) {
        terms.constant = kOkumuraConstant;
        terms.other = 26.16 * logF - 13.82 * logHb - mobile;
        if (environment == HataEnvironment::Suburban) {
            const double l = std::log10(frequencyMHz / 28.0);
            terms.other -= 2.0 * l * l + 5.4;
        } else if (environment == HataEnvironment::Open) {
            terms.other -= 4.78 * logF * logF - 18.33 * logF + 40.94;
        }
    } else {
        if (environment == HataEnvironment::Open)
            return refuse("COST-231 Hata defines no open-area correction (" +
                          Number(frequencyMHz, 3) +
                          " MHz): choose urban, suburban or "
                          "metropolitan");
        terms.constant = kCost231Constant;
        terms.other = 33.9 * logF - 13.82 * logHb - mobile;
        if (environment == HataEnvironment::Metropolitan) terms.other += 3.0;
    }
    return terms;
}

std::vector<std::string> HataRangeWarnings(HataModel model, double frequencyMHz, double baseHeightM,
                                           double mobileHeightM) {
    std::vector<std::string> warnings;
    const double low = model == HataModel::OkumuraHata ? 150.0 : 1500.0;
    const double high = model == HataModel::OkumuraHata ? 1500.0 : 2000.0;
    if (frequencyMHz < low || frequencyMHz > high)
        warnings.push_back(Number(frequencyMHz, 3) + " MHz is outside " + HataModelTitle(model) +
                           "'s " + Number(low, 0) + "-" + Number(high, 0) + " MHz");
    if (baseHeightM < HataRanges::kMinBaseM || baseHeightM > HataRanges::kMaxBaseM)
        warnings.push_back("base antenna height " + Number(baseHeightM, 2) +
                           " m is outside the model's 30-200 m");
    if (mobileHeightM < HataRanges::kMinMobileM || mobileHeightM > HataRanges::kMaxMobileM)
        warnings.push_back("mobile antenna height " + Number(mobileHeightM, 2) +
                           " m is outside the model's 1-10 m");
    return warnings;
}

std::string HataDistanceWarning(std::int64_t outside, std::int64_t points) {
    if (outside <= 0) return {};
    std::string text = std::to_string(outside) + " of " + std::to_string(points);
    text += outside == 1 ? " points lies" : " points lie";
    text += " outside the model's 1-20 km";
    return text;
}

}  // namespace varistrum
