// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the drive map into an image: background, routes, coloured points, legend, scale bar.
// QtGui only, so that the command line draws the same picture without a display.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>

#include "geodata/level_ramp.h"
#include "map/background_layer.h"
#include "map/map_collector.h"

namespace varistrum {

struct MapScene {
    const MapData* data = nullptr;
    const BackgroundLayer* background = nullptr;  // none when null
    std::uint16_t channel = MapChannels::kStrongest;
    LevelRamp ramp;
};

// The view of `size` that shows the whole drive (and the background when there is no drive).
MapViewport FittedView(const MapScene& scene, QSize size);

// Draws the map as `view` sees it into `image` (Format_RGB32, the view's size).
void DrawMap(QImage& image, const MapViewport& view, const MapScene& scene);

// A new image of the view's size with the map drawn.
QImage RenderMap(const MapViewport& view, const MapScene& scene);

// The scale bar's ground length for a view: 1, 2 or 5 times a power of ten metres, at most
// `maxPixels` long; and its text ("500 m", "2 km").
double ScaleBarMetres(double metresPerPixel, int maxPixels);
std::string DistanceText(double metres);

}  // namespace varistrum
