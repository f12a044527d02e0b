// SPDX-License-Identifier: GPL-3.0-or-later
// The map command: the collecting pass of the window's map, drawn offscreen into a PNG.
#include "cli/map_command.h"

#include <charconv>
#include <iostream>
#include <optional>

#include "base/job_files.h"
#include "base/output_target.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "geodata/sample_layer_sink.h"
#include "logfile/identify.h"
#include "map/map_collection.h"
#include "mapdraw/map_picture_file.h"
#include "settings/configuration.h"
#include "settings/settings_snapshot.h"
#include "workflow/workflow.h"

namespace varistrum::cli {

namespace {

// Options of convert that choose no data: the map has no text, no part files, no folder job and
// no map layer file.
constexpr const char* kTextOnlyOptions[] = {
    "--tags",       "--delimiter", "--other-delimiter", "--header",        "--no-header",
    "--columns",    "--split",     "--input-folder",    "--output-folder", "--pattern",
    "--output-ext", "--jobs",      "--format",          "--merge",         "--no-spatial-index"};

struct Picture {
    int width = 0, height = 0;
    std::optional<int> channel;  // none: the strongest channel
    LevelRamp ramp;
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
    return std::nullopt;
}

// The channel's id in the map; the first of its frequencies when it has several.
std::optional<std::uint16_t> ChannelId(const MapData& data, std::optional<int> channel) {
    if (!channel) return MapChannels::kStrongest;
    for (const std::uint16_t id : data.channels.ChooserOrder()) {
        if (id != MapChannels::kStrongest && data.channels.Entry(id).channel == *channel) return id;
    }
    return std::nullopt;
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
    const CLI::Validator notEmpty = NotEmptyValue();
    const auto value = [&](const std::string& name, std::string& target, const std::string& help,
                           const std::string& type) {
        c.add_option(name, target, help)
            ->type_name(type)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
            ->check(notEmpty);
    };
    value("--size", m.size, "Picture size in pixels (default 1600x1000)", "WxH");
    value("--channel", m.channel, "The channel shown, or the strongest of each row (default)",
          "N|strongest");
    value("--background", m.background,
          "A vector file GDAL reads (roads, boundaries), drawn in light grey under the drive",
          "FILE");
}

int MapCommand(const ConvertOptions& o, const MapOptions& m) {
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
    WindowSettings window;
    if (auto failed = LoadWindowSettings(dataOptions, request, window)) return *failed;
    ConsoleObserver console(!o.quiet && isatty(STDERR_FILENO), o.quiet);
    ConversionSettings settings = ConversionSettingsOf(window);

    // The picture is checked before anything is read: it is neither the log nor the background,
    // and it can be written where it is named.
    const std::string output = o.output.empty() ? DefaultPictureName(o.input) : o.output;
    JobFileList files;
    files.inputs = {o.input};
    if (!m.background.empty()) files.backgrounds = {m.background};
    files.outputs = {{output}};
    if (const auto refusal = CheckJobFiles(files)) {
        console.ReportFailure(MessageKind::Error, refusal->message, refusal->path, {});
        return kExitFailed;
    }
    if (const std::string refusal = TargetRefusal(ClassifyTarget(output), kPngOutput);
        !refusal.empty()) {
        console.ReportMessage(MessageKind::Error, refusal + ".");
        return kExitFailed;
    }

    BackgroundLayer background;
    if (!m.background.empty()) {
        if (const std::string error = LoadBackground(m.background, background); !error.empty()) {
            console.ReportFailure(MessageKind::Error, error, m.background, {});
            return kExitFailed;
        }
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

    const MapScene scene{&data, m.background.empty() ? nullptr : &background, *channel,
                         picture.ramp};
    std::string reason;
    const std::string title = o.input.substr(o.input.find_last_of('/') + 1);
    if (!WriteMapPicture(scene, picture.width, picture.height, output, title, reason)) {
        console.ReportFailure(MessageKind::Error, "Output File Cannot Be Accessed!", output,
                              reason);
        return kExitFailed;
    }
    console.ReportMessage(MessageKind::Information, "Map written to '" + output + "'.");
    return kExitDone;
}

}  // namespace varistrum::cli
