// SPDX-License-Identifier: GPL-3.0-or-later
// What is drawn under the drive: a vector file, a raster file or a tile service, read through
// GDAL for the view on screen only. A background file is an input: opened read-only, and a
// named pipe or device is never opened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "map/tile_service.h"
#include "map/web_mercator.h"

namespace varistrum {

struct WorldBox {
    WorldPoint minimum, maximum;
};

// The pixels a raster background is drawn into: the view's size, four bytes a pixel of which
// three are red, green and blue at the given offsets, and `coverage` (one byte a pixel, rows
// of `width`): how much of each pixel the background covers, 0 to 255.
struct RasterTarget {
    std::uint8_t* pixels = nullptr;
    std::ptrdiff_t stride = 0;  // bytes from one row to the next
    int redByte = 0, greenByte = 1, blueByte = 2;
    std::uint8_t* coverage = nullptr;
};

// How a draw of the background went. A problem leaves nothing of the background drawn.
struct BackgroundDraw {
    enum class Outcome {
        Drawn,        // (possibly nothing: the view lies beside the background)
        NothingKept,  // offline, and no tile of the view is in the cache
        Refused,      // the view needs more tiles than a run may fetch
        Failed,       // GDAL could not read or fetch it
    };
    Outcome outcome = Outcome::Drawn;
    std::string message;  // for the user, empty when drawn
    bool Problem() const { return outcome != Outcome::Drawn; }
};

class MapBackground {
  public:
    enum class Kind { Vector, Raster, Tiles };

    virtual ~MapBackground() = default;
    Kind GetKind() const { return kind_; }
    // The file's name or the tile source's: the legend's and the window's title's.
    const std::string& Name() const { return name_; }
    // The text the tiles' terms ask to be shown with them; empty for files.
    const std::string& Attribution() const { return attribution_; }

    // The box the background covers on the world square, when it has one (a tile service
    // covers the world: none). May read every feature of a vector file without a stored
    // extent.
    virtual std::optional<WorldBox> Extent() = 0;

    // Vector backgrounds: calls `line` with each line, polygon ring and point (a line of one
    // position) of the features inside the view, in world coordinates. The features outside
    // the view are not read (a spatial filter), and none is kept after its call.
    using LineVisitor = std::function<void(const WorldPoint* points, std::size_t count)>;
    virtual BackgroundDraw VisitLines(const MapViewport& view, const LineVisitor& line);

    // Raster backgrounds and tiles: the view's part, reprojected to Web Mercator from the
    // overview that fits the view's scale, resampled bilinearly.
    virtual BackgroundDraw DrawRaster(const MapViewport& view, const RasterTarget& target);

  protected:
    MapBackground(Kind kind, std::string name, std::string attribution)
        : kind_(kind), name_(std::move(name)), attribution_(std::move(attribution)) {}

  private:
    Kind kind_;
    std::string name_, attribution_;
};

// Opens a file GDAL reads as vector layers (GeoPackage, shapefile, GeoJSON, CSV with a
// coordinate system) or as a raster of 8-bit colours or grey (GeoTIFF, MBTiles, GeoPackage
// tiles, JPEG or PNG with a world file and a coordinate system); a file with vector layers is
// read as vectors. Null, with the error text for the user in `error`, when it cannot be read,
// is not a regular file or folder, or a layer or the raster has no coordinate system.
std::unique_ptr<MapBackground> OpenBackgroundFile(const std::string& path, std::string& error);

// Opens a tile service; null with the error text when the description is refused.
std::unique_ptr<MapBackground> OpenTileService(const TileService& service, std::string& error);

}  // namespace varistrum
