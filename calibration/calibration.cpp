// SPDX-License-Identifier: GPL-3.0-or-later
// Local means to path losses, and the fits per site and channel and per site.
#include "calibration/calibration.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "base/geodesic.h"
#include "base/number_format.h"

namespace varistrum {

namespace {

std::string Fixed(double value, int precision) {
    std::string out;
    AppendFixed(out, value, precision);
    return out;
}

void AddOnce(std::vector<std::string>& list, const std::string& text) {
    if (!text.empty() && std::find(list.begin(), list.end(), text) == list.end())
        list.push_back(text);
}

// The fit of `rows` (one row: a site and channel; several: the site pooled, one intercept per
// row).
CalibrationFit FitRows(const CalibrationResult& result, const std::vector<std::size_t>& rows,
                       bool pooled) {
    const SitesFile& sites = result.sites;
    const CalibrationOptions& options = result.options;
    CalibrationFit fit;
    fit.site = sites.rows[rows.front()].site;
    fit.pooled = pooled;

    // The rows' points; a row without one that takes part gets no intercept.
    std::vector<std::size_t> interceptOf(sites.rows.size(), rows.size());
    std::vector<std::int64_t> fitted(rows.size(), 0);
    for (std::size_t r = 0; r < rows.size(); ++r) interceptOf[rows[r]] = r;
    for (std::size_t i = 0; i < result.points.size(); ++i) {
        const CalibrationPoint& p = result.points[i];
        const std::size_t r = interceptOf[static_cast<std::size_t>(p.siteRow)];
        if (r == rows.size()) continue;
        if (p.excluded != Exclusion::None) {
            ++fit.excluded[static_cast<std::size_t>(p.excluded) - 1];
            continue;
        }
        ++fitted[r];
        fit.pointIndices.push_back(static_cast<std::uint32_t>(i));
    }
    std::vector<std::size_t> renumber(rows.size(), rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (fitted[r] == 0) continue;
        renumber[r] = fit.rows.size();
        fit.rows.push_back(rows[r]);
        fit.frequenciesMHz.push_back(result.rowFrequenciesMHz[rows[r]]);
    }
    if (fit.rows.empty()) {
        fit.rows.push_back(rows.front());
        fit.frequenciesMHz.push_back(result.rowFrequenciesMHz[rows.front()]);
    }
    fit.points = static_cast<std::int64_t>(fit.pointIndices.size());
    if (fit.points == 0) {
        fit.warnings.push_back("every local mean was left out: no fit");
        return fit;
    }

    std::vector<FitPoint> points;
    points.reserve(fit.pointIndices.size());
    for (const std::uint32_t i : fit.pointIndices) {
        const CalibrationPoint& p = result.points[i];
        FitPoint f;
        f.logDistance = std::log10(p.distanceM / 1000.0);
        f.value = p.pathLossDb;
        f.routeM = p.routeM;
        f.segment = p.segment;
        f.channel = p.siteRow;
        f.intercept = static_cast<int>(renumber[interceptOf[static_cast<std::size_t>(p.siteRow)]]);
        points.push_back(f);
    }
    // Censoring drops the weakest readings only: where many go, the far end reads too little
    // loss and the slope comes out low.
    const std::int64_t censored =
        fit.excluded[static_cast<std::size_t>(Exclusion::NearNoiseFloor) - 1];
    if (censored > 0 && 20 * censored > fit.points + censored)
        fit.warnings.push_back(Fixed(100.0 * static_cast<double>(censored) /
                                         static_cast<double>(fit.points + censored),
                                     0) +
                               " % of the local means lie near the noise floor: the fit lacks "
                               "the weakest readings and its slope reads low");
    std::string problem;
    fit.logDistance =
        FitLine(points, static_cast<int>(fit.rows.size()), options.weighting, &problem);
    if (!fit.logDistance) {
        fit.warnings.push_back(problem);
    } else if (fit.logDistance->spanDecades < 1.0) {
        fit.warnings.push_back("the distances span " + Fixed(fit.logDistance->spanDecades, 2) +
                               " decades, under one: the slope is unreliable");
    }

    // Hata: each row's terms; refused as a whole when one row's model has no such environment.
    std::vector<HataTerms> terms;
    HataFit hata;
    std::set<HataModel> models;
    for (std::size_t r = 0; r < fit.rows.size(); ++r) {
        const SiteRow& row = sites.rows[fit.rows[r]];
        std::string refusal;
        const auto t = HataTermsFor(fit.frequenciesMHz[r], row.antennaHeightM, options.rxHeightM,
                                    options.environment, &refusal);
        if (!t) {
            fit.warnings.push_back("no Hata model: " + refusal);
            return fit;
        }
        terms.push_back(*t);
        if (models.insert(t->model).second) {
            if (!hata.model.empty()) hata.model += '+';
            hata.model += HataModelName(t->model);
        }
        for (const std::string& w : HataRangeWarnings(t->model, fit.frequenciesMHz[r],
                                                      row.antennaHeightM, options.rxHeightM))
            AddOnce(hata.warnings, w);
    }
    if (terms.size() == 1) {
        hata.modelK1Db = terms.front().constant;
        hata.modelK2DbPerDecade = terms.front().distanceSlope;
        hata.otherTermsDb = terms.front().other;
    }
    const std::vector<double> weights =
        fit.logDistance ? fit.logDistance->weights : FitWeights(points, options.weighting);
    std::vector<double> errors(points.size());
    std::int64_t outside = 0;
    std::vector<FitPoint> tunedPoints = points;
    for (std::size_t k = 0; k < points.size(); ++k) {
        const CalibrationPoint& p = result.points[fit.pointIndices[k]];
        const HataTerms& t = terms[static_cast<std::size_t>(points[k].intercept)];
        errors[k] = p.pathLossDb - t.PathLossDb(p.distanceM);
        if (p.distanceM < HataRanges::kMinDistanceM || p.distanceM > HataRanges::kMaxDistanceM)
            ++outside;
        tunedPoints[k].value = p.pathLossDb - t.other;
        tunedPoints[k].intercept = 0;
    }
    hata.asItStands = WeightedErrors(errors, weights);
    AddOnce(hata.warnings, HataDistanceWarning(outside, fit.points));
    if (const auto tuned = FitLine(tunedPoints, 1, options.weighting)) {
        hata.k1Db = tuned->intercepts.front();
        hata.k2DbPerDecade = tuned->slope;
        hata.tuned = tuned->errors;
    }
    fit.hata = std::move(hata);
    return fit;
}

}  // namespace

std::string CheckCalibrationOptions(const CalibrationOptions& o) {
    const auto finite = [](double v) { return std::isfinite(v); };
    if (!finite(o.rxGainDbi) || std::fabs(o.rxGainDbi) > 60.0)
        return "the receiver antenna gain must lie within -60 to 60 dBi";
    if (!finite(o.cableLossDb) || o.cableLossDb < 0.0 || o.cableLossDb > 100.0)
        return "the cable loss must lie within 0 to 100 dB";
    if (!finite(o.rxHeightM) || o.rxHeightM <= 0.0 || o.rxHeightM > 1000.0)
        return "the receiver antenna height must be above 0 and at most 1000 m";
    if (!finite(o.minDistanceM) || o.minDistanceM < 0.0)
        return "the minimum distance must be 0 m or more";
    if (o.maxDistanceKm &&
        (!finite(*o.maxDistanceKm) || *o.maxDistanceKm * 1000.0 <= o.minDistanceM))
        return "the maximum distance must lie beyond the minimum distance";
    if (o.noiseFloorDbm && (!finite(*o.noiseFloorDbm) || std::fabs(*o.noiseFloorDbm) > 300.0))
        return "the noise floor must be a level in dBm";
    if (!finite(o.censorMarginDb) || o.censorMarginDb < 0.0)
        return "the censoring margin must be 0 dB or more";
    return {};
}

const char* ExclusionKey(Exclusion reason) {
    switch (reason) {
        case Exclusion::BelowMinDistance:
            return "below_min_distance";
        case Exclusion::BeyondMaxDistance:
            return "beyond_max_distance";
        case Exclusion::NearNoiseFloor:
            return "near_noise_floor";
        case Exclusion::None:
            break;
    }
    return "";
}

void ChannelFloors::Note(int channel, double dbm) {
    if (dbm == kNoLevelDbm || !std::isfinite(dbm)) return;
    const auto [at, fresh] = lowest_.emplace(channel, dbm);
    if (!fresh && dbm < at->second) at->second = dbm;
}

std::optional<double> ChannelFloors::Of(int channel) const {
    const auto at = lowest_.find(channel);
    if (at == lowest_.end()) return std::nullopt;
    return at->second;
}

CalibrationCollector::CalibrationCollector(SitesFile sites, CalibrationOptions options) {
    result_.rowFrequenciesMHz.assign(sites.rows.size(), 0.0);
    result_.sites = std::move(sites);
    result_.options = options;
}

void CalibrationCollector::BeginLog(std::string name, ChannelFloors floors) {
    result_.logs.push_back(std::move(name));
    floors_ = std::move(floors);
    matches_.clear();
    routes_.clear();
    floorWarned_.clear();
}

std::optional<std::size_t> CalibrationCollector::RowOf(const LocalMean& mean) {
    const auto key = std::make_pair(mean.channel, mean.frequencyMHz);
    const auto found = matches_.find(key);
    if (found != matches_.end()) return found->second;
    const auto row =
        MatchSiteRow(result_.sites, mean.frequencyMHz, mean.channel, mean.channelStepKHz);
    matches_.emplace(key, row);
    return row;
}

void CalibrationCollector::Add(const LocalMean& mean) {
    if (result_.logs.empty()) BeginLog("", {});
    ++result_.localMeans;
    // Every local mean of a scan, matched or not, extends that scan's route.
    auto [route, fresh] = routes_.try_emplace(mean.scan);
    if (fresh) {
        route->second.segment = static_cast<int>(result_.segments.size());
        result_.segments.push_back({static_cast<int>(result_.logs.size()) - 1, mean.scan});
    } else {
        route->second.routeM += GeodesicMetres(route->second.latitude, route->second.longitude,
                                               mean.latitude, mean.longitude);
    }
    route->second.latitude = mean.latitude;
    route->second.longitude = mean.longitude;

    const auto row = RowOf(mean);
    if (!row) {
        ++unmatched_[{mean.frequencyMHz, mean.channel}];
        return;
    }
    const SiteRow& site = result_.sites.rows[*row];
    // The drive's frequency of the row; the file's when the log gives none.
    if (result_.rowFrequenciesMHz[*row] == 0.0)
        result_.rowFrequenciesMHz[*row] =
            mean.frequencyMHz > 0.0 ? mean.frequencyMHz : site.frequencyMHz.value_or(0.0);
    CalibrationPoint p;
    p.latitude = mean.latitude;
    p.longitude = mean.longitude;
    p.distanceM = GeodesicMetres(site.latitude, site.longitude, mean.latitude, mean.longitude);
    p.pathLossDb =
        site.eirpDbm + result_.options.rxGainDbi - result_.options.cableLossDb - mean.levelDbm;
    p.routeM = route->second.routeM;
    p.siteRow = static_cast<std::int32_t>(*row);
    p.segment = route->second.segment;
    p.channel = mean.channel;
    const CalibrationOptions& o = result_.options;
    const std::optional<double> floor =
        o.noiseFloorDbm ? o.noiseFloorDbm : floors_.Of(mean.channel);
    if (p.distanceM < o.minDistanceM) {
        p.excluded = Exclusion::BelowMinDistance;
    } else if (o.maxDistanceKm && p.distanceM > *o.maxDistanceKm * 1000.0) {
        p.excluded = Exclusion::BeyondMaxDistance;
    } else if (!std::isfinite(mean.levelDbm) ||
               (floor && !(mean.levelDbm > *floor + o.censorMarginDb))) {
        p.excluded = Exclusion::NearNoiseFloor;
    }
    if (!floor && !floorWarned_[mean.channel]) {
        floorWarned_[mean.channel] = true;
        std::string text = result_.logs.back().empty() ? std::string() : result_.logs.back() + ": ";
        text += "channel " + std::to_string(mean.channel) +
                " has no known noise floor: none of its levels is censored";
        result_.warnings.push_back(std::move(text));
    }
    result_.points.push_back(p);
}

CalibrationResult CalibrationCollector::Finish() {
    for (const auto& [key, count] : unmatched_)
        result_.unmatched.push_back({key.first, key.second, count});
    FitCalibration(result_);
    CalibrationResult out = std::move(result_);
    result_ = CalibrationResult{};
    unmatched_.clear();
    matches_.clear();
    routes_.clear();
    return out;
}

void FitCalibration(CalibrationResult& result) {
    result.fits.clear();
    const std::vector<SiteRow>& rows = result.sites.rows;
    std::vector<bool> hasPoints(rows.size(), false);
    for (const CalibrationPoint& p : result.points)
        hasPoints[static_cast<std::size_t>(p.siteRow)] = true;
    std::vector<std::string> done;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (!hasPoints[r]) {
            std::string text = "row " + std::to_string(rows[r].row) + " (" + rows[r].site + ", ";
            text += rows[r].frequencyMHz ? Fixed(*rows[r].frequencyMHz, 3) + " MHz"
                                         : "channel " + std::to_string(*rows[r].channel);
            AddOnce(result.warnings, text + "): no local mean of the drive matched it");
        }
        if (std::find(done.begin(), done.end(), rows[r].site) != done.end()) continue;
        done.push_back(rows[r].site);
        std::vector<std::size_t> site;
        for (std::size_t s = r; s < rows.size(); ++s)
            if (rows[s].site == rows[r].site && hasPoints[s]) site.push_back(s);
        if (site.empty()) continue;
        for (const std::size_t s : site) result.fits.push_back(FitRows(result, {s}, false));
        result.fits.push_back(FitRows(result, site, true));
    }
}

}  // namespace varistrum
