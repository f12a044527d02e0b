// SPDX-License-Identifier: GPL-3.0-or-later
// Names and extensions of the output formats.
#include "export/map_format.h"

#include <array>
#include <cctype>

namespace varistrum {

namespace {

struct FormatEntry {
    MapFormat format;
    std::string_view name, extension, description;
};

constexpr std::array<FormatEntry, 6> kFormats = {{
    {MapFormat::Text, "text", ".out", "Delimited text (*.out)"},
    {MapFormat::GeoPackage, "gpkg", ".gpkg", "GeoPackage (*.gpkg)"},
    {MapFormat::GeoJson, "geojson", ".geojson", "GeoJSON (*.geojson)"},
    {MapFormat::FlatGeobuf, "fgb", ".fgb", "FlatGeobuf (*.fgb)"},
    {MapFormat::Kml, "kml", ".kml", "KML (*.kml)"},
    {MapFormat::Csv, "csv", ".csv", "CSV table of the samples (*.csv)"},
}};

const FormatEntry& EntryOf(MapFormat format) {
    for (const FormatEntry& entry : kFormats) {
        if (entry.format == format) return entry;
    }
    return kFormats[0];
}

bool EndsWithNoCase(std::string_view text, std::string_view ending) {
    if (text.size() < ending.size()) return false;
    const std::string_view tail = text.substr(text.size() - ending.size());
    for (std::size_t i = 0; i < ending.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(tail[i])) != ending[i]) return false;
    }
    return true;
}

}  // namespace

std::string_view FormatName(MapFormat format) {
    return EntryOf(format).name;
}

std::optional<MapFormat> FormatOfName(std::string_view name) {
    for (const FormatEntry& entry : kFormats) {
        if (entry.name == name) return entry.format;
    }
    return std::nullopt;
}

std::string_view FormatExtension(MapFormat format) {
    return EntryOf(format).extension;
}

std::string_view FormatDescription(MapFormat format) {
    return EntryOf(format).description;
}

std::optional<MapFormat> MapFormatOfPath(std::string_view path) {
    for (const FormatEntry& entry : kFormats) {
        if (entry.format != MapFormat::Text && entry.format != MapFormat::Csv &&
            EndsWithNoCase(path, entry.extension))
            return entry.format;
    }
    return std::nullopt;
}

std::string RouteFileOf(const std::string& geojsonPath) {
    const std::string_view extension = FormatExtension(MapFormat::GeoJson);
    std::string stem = geojsonPath;
    if (EndsWithNoCase(stem, extension)) stem.resize(stem.size() - extension.size());
    return stem + ".route" + std::string(extension);
}

}  // namespace varistrum
