// SPDX-License-Identifier: GPL-3.0-or-later
// Collects the drive's points and routes for the map: what the map draws and counts.
#pragma once

#include <cstdint>
#include <vector>

#include "geodata/sample_layer.h"
#include "map/level_statistics.h"
#include "map/map_channels.h"
#include "map/map_points.h"

namespace varistrum {

struct MapScan {
    int number = 0;
    ScanKind kind = ScanKind::None;
};

// A scan's route as stored: consecutive fixes closer than a few metres are one.
struct MapRoute {
    std::uint16_t scan = 0;
    std::vector<FixedPoint> points;
};

// Everything the map shows of a drive.
struct MapData {
    MapPointStore points;
    MapChannels channels;
    std::vector<MapScan> scans;
    std::vector<MapRoute> routes;
    std::vector<LevelCounts> levels;  // per channel id: every point, also the thinned ones

    const LevelCounts& LevelsOf(std::uint16_t channel) const;
    // The box of the points and routes; minimum > maximum when there is nothing.
    WorldPoint Minimum() const;
    WorldPoint Maximum() const;
};

// Takes the samples layer's points and routes and files them by channel, adding the strongest
// channel of each row (the row's best level). Consecutive route fixes in one cell of a grid are
// one; the routes of all scans together keep at most `routeCapacity` points (eight bytes each):
// beyond, the cells double until half of it is left, as the point store thins its points.
class MapCollector : public SampleLayerConsumer {
  public:
    static constexpr std::size_t kDefaultRouteCapacity = 500'000;
    static constexpr int kFirstRouteCellShift = 8;  // about 2.4 m at the equator
    explicit MapCollector(MapData& data, std::size_t routeCapacity = kDefaultRouteCapacity)
        : data_(data), routeCapacity_(routeCapacity) {}
    ~MapCollector() override { Finish(); }

    void BeginScan(int scan, ScanKind kind) override;
    void AcceptPoint(const SamplePoint& point) override;
    void AcceptRoute(const RouteLine& route) override;
    // Files the last row's strongest point; called at the end of the collection.
    void Finish();

  private:
    std::uint16_t ScanIndexOf(int scan, ScanKind kind);
    void FileStrongest();
    void ThinRoutes();

    MapData& data_;
    std::size_t routeCapacity_;
    std::size_t routePoints_ = 0;
    int routeCellShift_ = kFirstRouteCellShift;
    bool rowOpen_ = false;
    std::int64_t row_ = 0;
    int rowScan_ = 0;
    double strongestDbm_ = 0.0;
    StoredPoint strongest_;
};

}  // namespace varistrum
