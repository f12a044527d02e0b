// SPDX-License-Identifier: GPL-3.0-or-later
// Default styles stored in a GeoPackage's `layer_styles` table, the table QGIS reads when it
// opens a layer, and the categorised QML documents they hold.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "geodata/level_ramp.h"

class GDALDataset;

namespace varistrum {

// The start of every QML document we write (the renderer and the closing tag follow).
inline constexpr const char* kQmlHead =
    "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n"
    "<qgis version=\"3.22.0\" styleCategories=\"Symbology\">\n";

// A class of a categorised style: the features whose expression gives its index (0, 1, ...).
struct StyleCategory {
    RgbColour colour;
    std::string label;
};

// What the categories draw: filled polygons without outline, or round point markers.
enum class StyleSymbol { Fill, Marker };

// A QGIS style (QML) drawing the features in the category whose index the expression gives.
std::string CategorisedStyle(std::string_view expression, std::span<const StyleCategory> categories,
                             StyleSymbol symbol);

// A point style: the level ramp's six bands by an integer field holding the band (0-5), with
// the legend's labels ("-90 to -80 dBm").
std::string LevelBandPointStyle(const LevelRamp& ramp, std::string_view bandField);

// A layer's default style, as a row of `layer_styles`.
struct StoredLayerStyle {
    std::string layer;           // the table the style is for
    std::string geometryColumn;  // its geometry column
    std::string name;            // the style's name in QGIS's list
    std::string qml;
    std::string description;
};

// Adds the style to the dataset's `layer_styles` table (made when missing) as its layer's
// default; false with GDAL's message (or ours) in `error`.
bool StoreLayerStyle(GDALDataset& dataset, const StoredLayerStyle& style, std::string* error);

}  // namespace varistrum
