// SPDX-License-Identifier: GPL-3.0-or-later
// Text and JSON forms of a calibration.
#include "calibration/calibration_format.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "base/number_format.h"
#include "report/report_format.h"

namespace varistrum {

namespace {

using Json = nlohmann::ordered_json;

// A blank that the line wrapping does not break at (between a number and its unit).
constexpr char kGlue = '\x1f';
const std::string kUnit(1, kGlue);

// Fixed decimals; a value that rounds to zero has no sign ("0.00", not "-0.00").
std::string Fixed(double value, int precision) {
    std::string out;
    AppendFixed(out, value, precision);
    if (out.front() == '-' && out.find_first_not_of("-0.") == std::string::npos) out.erase(0, 1);
    return out;
}

std::string Wrapped(const std::string& line, std::size_t indent) {
    std::string out = WrapLine(line, kCalibrationColumns, indent);
    std::replace(out.begin(), out.end(), kGlue, ' ');
    return out;
}

std::string Whole(std::int64_t value) {
    std::string out;
    AppendInt(out, value);
    return out;
}

std::string Frequency(double mhz) {
    return mhz > 0.0 ? Fixed(mhz, 3) + kUnit + "MHz" : std::string("unknown frequency");
}

std::string Distance(double metres) {
    return metres >= 1000.0 ? Fixed(metres / 1000.0, 2) + kUnit + "km"
                            : Fixed(metres, 0) + kUnit + "m";
}

// A number, or null when it is not finite.
Json Number(double value) {
    return std::isfinite(value) ? Json(value) : Json(nullptr);
}

template <typename T>
Json Optional(const std::optional<T>& value) {
    return value ? Number(*value) : Json(nullptr);
}

const char* WeightingKey(FitWeighting weighting) {
    return weighting == FitWeighting::Ordinary ? "ols" : "wls";
}

std::string FitTitle(const CalibrationResult& result, const CalibrationFit& fit) {
    if (fit.pooled) {
        std::string text =
            fit.site + ", pooled over " + Whole(static_cast<std::int64_t>(fit.rows.size()));
        return text + (fit.rows.size() == 1 ? " channel" : " channels");
    }
    const SiteRow& row = result.sites.rows[fit.rows.front()];
    return fit.site + ", " + Frequency(fit.frequenciesMHz.front()) + " (row " + Whole(row.row) +
           ": EIRP " + Fixed(row.eirpDbm, 1) + kUnit + "dBm, antenna " +
           Fixed(row.antennaHeightM, 1) + kUnit + "m)";
}

std::string ExclusionText(const CalibrationFit& fit, const CalibrationOptions& options) {
    std::string text =
        "excluded " + Whole(fit.excluded[0]) + " under " + Distance(options.minDistanceM);
    if (options.maxDistanceKm)
        text +=
            ", " + Whole(fit.excluded[1]) + " beyond " + Distance(*options.maxDistanceKm * 1000.0);
    return text + ", " + Whole(fit.excluded[2]) + " near the noise floor";
}

void AppendFit(std::string& out, const CalibrationResult& result, const CalibrationFit& fit) {
    const auto line = [&](const std::string& text, std::size_t indent = 4) {
        out += Wrapped(text, indent);
    };
    line(FitTitle(result, fit), 2);
    line("  Points " + Whole(fit.points) + "; " + ExclusionText(fit, result.options));
    if (fit.logDistance) {
        const LineFit& f = *fit.logDistance;
        double nearest = std::numeric_limits<double>::infinity(), farthest = 0.0;
        for (const std::uint32_t i : fit.pointIndices) {
            nearest = std::min(nearest, result.points[i].distanceM);
            farthest = std::max(farthest, result.points[i].distanceM);
        }
        line("  Distance " + Distance(nearest) + " to " + Distance(farthest) + " (" +
             Fixed(f.spanDecades, 2) + " decades)");
        if (f.intercepts.size() == 1) {
            line("  PL = " + Fixed(f.intercepts[0], 2) + " + " + Fixed(f.slope, 2) +
                 " log10(d / 1 km) dB, n = " + Fixed(f.slope / 10.0, 2));
            line("  A " + Fixed(f.intercepts[0], 2) + " +/- " + Fixed(f.interceptSe[0], 2) +
                 " dB, B " + Fixed(f.slope, 2) + " +/- " + Fixed(f.slopeSe, 2) + " dB/decade");
        } else {
            line("  PL = A + " + Fixed(f.slope, 2) + " log10(d / 1 km) dB, n = " +
                 Fixed(f.slope / 10.0, 2) + "; B +/- " + Fixed(f.slopeSe, 2) + " dB/decade");
            for (std::size_t g = 0; g < f.intercepts.size(); ++g)
                line("    A at " + Frequency(fit.frequenciesMHz[g]) + ": " +
                         Fixed(f.intercepts[g], 2) + " +/- " + Fixed(f.interceptSe[g], 2) + " dB",
                     6);
        }
        line("  Standard errors allow for a correlation length of " +
             Fixed(f.correlationLengthM, 0) + " m along the route: " + Fixed(f.effectivePoints, 0) +
             " effective independent points");
        std::string figures = "  Residuals (weighted as the fit): mean " + Fixed(f.errors.mean, 2) +
                              ", std " + Fixed(f.errors.std, 2) + ", RMS " +
                              Fixed(f.errors.rms, 2) + " dB; R^2 ";
        figures += std::isfinite(f.r2) ? Fixed(f.r2, 3) : std::string("n/a");
        line(figures);
    }
    if (fit.hata) {
        const HataFit& h = *fit.hata;
        const std::string title = h.model == "okumura-hata"   ? "Okumura-Hata"
                                  : h.model == "cost231-hata" ? "COST-231 Hata"
                                                              : "Okumura-Hata and COST-231 Hata";
        line("  " + title + " " + HataEnvironmentName(result.options.environment) +
             " as it stands: mean error " + Fixed(h.asItStands.mean, 2) + ", RMS " +
             Fixed(h.asItStands.rms, 2) + " dB");
        if (h.k1Db && h.tuned)
            line("  Tuned: K1 " + Fixed(*h.k1Db, 2) + " dB, K2 " + Fixed(*h.k2DbPerDecade, 2) +
                 " dB/decade; mean error " + Fixed(h.tuned->mean, 2) + ", RMS " +
                 Fixed(h.tuned->rms, 2) + " dB");
        for (const std::string& w : h.warnings) line("  Hata: " + w);
    }
    for (const std::string& w : fit.warnings) line("  Warning: " + w);
}

Json FitJson(const CalibrationResult& result, const CalibrationFit& fit) {
    Json entry;
    entry["site"] = fit.site;
    entry["frequency_mhz"] = fit.pooled ? Json(nullptr) : Number(fit.frequenciesMHz.front());
    entry["pooled"] = fit.pooled;
    Json frequencies = Json::array();
    for (const double f : fit.frequenciesMHz) frequencies.push_back(Number(f));
    entry["frequencies_mhz"] = frequencies;
    entry["points"] = fit.points;
    Json excluded;
    for (std::size_t r = 0; r < kExclusionReasons; ++r)
        excluded[ExclusionKey(static_cast<Exclusion>(r + 1))] = fit.excluded[r];
    entry["excluded"] = excluded;
    if (fit.logDistance) {
        const LineFit& f = *fit.logDistance;
        entry["span_decades"] = Number(f.spanDecades);
        const bool one = f.intercepts.size() == 1;
        Json line;
        line["a_db"] = one ? Number(f.intercepts[0]) : Json(nullptr);
        line["b_db_per_decade"] = Number(f.slope);
        line["n"] = Number(f.slope / 10.0);
        line["se_a_db"] = one ? Number(f.interceptSe[0]) : Json(nullptr);
        line["se_b_db_per_decade"] = Number(f.slopeSe);
        line["mean_error_db"] = Number(f.errors.mean);
        line["std_db"] = Number(f.errors.std);
        line["rmse_db"] = Number(f.errors.rms);
        line["r2"] = Number(f.r2);
        line["weighting"] = WeightingKey(result.options.weighting);
        line["correlation_length_m"] = Number(f.correlationLengthM);
        line["effective_points"] = Number(f.effectivePoints);
        line["naive_se_b_db_per_decade"] = Number(f.naiveSlopeSe);
        Json intercepts = Json::array();
        for (std::size_t g = 0; g < f.intercepts.size(); ++g)
            intercepts.push_back({{"frequency_mhz", Number(fit.frequenciesMHz[g])},
                                  {"a_db", Number(f.intercepts[g])},
                                  {"se_a_db", Number(f.interceptSe[g])}});
        line["intercepts"] = intercepts;
        entry["log_distance"] = line;
    } else {
        entry["span_decades"] = nullptr;
        entry["log_distance"] = nullptr;
    }
    if (fit.hata) {
        const HataFit& h = *fit.hata;
        Json hata;
        hata["model"] = h.model;
        hata["environment"] = HataEnvironmentName(result.options.environment);
        hata["mean_error_db"] = Number(h.asItStands.mean);
        hata["rmse_db"] = Number(h.asItStands.rms);
        hata["k1_db"] = Optional(h.k1Db);
        hata["k2_db_per_decade"] = Optional(h.k2DbPerDecade);
        hata["tuned_mean_error_db"] = h.tuned ? Number(h.tuned->mean) : Json(nullptr);
        hata["tuned_rmse_db"] = h.tuned ? Number(h.tuned->rms) : Json(nullptr);
        hata["warnings"] = h.warnings;
        entry["hata"] = hata;
    } else {
        entry["hata"] = nullptr;
    }
    entry["warnings"] = fit.warnings;
    return entry;
}

}  // namespace

std::string CalibrationText(const CalibrationResult& result) {
    std::string out;
    const CalibrationOptions& o = result.options;
    const auto line = [&](const std::string& text) { out += Wrapped(text, 2); };
    std::int64_t fitted = 0, sites = 0;
    for (const CalibrationFit& fit : result.fits) {
        if (fit.pooled) ++sites;
        if (!fit.pooled) fitted += fit.points;
    }
    line("Calibration against " + result.sites.path + ": " + Whole(result.localMeans) +
         " local means of " + Whole(static_cast<std::int64_t>(result.logs.size())) +
         (result.logs.size() == 1 ? " log, " : " logs, ") + Whole(fitted) + " fitted, " +
         Whole(sites) + (sites == 1 ? " site" : " sites"));
    line(std::string("Fit: ") +
         (o.weighting == FitWeighting::Ordinary
              ? "least squares, every point alike"
              : "least squares weighted so that each tenth of a decade of distance counts "
                "alike"));
    line("Path loss = EIRP + " + Fixed(o.rxGainDbi, 1) + kUnit + "dBi - " +
         Fixed(o.cableLossDb, 1) + kUnit + "dB - level; receiver antenna " + Fixed(o.rxHeightM, 1) +
         kUnit + "m; noise floor" +
         (o.noiseFloorDbm ? kUnit + Fixed(*o.noiseFloorDbm, 1) + kUnit + "dBm"
                          : std::string(" each channel's lowest level")) +
         ", levels within " + Fixed(o.censorMarginDb, 1) + kUnit + "dB of it censored");
    if (!result.unmatched.empty()) {
        std::string text = "Channels without a site (skipped):";
        for (const UnmatchedChannel& u : result.unmatched)
            text += " " + Frequency(u.frequencyMHz) + " (channel " + Whole(u.channel) + ", " +
                    Whole(u.localMeans) + " local means);";
        text.back() = '.';
        line(text);
    }
    for (const std::string& w : result.warnings) line("Warning: " + w);
    // A site's pooled fit adds nothing to its one channel's: shown only for several.
    for (const CalibrationFit& fit : result.fits) {
        if (fit.pooled && fit.rows.size() < 2) continue;
        out += '\n';
        AppendFit(out, result, fit);
    }
    return out;
}

std::string CalibrationJson(const CalibrationResult& result) {
    const CalibrationOptions& o = result.options;
    Json root;
    root["schema_version"] = kCalibrationSchemaVersion;
    root["sites_file"] = result.sites.path;
    root["logs"] = result.logs;
    Json options;
    options["rx_gain_dbi"] = Number(o.rxGainDbi);
    options["cable_loss_db"] = Number(o.cableLossDb);
    options["rx_height_m"] = Number(o.rxHeightM);
    options["min_distance_m"] = Number(o.minDistanceM);
    options["max_distance_km"] = Optional(o.maxDistanceKm);
    options["noise_floor_dbm"] = Optional(o.noiseFloorDbm);
    options["censor_margin_db"] = Number(o.censorMarginDb);
    options["fit"] = WeightingKey(o.weighting);
    options["environment"] = HataEnvironmentName(o.environment);
    root["options"] = options;
    root["local_means"] = result.localMeans;
    Json unmatched = Json::array();
    for (const UnmatchedChannel& u : result.unmatched)
        unmatched.push_back({{"frequency_mhz", Number(u.frequencyMHz)},
                             {"channel", u.channel},
                             {"local_means", u.localMeans}});
    root["unmatched_channels"] = unmatched;
    root["warnings"] = result.warnings;
    Json fits = Json::array();
    for (const CalibrationFit& fit : result.fits) fits.push_back(FitJson(result, fit));
    root["fits"] = fits;
    // Invalid UTF-8 in a name (a file path) is replaced rather than thrown on.
    return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace varistrum
