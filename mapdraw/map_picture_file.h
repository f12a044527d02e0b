// SPDX-License-Identifier: GPL-3.0-or-later
// The map as a PNG file: what the window's "Save Image..." and the command line write.
#pragma once

#include <string>

#include "mapdraw/map_renderer.h"

namespace varistrum {

// Draws the whole drive at `width` x `height` pixels and writes it as PNG through the one
// output writer (a temporary file put in place when complete; a device or named pipe with a
// reader is written directly). `title` (the log's name) is stored as the picture's Title, in
// valid UTF-8. False, with the system's reason, when the picture cannot be written: no file is
// left then and an earlier picture stays. Without an application object (the command line) it
// makes one on the offscreen platform, unless QT_QPA_PLATFORM names another: no display is
// needed.
bool WriteMapPicture(const MapScene& scene, int width, int height, const std::string& path,
                     const std::string& title, std::string& reason);

// An image as the bytes of a PNG file, `title` stored as its Title; false with the reason.
bool EncodePng(const QImage& image, const std::string& title, std::string& png,
               std::string& reason);

// Writes an image as PNG, as WriteMapPicture does.
bool WritePng(const QImage& image, const std::string& path, const std::string& title,
              std::string& reason);

}  // namespace varistrum
