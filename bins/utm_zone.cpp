// SPDX-License-Identifier: GPL-3.0-or-later
// UTM zone choice and the PROJ transformation onto a zone's grid.
#include "bins/utm_zone.h"

#include <proj.h>

#include <cmath>
#include <limits>

namespace varistrum {

std::string UtmZone::Name() const {
    return std::to_string(number) + (south ? "S" : "N");
}

bool WithinUtmReach(double latitude) {
    return latitude >= kUtmSouthLimit && latitude <= kUtmNorthLimit;
}

std::optional<UtmZone> UtmZoneOf(double latitude, double longitude) {
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || longitude < -180.0 ||
        longitude > 180.0 || !WithinUtmReach(latitude))
        return std::nullopt;
    UtmZone zone;
    zone.south = latitude < 0.0;
    zone.number = static_cast<int>(std::floor((longitude + 180.0) / 6.0)) + 1;
    if (zone.number > 60) zone.number = 60;  // 180 E is the eastern edge of zone 60
    // South-western Norway: 32V reaches west to 3 E.
    if (latitude >= 56.0 && latitude < 64.0 && longitude >= 3.0 && longitude < 12.0)
        zone.number = 32;
    // Svalbard: the odd zones 31 to 37 widened over the even ones.
    if (latitude >= 72.0 && longitude >= 0.0 && longitude < 42.0) {
        if (longitude < 9.0)
            zone.number = 31;
        else if (longitude < 21.0)
            zone.number = 33;
        else if (longitude < 33.0)
            zone.number = 35;
        else
            zone.number = 37;
    }
    return zone;
}

double DegreesFromCentralMeridian(const UtmZone& zone, double longitude) {
    double difference = std::fabs(std::fmod(longitude - zone.CentralMeridian(), 360.0));
    if (difference > 180.0) difference = 360.0 - difference;
    return difference;
}

UtmProjector::UtmProjector(const UtmZone& zone) : zone_(zone) {
    context_ = proj_context_create();
    if (context_ == nullptr) {
        error_ = "PROJ could not be started";
        return;
    }
    proj_log_level(context_, PJ_LOG_NONE);
    const std::string target = "EPSG:" + std::to_string(zone.Epsg());
    PJ* raw = proj_create_crs_to_crs(context_, "EPSG:4326", target.c_str(), nullptr);
    if (raw != nullptr) {
        // Longitude first, whatever axis order the EPSG definitions give.
        transform_ = proj_normalize_for_visualization(context_, raw);
        proj_destroy(raw);
    }
    if (transform_ == nullptr) {
        const int code = proj_context_errno(context_);
        error_ = "PROJ cannot project onto UTM zone " + zone.Name() +
                 " (EPSG:" + std::to_string(zone.Epsg()) + ")";
        if (code != 0) error_ += std::string(": ") + proj_context_errno_string(context_, code);
    }
}

UtmProjector::~UtmProjector() {
    if (transform_ != nullptr) proj_destroy(transform_);
    if (context_ != nullptr) proj_context_destroy(context_);
}

void UtmProjector::Project(double* x, double* y, std::size_t count) {
    Transform(PJ_FWD, x, y, count);
}

void UtmProjector::Unproject(double* x, double* y, std::size_t count) {
    Transform(PJ_INV, x, y, count);
}

void UtmProjector::Transform(int direction, double* x, double* y, std::size_t count) {
    if (transform_ == nullptr) {
        for (std::size_t i = 0; i < count; ++i)
            x[i] = y[i] = std::numeric_limits<double>::infinity();
        return;
    }
    proj_trans_generic(transform_, static_cast<PJ_DIRECTION>(direction), x, sizeof(double), count,
                       y, sizeof(double), count, nullptr, 0, 0, nullptr, 0, 0);
    proj_errno_reset(transform_);
    // PROJ marks a position it cannot project with HUGE_VAL; make every failure infinite.
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]) || x[i] == HUGE_VAL || y[i] == HUGE_VAL)
            x[i] = y[i] = std::numeric_limits<double>::infinity();
    }
}

}  // namespace varistrum
