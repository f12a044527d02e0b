// SPDX-License-Identifier: GPL-3.0-or-later
// The points a map draws, in flat arrays per channel, with memory bounded at any file size.
#pragma once

#include <cstdint>
#include <vector>

#include "map/web_mercator.h"

namespace varistrum {

// The points of one channel (or of the strongest channel), one array per value.
struct ChannelPoints {
    std::vector<std::uint32_t> x, y;          // fixed world position
    std::vector<std::int16_t> levelCentiDbm;  // the level in hundredths of a dB
    std::vector<std::uint16_t> channel;       // the channel id (the strongest's own channel)
    std::vector<std::uint16_t> scan;          // index into the map's scan list
    std::vector<std::uint16_t> samples;       // samples the level stands for (at most 65535)
    std::vector<std::uint64_t> time;          // PackTime code

    std::size_t Size() const { return x.size(); }
    void Clear();
};

struct StoredPoint {
    FixedPoint position;
    std::int16_t levelCentiDbm = 0;
    std::uint16_t channel = 0;
    std::uint16_t scan = 0;
    std::uint16_t samples = 1;
    std::uint64_t time = 0;
};

// Keeps at most `capacity` points, so that memory stays bounded at any file size: the arrays of
// all channels together never hold room for more (they grow by doubling within what is left).
// When a channel's arrays are full and no room is left, the points are thinned to one a cell of
// a grid whose cells double until half the capacity is left; the first point of a cell (in file
// order) stays. Points of one cell fall on one pixel at every zoom up to the one where a cell is
// a pixel, so a whole drive looks the same; zoomed in closer, a thinned drive shows gaps. The
// statistics count every point regardless.
class MapPointStore {
  public:
    // The bytes of a point in the arrays; thinning needs 12 more a point of one channel while
    // it runs.
    static constexpr std::size_t kBytesPerPoint =
        2 * sizeof(std::uint32_t) + 4 * sizeof(std::uint16_t) + sizeof(std::uint64_t);
    // What the arrays may take: with the thinning's own and a growing array's old copy, the
    // store stays within about 1.5 times this.
    static constexpr std::size_t kDefaultBytes = std::size_t{16} << 20;
    static constexpr std::size_t kDefaultCapacity = kDefaultBytes / kBytesPerPoint;  // 699,050
    explicit MapPointStore(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

    void Add(std::uint16_t group, const StoredPoint& point);
    const ChannelPoints& Group(std::uint16_t group) const;
    std::size_t Total() const { return total_; }
    // log2 of the thinning grid's cell side in fixed steps; 0 while nothing was thinned.
    int CellShift() const { return cellShift_; }
    // The box around every point; minimum > maximum while there is none.
    WorldPoint Minimum() const { return minimum_; }
    WorldPoint Maximum() const { return maximum_; }
    void Clear();

    // Points the arrays have room for, in all channels: never more than the capacity (beyond
    // it only when so many channels hold a few points each that thinning frees no room).
    std::size_t Reserved() const { return reserved_; }

  private:
    // Makes room for more points in full arrays: false when no room is left.
    bool Grow(ChannelPoints& points);
    void Reserve(ChannelPoints& points, std::size_t count);
    void Thin();
    void ThinGroup(ChannelPoints& points);

    std::size_t capacity_;
    std::size_t total_ = 0;
    std::size_t reserved_ = 0;
    int cellShift_ = 0;
    std::vector<ChannelPoints> groups_;
    WorldPoint minimum_{1.0, 1.0};
    WorldPoint maximum_{0.0, 0.0};
};

}  // namespace varistrum
