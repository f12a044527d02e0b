// SPDX-License-Identifier: GPL-3.0-or-later
// The map as a picture file a GIS can place: what the window's "Save Image..." and the command
// line write.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/output_set.h"
#include "mapdraw/map_renderer.h"

namespace varistrum {

// The files a map picture named `path` makes: a GeoTIFF alone for a name ending in .tif or
// .tiff (any case); else the PNG, its world file and GDAL's side file with the coordinate
// system (the PNG alone when `path` is a device or named pipe: nothing lies beside those).
std::vector<std::string> MapPictureFiles(const std::string& path);
// Why those files cannot be written, said before anything is drawn; nullopt when they can.
std::optional<OutputRefusal> CheckMapPictureFiles(const std::string& path);

// Writes `image`, a picture of `view`, with its georeference as MapPictureFiles names, one set
// through the one output writer: all are checked before any is written and put in place
// together (an earlier picture and its side files stay when one cannot be written). `title` is
// the picture's stored title, in valid UTF-8. False with the file's name and the system's
// reason.
bool WriteMapImage(const QImage& image, const MapViewport& view, const std::string& path,
                   const std::string& title, std::string& failedPath, std::string& reason);

// Draws the whole drive at `width` x `height` pixels and writes it as WriteMapImage does;
// `background` tells how the background's draw went: one that was refused or failed writes
// nothing (false, with the background's message as the reason). Without an application object (the
// command line) it makes one on the offscreen platform, unless QT_QPA_PLATFORM names another:
// no display is needed.
bool WriteMapPicture(const MapScene& scene, int width, int height, const std::string& path,
                     std::string& failedPath, std::string& reason,
                     BackgroundDraw* background = nullptr);

// An image as the bytes of a PNG file, `title` stored as its Title; false with the reason.
bool EncodePng(const QImage& image, const std::string& title, std::string& png,
               std::string& reason);

// Writes an image as a PNG alone (no georeference): a window's screenshot, a plot.
bool WritePng(const QImage& image, const std::string& path, const std::string& title,
              std::string& reason);

}  // namespace varistrum
