// SPDX-License-Identifier: GPL-3.0-or-later
// Filing the samples layer's points for the map.
#include "map/map_collector.h"

#include <algorithm>

#include "map/time_code.h"

namespace varistrum {

namespace {

StoredPoint StoredOf(const SamplePoint& point, std::uint16_t channel, std::uint16_t scan) {
    StoredPoint stored;
    stored.position = ToFixed(ProjectToWorld(point.longitude, point.latitude));
    stored.levelCentiDbm = CentiDbm(point.rssiDbm);
    stored.channel = channel;
    stored.scan = scan;
    stored.samples = static_cast<std::uint16_t>(std::clamp(point.samples, 0, 65535));
    stored.time = PackTime(point.time);
    return stored;
}

bool SameCell(FixedPoint a, FixedPoint b, int shift) {
    return a.x >> shift == b.x >> shift && a.y >> shift == b.y >> shift;
}

// Keeps the first of consecutive points in one cell, and the line's last point, so that a
// thinned route still ends where it ended.
void KeepOneACell(std::vector<FixedPoint>& points, int shift) {
    if (points.size() <= 2) return;
    const FixedPoint last = points.back();
    std::size_t kept = 0;
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        if (kept == 0 || !SameCell(points[kept - 1], points[i], shift)) points[kept++] = points[i];
    }
    points[kept++] = last;
    points.resize(kept);
}

}  // namespace

const LevelCounts& MapData::LevelsOf(std::uint16_t channel) const {
    static const LevelCounts kNone;
    return channel < levels.size() ? levels[channel] : kNone;
}

WorldPoint MapData::Minimum() const {
    WorldPoint minimum = points.Minimum();
    for (const MapRoute& route : routes) {
        for (const FixedPoint& p : route.points)
            minimum = {std::min(minimum.x, p.x * kFixedStep),
                       std::min(minimum.y, p.y * kFixedStep)};
    }
    return minimum;
}

WorldPoint MapData::Maximum() const {
    WorldPoint maximum = points.Maximum();
    for (const MapRoute& route : routes) {
        for (const FixedPoint& p : route.points)
            maximum = {std::max(maximum.x, p.x * kFixedStep),
                       std::max(maximum.y, p.y * kFixedStep)};
    }
    return maximum;
}

void MapCollector::BeginScan(int scan, ScanKind kind) {
    FileStrongest();
    ScanIndexOf(scan, kind);
}

std::uint16_t MapCollector::ScanIndexOf(int scan, ScanKind kind) {
    // Scans follow each other: the last one is nearly always the one asked for.
    for (std::size_t i = data_.scans.size(); i-- > 0;) {
        if (data_.scans[i].number == scan) return static_cast<std::uint16_t>(i);
    }
    if (data_.scans.size() >= 65535) return 65534;
    data_.scans.push_back({scan, kind});
    return static_cast<std::uint16_t>(data_.scans.size() - 1);
}

void MapCollector::AcceptPoint(const SamplePoint& point) {
    if (rowOpen_ && (point.row != row_ || point.scan != rowScan_)) FileStrongest();
    const std::uint16_t channel = data_.channels.IdOf(point.channel, point.frequencyMHz);
    const std::uint16_t scan = ScanIndexOf(point.scan, point.scanKind);
    const StoredPoint stored = StoredOf(point, channel, scan);
    data_.points.Add(channel, stored);
    if (data_.levels.size() <= channel) data_.levels.resize(channel + std::size_t{1});
    data_.levels[channel].Add(DeciDbm(point.rssiDbm), point.samples);
    if (!rowOpen_ || point.rssiDbm > strongestDbm_) {
        strongestDbm_ = point.rssiDbm;
        strongest_ = stored;
    }
    rowOpen_ = true;
    row_ = point.row;
    rowScan_ = point.scan;
}

void MapCollector::FileStrongest() {
    if (!rowOpen_) return;
    rowOpen_ = false;
    data_.points.Add(MapChannels::kStrongest, strongest_);
    if (data_.levels.empty()) data_.levels.resize(1);
    data_.levels[MapChannels::kStrongest].Add(DeciDbm(strongestDbm_), strongest_.samples);
}

void MapCollector::AcceptRoute(const RouteLine& route) {
    // Only the shown scans' routes: the fixes of a scan left out of the map still make one.
    const auto shown = std::find_if(data_.scans.begin(), data_.scans.end(),
                                    [&](const MapScan& scan) { return scan.number == route.scan; });
    if (shown == data_.scans.end()) return;
    MapRoute stored;
    stored.scan = static_cast<std::uint16_t>(shown - data_.scans.begin());
    FixedPoint p{};
    for (const GeoPosition& fix : route.points) {
        p = ToFixed(ProjectToWorld(fix.longitude, fix.latitude));
        if (stored.points.empty() || !SameCell(stored.points.back(), p, routeCellShift_))
            stored.points.push_back(p);
    }
    // In cells coarser than the first the route keeps its last fix, as thinning keeps it.
    const bool coarser = routeCellShift_ > kFirstRouteCellShift;
    if (coarser && !stored.points.empty() &&
        (stored.points.back().x != p.x || stored.points.back().y != p.y))
        stored.points.push_back(p);
    if (stored.points.size() == 1) stored.points.push_back(stored.points.back());
    stored.points.shrink_to_fit();
    routePoints_ += stored.points.size();
    data_.routes.push_back(std::move(stored));
    if (routePoints_ > routeCapacity_) ThinRoutes();
}

void MapCollector::ThinRoutes() {
    while (routePoints_ > routeCapacity_ / 2 && routeCellShift_ < 31) {
        ++routeCellShift_;
        routePoints_ = 0;
        for (MapRoute& route : data_.routes) {
            KeepOneACell(route.points, routeCellShift_);
            route.points.shrink_to_fit();
            routePoints_ += route.points.size();
        }
    }
}

void MapCollector::Finish() {
    FileStrongest();
}

}  // namespace varistrum
