// SPDX-License-Identifier: GPL-3.0-or-later
// Tile services a map background can come from: the built-in one, the user's, and their checks.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace varistrum {

// A service of square tiles of 256 pixels in Web Mercator, addressed by zoom, column and row.
struct TileSource {
    std::string name;
    std::string urlTemplate;  // http(s)://host/{z}/{x}/{y}.png
    std::string attribution;  // drawn in the map's corner whenever its tiles are shown
    int maxZoom = 19;

    bool operator==(const TileSource&) const = default;
};

// The zooms a tile source may name: tile columns of zoom 22 still number fewer than 2^31
// pixels across the world.
inline constexpr int kMaxTileZoom = 22;

// The first entry of every list: the standard tiles of the open street map, with the
// attribution its tile policy asks for.
TileSource BuiltInTileSource();

// Why a source cannot be used ("The tile address must hold {z}, {x} and {y} once each"), or
// nullopt: a name, an http or https address with {z}, {x} and {y} once each and no other
// braces, blanks or control characters, one-line texts, a maximum zoom of 0 to kMaxTileZoom.
std::optional<std::string> TileSourceProblem(const TileSource& source);

// The source named `nameOrAddress`: the built-in one ("osm" or its name), a configured one by
// name (ASCII case ignored), or, for an address with "://", a source of that address named by
// its host, without attribution. Nullopt when no source has that name.
std::optional<TileSource> FindTileSource(const std::vector<TileSource>& configured,
                                         const std::string& nameOrAddress);

}  // namespace varistrum
