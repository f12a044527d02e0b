// SPDX-License-Identifier: GPL-3.0-or-later
// The map as a PNG file: what the window's "Save Image..." and the command line write.
#pragma once

#include <string>

#include "mapdraw/map_renderer.h"

namespace varistrum {

// Draws the whole drive at `width` x `height` pixels and writes it as PNG; false (and no file)
// when it cannot be written. Without an application object (the command line) it makes one on
// the offscreen platform, unless QT_QPA_PLATFORM names another: no display is needed.
bool WriteMapPicture(const MapScene& scene, int width, int height, const std::string& path);

// Writes an image as PNG; false (and no file) when it cannot be written.
bool WritePng(const QImage& image, const std::string& path);

}  // namespace varistrum
