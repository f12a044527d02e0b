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
// channel of each row (the row's best level).
class MapCollector : public SampleLayerConsumer {
  public:
    explicit MapCollector(MapData& data) : data_(data) {}
    ~MapCollector() override { Finish(); }

    void BeginScan(int scan, ScanKind kind) override;
    void AcceptPoint(const SamplePoint& point) override;
    void AcceptRoute(const RouteLine& route) override;
    // Files the last row's strongest point; called at the end of the collection.
    void Finish();

  private:
    std::uint16_t ScanIndexOf(int scan, ScanKind kind);
    void FileStrongest();

    MapData& data_;
    bool rowOpen_ = false;
    std::int64_t row_ = 0;
    int rowScan_ = 0;
    double strongestDbm_ = 0.0;
    StoredPoint strongest_;
};

}  // namespace varistrum
