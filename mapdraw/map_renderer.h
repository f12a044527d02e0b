// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the drive map into an image: background, routes, coloured points, legend, scale bar.
// QtGui only, so that the command line draws the same picture without a display.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>

#include "bins/map_cells.h"
#include "geodata/level_ramp.h"
#include "map/background_layer.h"
#include "map/map_collector.h"

namespace varistrum {

// The sides a map picture may have, in pixels. A picture takes four bytes a pixel while it is
// drawn and written: 6 MiB at 1600x1000, 256 MiB at the largest.
inline constexpr int kPictureSideMin = 64;
inline constexpr int kPictureSideMax = 8192;

struct MapScene {
    const MapData* data = nullptr;
    const BackgroundLayer* background = nullptr;  // none when null
    std::uint16_t channel = MapChannels::kStrongest;
    LevelRamp ramp;
    // Cells drawn instead of the points when the points in view would pile up (more points
    // than pixels their centres fall on); none when null. A difference layer is always drawn.
    const MapCellLayer* cells = nullptr;
};

// Whether the view shows the scene's cells rather than its points.
bool ShowsCells(const MapViewport& view, const MapScene& scene);

// The view of `size` that shows the whole drive (and the background when there is no drive).
MapViewport FittedView(const MapScene& scene, QSize size);

// Draws the map as `view` sees it into `image` (Format_RGB32, the view's size).
void DrawMap(QImage& image, const MapViewport& view, const MapScene& scene);

// A new image of the view's size with the map drawn; throws std::bad_alloc when the image cannot
// be had.
QImage RenderMap(const MapViewport& view, const MapScene& scene);

// The scale bar's ground length for a view: 1, 2 or 5 times a power of ten metres, at most
// `maxPixels` long; and its text ("500 m", "2 km").
double ScaleBarMetres(double metresPerPixel, int maxPixels);
std::string DistanceText(double metres);

}  // namespace varistrum
