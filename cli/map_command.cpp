// SPDX-License-Identifier: GPL-3.0-or-later
// The map command: the collecting pass of the window's map, drawn offscreen into a PNG.
#include "cli/map_command.h"

#include <charconv>
#include <cmath>
#include <iostream>
#include <optional>

#include "base/job_files.h"
#include "base/output_target.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "geodata/sample_layer_sink.h"
#include "logfile/identify.h"
#include "map/map_collection.h"
#include "map/map_title.h"
#include "mapdraw/map_picture_file.h"
#include "settings/configuration.h"
#include "settings/settings_snapshot.h"
#include "settings/tile_sources.h"
#include "workflow/coverage_jobs.h"
#include "workflow/workflow.h"

namespace varistrum::cli {

namespace {

// Options of convert that choose no data: the map has no text, no part files, no folder job and
// no map layer file.
constexpr const char* kTextOnlyOptions[] = {
    "--tags",   "--delimiter",    "--other-delimiter",  "--header",     "--no-header",  "--columns",
    "--split",  "--input-folder", "--output-folder",    "--pattern",    "--output-ext", "--jobs",
    "--format", "--merge",        "--no-spatial-index", "--kml-points", "--kml-channel"};

struct Picture {
    int width = 0, height = 0;
    std::optional<int> channel;  // none: the strongest channel
    LevelRamp ramp;
    std::optional<double> cellMetres;  // cells where the points would pile up
    BinStatistic cellValue = BinStatistic::LinearMean;
    int fade = 50;
};

std::optional<int> Whole(std::string_view text) {
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

// `thresholds`: convert's --rssi-thresholds, which colours the map too.
std::optional<std::string> ParsePicture(const MapOptions& m, const std::string& thresholds,
                                        Picture& picture) {
    const std::size_t x = m.size.find('x');
    const auto width = Whole(std::string_view(m.size).substr(0, x));
    const auto height =
        x == std::string::npos ? std::nullopt : Whole(std::string_view(m.size).substr(x + 1));
    if (!width || !height || *width < kPictureSideMin || *height < kPictureSideMin ||
        *width > kPictureSideMax || *height > kPictureSideMax)
        return "--size takes WIDTHxHEIGHT in pixels, each from " + std::to_string(kPictureSideMin) +
               " to " + std::to_string(kPictureSideMax) + ", not '" + m.size + "'";
    picture.width = *width;
    picture.height = *height;
    if (m.channel != "strongest") {
        picture.channel = Whole(m.channel);
        if (!picture.channel)
            return "--channel takes a channel number or 'strongest', not '" + m.channel + "'";
    }
    if (!thresholds.empty()) {
        std::string error;
        const auto ramp = LevelRamp::Parse(thresholds, &error);
        if (!ramp) return "--rssi-thresholds: " + error;
        picture.ramp = *ramp;
    }
    if (!m.cell.empty()) {
        double metres = 0.0;
        const char* end = m.cell.data() + m.cell.size();
        const auto parsed = std::from_chars(m.cell.data(), end, metres);
        if (parsed.ec != std::errc() || parsed.ptr != end || CheckCellMetres(metres))
            return "--cell takes the cells' side in metres, 5 to 1000, not '" + m.cell + "'";
        picture.cellMetres = metres;
    }
    if (m.cellValue == "median")
        picture.cellValue = BinStatistic::Median;
    else if (m.cellValue != "linear-mean")
        return "--cell-value takes linear-mean or median, not '" + m.cellValue + "'";
    const auto fade = Whole(m.fade);
    if (!fade || *fade < 0 || *fade > 100)
        return "--fade takes a percent from 0 (full colour) to 100, not '" + m.fade + "'";
    picture.fade = *fade;
    if (!m.tiles.empty() && !m.background.empty())
        return "--tiles and --background cannot be given together: the map has one background";
    if (m.tiles.empty() && (m.offline || !m.attribution.empty()))
        return std::string(m.offline ? "--offline" : "--attribution") + " needs --tiles";
    return std::nullopt;
}

// The tile source --tiles names, among the built-in one and the configuration's.
std::optional<std::string> ResolveTiles(const MapOptions& m, const SettingsModel& window,
                                        TileService& service) {
    const auto source = FindTileSource(window.tileSources, m.tiles);
    if (!source)
        return "--tiles: no tile source is named '" + m.tiles +
               "' (the built-in osm, a name of the configuration's [Map] section, or an "
               "address with {z}, {x} and {y})";
    TileSource chosen = *source;
    if (!m.attribution.empty()) chosen.attribution = m.attribution;
    if (auto problem = TileSourceProblem(chosen)) return "--tiles: " + *problem;
    service.name = chosen.name;
    service.urlTemplate = chosen.urlTemplate;
    service.attribution = chosen.attribution;
    service.maxZoom = chosen.maxZoom;
    service.offline = m.offline;
    return std::nullopt;
}

// The cells of the drive for the picture, binned with the map's data settings; none (with a
// warning) when the binning needs more memory than the map leaves it.
std::optional<MapCellLayer> MapCells(TavrelReader& reader, const std::string& input,
                                     const ConversionSettings& settings, const Picture& picture,
                                     const MapData& data, std::uint16_t channel,
                                     ConsoleObserver& console, std::stop_token stop, bool* failed) {
    BinOptions options;
    options.cellMetres = *picture.cellMetres;
    options.memoryBudgetBytes = kComparisonBinningBudget;
    BinnedDrive drive = BinDrive(reader, input, settings, options, console, stop);
    if (drive.outcome.outcome == JobOutcome::Cancelled) {
        *failed = true;
        return std::nullopt;
    }
    if (drive.outcome.outcome == JobOutcome::Failed || !drive.binning) {
        // Points are drawn instead; the reason is a warning, not the picture's failure.
        console.ReportMessage(MessageKind::Warning, drive.outcome.message + " Points are drawn.");
        return std::nullopt;
    }
    ChannelChoice choice;
    if (channel != MapChannels::kStrongest) {
        const MapChannel& entry = data.channels.Entry(channel);
        choice = ChannelChoice::Channel(entry.channel);
        choice.frequencyMHz = std::round(entry.frequencyMHz * 1e5) / 1e5;
    }
    const auto selection = drive.binning->Select(choice);
    if (!selection) return std::nullopt;
    return LevelCellsOf(*drive.binning, *selection, picture.cellValue);
}

// The channel's id in the map; the first of its frequencies when it has several.
std::optional<std::uint16_t> ChannelId(const MapData& data, std::optional<int> channel) {
    if (!channel) return MapChannels::kStrongest;
    for (const std::uint16_t id : data.channels.ChooserOrder()) {
        if (id != MapChannels::kStrongest && data.channels.Entry(id).channel == *channel) return id;
    }
    return std::nullopt;
}

// The options of convert that map takes: the others are refused with a reason when given, and
// not listed by map --help.
bool TakenByMap(const std::string& name) {
    for (const char* refused : kTextOnlyOptions)
        if (name == refused) return false;
    return name != "--provenance";
}

std::string DefaultPictureName(const std::string& input) {
    const std::size_t slash = input.find_last_of('/');
    const std::size_t dot = input.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? input.substr(0, dot) : input) + ".png";
}

}  // namespace

void AddMapOptions(CLI::App& c, ConvertOptions& data, MapOptions& m) {
    AddConvertOptions(c, data);
    const ValueOptions value(c);
    value("--size", m.size, "Picture size in pixels (default 1600x1000)", "WxH");
    value("--channel", m.channel, "The channel shown, or the strongest of each row (default)",
          "N|strongest");
    value("--background", m.background,
          "A file GDAL reads, drawn under the drive: vector layers (roads, boundaries) in light "
          "grey, or a raster (GeoTIFF, MBTiles, GeoPackage tiles, a picture with a world file)",
          "FILE");
    value("--cell", m.cell,
          "Draw cells of METRES (5 to 1000) instead of the points where the points would pile "
          "up (more points than pixels they fall on); the cells take every sample before any "
          "averaging",
          "METRES");
    value("--cell-value", m.cellValue, "The cells' value: linear-mean (default) or median",
          "linear-mean|median");
    value("--tiles", m.tiles,
          "Tiles under the drive: osm (the built-in OpenStreetMap), a name from --config's [Map] "
          "section, or an address https://host/{z}/{x}/{y}.png; cached in "
          "$XDG_CACHE_HOME/varistrum/tiles, at most 1000 tiles a run",
          "NAME|URL");
    value("--attribution", m.attribution, "The text shown with the tiles, instead of the source's",
          "TEXT");
    c.add_flag("--offline", m.offline, "Tiles from the cache only: nothing is fetched");
    value("--fade", m.fade,
          "How far a raster or tile background fades to white, 0 (full colour) to 100 (default "
          "50)",
          "PERCENT");
    // map --help lists what map takes; the rest of convert's options stay known, so that
    // giving one is refused with its reason.
    for (CLI::Option* option : c.get_options()) {
        if (!TakenByMap(option->get_name())) option->group("");
    }
    c.get_option("-o")->description(
        "The picture (default: the input name with .png): a PNG with its world file (.pgw) and "
        ".png.aux.xml, or a GeoTIFF for a name ending in .tif");
    c.get_option("INPUT")->description("Log file to draw");
}

int MapCommand(const ConvertOptions& o, const MapOptions& m) {
    if (!m.tiles.empty() && !m.offline && o.Given("--input-folder")) {
        std::cerr << "Error: online tiles are not fetched for folder jobs: a tile service's "
                     "policy forbids bulk downloading\n";
        return kExitUsage;
    }
    for (const char* name : kTextOnlyOptions) {
        if (o.Given(name)) {
            std::cerr << "Error: " << name << " does not apply to map (it draws one log file)\n";
            return kExitUsage;
        }
    }
    if (o.provenance) {
        std::cerr << "Error: --provenance does not apply to map: a picture has no provenance "
                     "record\n";
        return kExitUsage;
    }
    // The thresholds colour the picture; convert takes them for map layer formats only.
    ConvertOptions dataOptions = o;
    dataOptions.given.erase("--rssi-thresholds");
    ConvertRequest request;
    if (auto problem = ParseConvertOptions(dataOptions, request)) {
        std::cerr << "Error: " << *problem << '\n';
        return kExitUsage;
    }
    if (request.toStandardOutput) {
        std::cerr << "Error: map writes a PNG file; -o - is not possible\n";
        return kExitUsage;
    }
    Picture picture;
    if (auto problem = ParsePicture(
            m, o.Given("--rssi-thresholds") ? o.rssiThresholds : std::string(), picture)) {
        std::cerr << "Error: " << *problem << '\n';
        return kExitUsage;
    }
    SettingsModel window;
    if (auto failed = LoadSettingsModel(dataOptions, request, window)) return *failed;
    TileService tiles;
    if (!m.tiles.empty()) {
        if (auto problem = ResolveTiles(m, window, tiles)) {
            std::cerr << "Error: " << *problem << '\n';
            return kExitUsage;
        }
    }
    ConsoleObserver console(!o.quiet && isatty(STDERR_FILENO), o.quiet);
    ConversionSettings settings = ConversionSettingsOf(window);

    // The picture and its side files are checked before anything is read: none is the log or
    // the background, and each can be written where it is named.
    const std::string output = o.output.empty() ? DefaultPictureName(o.input) : o.output;
    JobFileList files;
    files.inputs = {o.input};
    if (!m.background.empty()) files.backgrounds = {m.background};
    files.outputs = {MapPictureFiles(output)};
    if (const auto refusal = CheckJobFiles(files)) {
        console.ReportFailure(MessageKind::Error, refusal->message, refusal->path, {});
        return kExitFailed;
    }
    if (const auto refusal = CheckMapPictureFiles(output)) {
        console.ReportMessage(MessageKind::Error, refusal->message);
        return kExitFailed;
    }

    std::unique_ptr<MapBackground> background;
    if (!m.background.empty() || !m.tiles.empty()) {
        std::string error;
        background = m.tiles.empty() ? OpenBackgroundFile(m.background, error)
                                     : OpenTileService(tiles, error);
        if (background == nullptr) {
            console.ReportMessage(MessageKind::Error, error + ".");
            return kExitFailed;
        }
        if (!m.tiles.empty() && tiles.attribution.empty())
            console.ReportMessage(MessageKind::Warning,
                                  "The tiles have no attribution: a tile service's terms usually "
                                  "ask for one (--attribution).");
    }
    const std::optional<int> identified = ReadableLogFormat(o.input, console);
    if (!identified) return kExitFailed;
    const int format = *identified;
    TavrelReader reader;
    Workflow workflow(reader);
    std::stop_source stop;
    InterruptStop interrupt(stop);
    if (auto failed =
            PrepareSingleInput(o, request, format, workflow, stop, interrupt, console, settings))
        return *failed;
    MapData data;
    const MapCollection collection =
        CollectMap(reader, o.input, settings, console, stop.get_token(), data);
    if (collection.outcome.damage.Any()) console.ReportDamage({}, collection.outcome.damage);
    if (collection.outcome.outcome == JobOutcome::Failed) {
        console.ReportFailure(MessageKind::Error, collection.outcome.message,
                              collection.outcome.path, collection.outcome.reason);
        return kExitFailed;
    }
    if (collection.outcome.outcome == JobOutcome::Cancelled) {
        console.ReportMessage(MessageKind::Information, "Conversion Cancelled.");
        return interrupt.ExitStatus(kExitFailed);
    }
    if (collection.leftOutRows > 0)
        console.ReportMessage(MessageKind::Information, LeftOutRowsText(collection.leftOutRows));
    const auto channel = ChannelId(data, picture.channel);
    if (!channel) {
        console.ReportMessage(MessageKind::Error,
                              "Channel " + m.channel + " has no points in the chosen scans.");
        return kExitFailed;
    }

    std::optional<MapCellLayer> cells;
    if (picture.cellMetres) {
        bool cancelled = false;
        cells = MapCells(reader, o.input, settings, picture, data, *channel, console,
                         stop.get_token(), &cancelled);
        if (cancelled) {
            console.ReportMessage(MessageKind::Information, "Conversion Cancelled.");
            return interrupt.ExitStatus(kExitFailed);
        }
    }
    MapScene scene{&data, background.get(),         *channel, picture.ramp, picture.fade,
                   {},    cells ? &*cells : nullptr};
    scene.title = MapTitle(o.input.substr(o.input.find_last_of('/') + 1), data, *channel, settings);
    std::string failedPath, reason;
    BackgroundDraw drawn;
    if (!WriteMapPicture(scene, picture.width, picture.height, output, failedPath, reason,
                         &drawn)) {
        if (drawn.outcome == BackgroundDraw::Outcome::Refused ||
            drawn.outcome == BackgroundDraw::Outcome::Failed)
            console.ReportMessage(MessageKind::Error, drawn.message + "; no picture is written.");
        else
            console.ReportFailure(MessageKind::Error, "Output File Cannot Be Accessed!", failedPath,
                                  reason);
        return kExitFailed;
    }
    if (drawn.outcome == BackgroundDraw::Outcome::NothingKept)
        console.ReportMessage(MessageKind::Warning,
                              "The map has no background: " + drawn.message + ".");
    console.ReportMessage(MessageKind::Information, "Map written to '" + output + "'.");
    return kExitDone;
}

}  // namespace varistrum::cli
