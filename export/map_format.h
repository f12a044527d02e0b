// SPDX-License-Identifier: GPL-3.0-or-later
// The output formats of a conversion: delimited text and the map layer formats.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varistrum {

enum class MapFormat { Text, GeoPackage, GeoJson, FlatGeobuf, Kml, Csv };

// "text", "gpkg", "geojson", "fgb", "kml", "csv": the names the command line takes.
std::string_view FormatName(MapFormat format);
std::optional<MapFormat> FormatOfName(std::string_view name);
// ".gpkg", ".geojson", ".fgb", ".kml", ".csv"; ".out" for text.
std::string_view FormatExtension(MapFormat format);
// The map format an output name's extension selects (case-insensitive); nullopt for any other
// name, which is text. A ".csv" name is text too: only --format csv chooses the CSV table.
std::optional<MapFormat> MapFormatOfPath(std::string_view path);
// The second file of a GeoJSON export, which holds the route: "drive.route.geojson" beside
// "drive.geojson".
std::string RouteFileOf(const std::string& geojsonPath);
// What the save dialog offers: "GeoPackage (*.gpkg)" and the like.
std::string_view FormatDescription(MapFormat format);

}  // namespace varistrum
