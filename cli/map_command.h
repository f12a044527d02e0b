// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli map: the drive as a picture, coloured by signal level, without a display.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "cli/convert_options.h"

namespace varistrum::cli {

// The picture's options; the data options are convert's.
struct MapOptions {
    std::string size = "1600x1000";
    std::string channel = "strongest";
    std::string background;
    std::string tiles;        // a tile source's name or an address with {z}, {x} and {y}
    std::string attribution;  // instead of the source's
    bool offline = false;     // tiles from the cache only
    std::string fade = "50";  // percent of fade to white of a raster or tile background
    std::string cell;         // empty: points only
    std::string cellValue = "linear-mean";
};

void AddMapOptions(CLI::App& command, ConvertOptions& data, MapOptions& map);
int MapCommand(const ConvertOptions& data, const MapOptions& map);

}  // namespace varistrum::cli
