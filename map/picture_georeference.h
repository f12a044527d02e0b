// SPDX-License-Identifier: GPL-3.0-or-later
// Where a map picture lies on the earth, as a GIS reads it: a world file and GDAL's side file
// beside a PNG, or a GeoTIFF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "map/web_mercator.h"

namespace varistrum {

// A picture of a view in Web Mercator (EPSG:3857) metres: the top-left corner of its top-left
// pixel and the side of a pixel.
struct PictureGeoreference {
    double left = 0.0, top = 0.0, pixelSize = 1.0;
};
PictureGeoreference GeoreferenceOf(const MapViewport& view);

// The world file GDAL reads beside a picture: "map.pgw" for "map.png" (the extension's first
// and last letters and a w), "NAME.wld" for a name with an extension shorter than two letters
// or none.
std::string WorldFilePathOf(const std::string& picture);
// Its six lines (CRLF): the pixel's width, two zero rotations, the pixel's negative height,
// and the centre of the top-left pixel.
std::string WorldFileText(const PictureGeoreference& georeference);
// GDAL's side file of a picture ("map.png.aux.xml"), which holds its coordinate system: a
// PNG carries none, and GDAL reads no .prj beside one.
std::string AuxPathOf(const std::string& picture);
std::string WebMercatorAuxXml();

// Pixels of four bytes, three of them red, green and blue at the given offsets.
struct PicturePixels {
    const std::uint8_t* first = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0, height = 0;
    int redByte = 0, greenByte = 1, blueByte = 2;
};

// Writes the picture as a deflated GeoTIFF in Web Mercator at `path` (a work file of the one
// writer), `title` as its description; false with GDAL's reason.
bool WriteGeoTiff(const std::string& path, const PicturePixels& pixels,
                  const PictureGeoreference& georeference, const std::string& title,
                  std::string& reason);

}  // namespace varistrum
