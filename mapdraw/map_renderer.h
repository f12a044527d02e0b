// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the drive map into an image: background, routes, coloured points, legend, scale bar,
// the tiles' attribution and a saved picture's title line.
// QtGui only, so that the command line draws the same picture without a display.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <string>

#include "bins/map_cells.h"
#include "geodata/level_ramp.h"
#include "map/map_background.h"
#include "map/map_collector.h"

namespace varistrum {

// The sides a map picture may have, in pixels. A picture takes four bytes a pixel while it is
// drawn and written: 6 MiB at 1600x1000, 256 MiB at the largest.
inline constexpr int kPictureSideMin = 64;
inline constexpr int kPictureSideMax = 8192;

struct MapScene {
    MapScene(const MapData* data = nullptr, MapBackground* background = nullptr,
             std::uint16_t channel = MapChannels::kStrongest, LevelRamp ramp = LevelRamp(),
             int fadePercent = 50, std::string title = {}, const MapCellLayer* cells = nullptr)
        : data(data),
          background(background),
          channel(channel),
          ramp(ramp),
          fadePercent(fadePercent),
          title(std::move(title)),
          cells(cells) {}

    const MapData* data = nullptr;
    MapBackground* background = nullptr;  // none when null; read as the view is drawn
    std::uint16_t channel = MapChannels::kStrongest;
    LevelRamp ramp;
    // How far a raster or tile background fades to white: 0 full colour, 100 white.
    int fadePercent = 50;
    // The saved picture's first line (MapTitle); none when empty.
    std::string title;
    // Cells drawn instead of the points when the points in view would pile up (more points
    // than pixels their centres fall on); none when null. A difference layer is always drawn.
    const MapCellLayer* cells = nullptr;
};

// Whether the view shows the scene's cells rather than its points.
bool ShowsCells(const MapViewport& view, const MapScene& scene);

// The view of `size` that shows the whole drive (and the background when there is no drive).
MapViewport FittedView(const MapScene& scene, QSize size);

// Fills `image` (Format_RGB32, the view's size) with white paper and the background as `view`
// sees it; how the background's draw went (a problem leaves the paper white).
BackgroundDraw DrawBackground(QImage& image, const MapViewport& view, const MapScene& scene);
// Draws the drive over it: routes, points, legend, scale bar, the attribution and the title.
void DrawForeground(QImage& image, const MapViewport& view, const MapScene& scene);
// Both.
BackgroundDraw DrawMap(QImage& image, const MapViewport& view, const MapScene& scene);
// The title line across the top of a picture.
void DrawTitle(QImage& image, const std::string& title);

// A new image of the view's size with the map drawn; throws std::bad_alloc when the image cannot
// be had. `background` (when given) tells how the background's draw went.
QImage RenderMap(const MapViewport& view, const MapScene& scene,
                 BackgroundDraw* background = nullptr);

// The scale bar's ground length for a view: 1, 2 or 5 times a power of ten metres, at most
// `maxPixels` long; and its text ("500 m", "2 km").
double ScaleBarMetres(double metresPerPixel, int maxPixels);
std::string DistanceText(double metres);

}  // namespace varistrum
