// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in tile source, the checks of a user's source and finding one by name.
#include "settings/tile_sources.h"

#include <algorithm>

namespace varistrum {

namespace {

bool SameText(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

bool HasLineBreakOrControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

}  // namespace

TileSource BuiltInTileSource() {
    return {"OpenStreetMap", "https://tile.openstreetmap.org/{z}/{x}/{y}.png",
            "(c) OpenStreetMap contributors", 19};
}

std::optional<std::string> TileSourceProblem(const TileSource& source) {
    if (source.name.empty() || HasLineBreakOrControl(source.name))
        return "A tile source needs a name of one line";
    if (HasLineBreakOrControl(source.attribution))
        return "The attribution of tile source '" + source.name + "' must be one line";
    const std::string& url = source.urlTemplate;
    if (url.rfind("https://", 0) != 0 && url.rfind("http://", 0) != 0)
        return "The tile address of '" + source.name + "' must start with https:// or http://";
    if (std::any_of(url.begin(), url.end(), [](char c) {
            return static_cast<unsigned char>(c) <= 0x20 || c == 0x7f || c == '"' || c == '<' ||
                   c == '>' || c == '\\';
        }))
        return "The tile address of '" + source.name +
               "' holds a blank, a quote or a control character";
    if (Occurrences(url, "{z}") != 1 || Occurrences(url, "{x}") != 1 ||
        Occurrences(url, "{y}") != 1 || Occurrences(url, "{") != 3 || Occurrences(url, "}") != 3)
        return "The tile address of '" + source.name +
               "' must hold {z}, {x} and {y} once each and no other braces";
    if (source.maxZoom < 0 || source.maxZoom > kMaxTileZoom)
        return "The maximum zoom of '" + source.name + "' must be 0 to " +
               std::to_string(kMaxTileZoom);
    return std::nullopt;
}

std::optional<TileSource> FindTileSource(const std::vector<TileSource>& configured,
                                         const std::string& nameOrAddress) {
    const TileSource builtIn = BuiltInTileSource();
    if (SameText(nameOrAddress, "osm") || SameText(nameOrAddress, builtIn.name)) return builtIn;
    for (const TileSource& source : configured) {
        if (SameText(source.name, nameOrAddress)) return source;
    }
    const std::size_t scheme = nameOrAddress.find("://");
    if (scheme == std::string::npos) return std::nullopt;
    const std::size_t hostStart = scheme + 3;
    const std::size_t hostEnd = nameOrAddress.find('/', hostStart);
    TileSource adHoc;
    adHoc.name = nameOrAddress.substr(
        hostStart, hostEnd == std::string::npos ? std::string::npos : hostEnd - hostStart);
    adHoc.urlTemplate = nameOrAddress;
    return adHoc;
}

}  // namespace varistrum
