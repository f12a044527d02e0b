// SPDX-License-Identifier: GPL-3.0-or-later
// A tile service as GDAL reads it: its description, the user's tile cache, the tiles a view
// needs and the run's budget of tiles.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <tuple>

#include "map/web_mercator.h"

namespace varistrum {

struct TileService {
    std::string name;
    std::string urlTemplate;  // {z}, {x} and {y} once each
    std::string attribution;
    int maxZoom = 19;
    bool offline = false;  // the cache only: nothing is fetched
};

// No run asks a tile service for more distinct tiles than this: the services' policies forbid
// bulk downloading.
inline constexpr int kTilesPerRun = 1000;
// Tiles fetched are kept at least this long before they are fetched again.
inline constexpr int kTileCacheSeconds = 7 * 24 * 3600;

// "Varistrum-CW/6.15.0": the User-Agent of every tile request.
std::string TileUserAgent();

// The user's tile cache: $XDG_CACHE_HOME/varistrum/tiles when XDG_CACHE_HOME is an absolute
// path, else ~/.cache/varistrum/tiles (the home from HOME, or the user database). Empty when
// the user has no home: tiles are then not cached, and never into the current folder.
std::string TileCacheFolder();

// The zoom whose tiles have the size of the view's pixels (the nearest power of two), at most
// `maxZoom`.
int TileZoomFor(double scale, int maxZoom);

// Tiles [x0, x1] x [y0, y1] of one zoom (inclusive).
struct TileRange {
    int zoom = 0;
    std::int64_t x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    std::int64_t Count() const { return x1 < x0 || y1 < y0 ? 0 : (x1 - x0 + 1) * (y1 - y0 + 1); }
};

// The tiles of `zoom` under the view, with `margin` pixels of that zoom around it (what a
// resampling reads beyond the edge); an empty range when the view is beside the world.
TileRange TilesOfView(const MapViewport& view, int zoom, double margin);

// GDAL's description of the service: the TMS reader of its WMS driver over the whole Web
// Mercator square, four bands (a missing tile is transparent), at most two connections, the
// User-Agent, the cache in `cacheFolder` (none when empty) kept kTileCacheSeconds, or read
// whatever its age when offline.
std::string TileServiceXml(const TileService& service, const std::string& cacheFolder);

// The distinct tiles a run asks the tile services for, at most kTilesPerRun.
class TileBudget {
  public:
    // Reserves the tiles of `range` of the service at `urlTemplate`; the refusal for the user
    // when they would take the budget beyond kTilesPerRun distinct tiles (nothing is reserved
    // then), empty when they may be fetched.
    std::string Reserve(const std::string& urlTemplate, const TileRange& range);
    // The run's budget, shared by every tile service of the process.
    static TileBudget& OfRun();

  private:
    std::mutex lock_;
    std::set<std::tuple<std::string, int, std::int64_t, std::int64_t>> reserved_;
};

}  // namespace varistrum
