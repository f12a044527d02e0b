// SPDX-License-Identifier: GPL-3.0-or-later
// The tile service's description for GDAL, the tile cache's folder and the run's tile budget.
#include "map/tile_service.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "base/number_format.h"
#include "base/sha256.h"
#include "base/xml_text.h"

namespace varistrum {

namespace {

// Half the side of the Web Mercator square in metres, as the services' grids use it.
constexpr const char* kHalfWorld = "20037508.342789244";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

}  // namespace

std::string TileUserAgent() {
    return std::string("Varistrum-CW/") + VARISTRUM_VERSION;
}

std::string TileCacheFolder() {
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/')
        return std::string(xdg) + "/varistrum/tiles";
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.cache/varistrum/tiles";
}

int TileZoomFor(double scale, int maxZoom) {
    // The world is 256 * 2^z pixels wide at zoom z.
    const double zoom = std::round(std::log2(std::max(scale, 1.0) / 256.0));
    return static_cast<int>(std::clamp(zoom, 0.0, static_cast<double>(std::max(maxZoom, 0))));
}

TileRange TilesOfView(const MapViewport& view, int zoom, double margin) {
    const double side = 256.0 * std::ldexp(1.0, zoom);  // the world in pixels of the zoom
    const WorldPoint topLeft = view.Origin();
    const WorldPoint bottomRight =
        view.ToWorld({static_cast<double>(view.Width()), static_cast<double>(view.Height())});
    const double left = std::max(topLeft.x * side - margin, 0.0);
    const double top = std::max(topLeft.y * side - margin, 0.0);
    const double right = std::min(bottomRight.x * side + margin, side);
    const double bottom = std::min(bottomRight.y * side + margin, side);
    TileRange range;
    range.zoom = zoom;
    if (!(right > left) || !(bottom > top)) return range;
    range.x0 = static_cast<std::int64_t>(std::floor(left / 256.0));
    range.y0 = static_cast<std::int64_t>(std::floor(top / 256.0));
    range.x1 = static_cast<std::int64_t>(std::ceil(right / 256.0)) - 1;
    range.y1 = static_cast<std::int64_t>(std::ceil(bottom / 256.0)) - 1;
    return range;
}

std::string TileServiceXml(const TileService& service, const std::string& cacheFolder) {
    std::string url = service.urlTemplate;
    url = Replaced(Replaced(Replaced(url, "{z}", "${z}"), "{x}", "${x}"), "{y}", "${y}");
    std::string xml = "<GDAL_WMS><Service name=\"TMS\"><ServerUrl>" + XmlEscaped(url) +
                      "</ServerUrl></Service><DataWindow>";
    xml += std::string("<UpperLeftX>-") + kHalfWorld + "</UpperLeftX><UpperLeftY>" + kHalfWorld +
           "</UpperLeftY><LowerRightX>" + kHalfWorld + "</LowerRightX><LowerRightY>-" + kHalfWorld +
           "</LowerRightY><TileLevel>";
    AppendInt(xml, service.maxZoom);
    xml +=
        "</TileLevel><TileCountX>1</TileCountX><TileCountY>1</TileCountY><YOrigin>top</YOrigin>"
        "</DataWindow><Projection>EPSG:3857</Projection><BlockSizeX>256</BlockSizeX>"
        "<BlockSizeY>256</BlockSizeY><BandsCount>4</BandsCount><MaxConnections>2</MaxConnections>"
        "<Timeout>30</Timeout><ZeroBlockHttpCodes>204,404</ZeroBlockHttpCodes>";
    xml += "<UserAgent>" + XmlEscaped(TileUserAgent()) + "</UserAgent><OfflineMode>";
    xml += service.offline ? "true" : "false";
    xml += "</OfflineMode>";
    if (!cacheFolder.empty()) {
        // One folder a service, whatever else the description says (offline or not); offline,
        // a tile of any age is better than none.
        xml += "<Cache><Path>" +
               XmlEscaped(cacheFolder + "/" + Sha256Hex(service.urlTemplate).substr(0, 16)) +
               "</Path><Unique>false</Unique><Expires>";
        AppendInt(xml, service.offline ? 10 * 365 * 24 * 3600 : kTileCacheSeconds);
        xml += "</Expires><MaxSize>536870912</MaxSize></Cache>";
    }
    return xml + "</GDAL_WMS>";
}

TileBudget& TileBudget::OfRun() {
    static TileBudget budget;
    return budget;
}

std::string TileBudget::Reserve(const std::string& urlTemplate, const TileRange& range) {
    const std::string key = Sha256Hex(urlTemplate);
    const std::lock_guard<std::mutex> guard(lock_);
    std::int64_t fresh = range.Count();
    if (fresh <= kTilesPerRun) {
        fresh = 0;
        for (std::int64_t y = range.y0; y <= range.y1; ++y)
            for (std::int64_t x = range.x0; x <= range.x1; ++x)
                fresh += reserved_.count({key, range.zoom, x, y}) == 0 ? 1 : 0;
    }
    const auto before = static_cast<std::int64_t>(reserved_.size());
    if (before + fresh > kTilesPerRun) {
        std::string text = "This view needs ";
        AppendInt(text, range.Count());
        text += " tiles; a run fetches at most ";
        AppendInt(text, kTilesPerRun);
        text += " (";
        AppendInt(text, before);
        text += " so far): zoom in or draw a smaller picture";
        return text;
    }
    for (std::int64_t y = range.y0; y <= range.y1; ++y)
        for (std::int64_t x = range.x0; x <= range.x1; ++x)
            reserved_.insert({key, range.zoom, x, y});
    return {};
}

}  // namespace varistrum
