// SPDX-License-Identifier: GPL-3.0-or-later
// The sites, model and stops files of the simulator, with locale-free numbers and CRLF lines.
#include "tools/truth_files.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "base/json_text.h"
#include "base/number_format.h"
#include "base/output_file.h"
#include "tools/radio_model.h"

namespace varistrum::sim {

namespace {

constexpr std::string_view kEol = "\r\n";

// The shortest text that reads back as the same double.
std::string Shortest(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string Int(std::int64_t value) {
    std::string text;
    AppendInt(text, value);
    return text;
}

// A site's position in the degrees the log's fixes give for the same place.
std::string Latitude(Point place) {
    return Shortest(DegreesOfMas(LocalGrid().LatitudeMas(place)));
}
std::string Longitude(Point place) {
    return Shortest(DegreesOfMas(LocalGrid().LongitudeMas(place)));
}

}  // namespace

double DegreesOfMas(std::int32_t mas) {
    return mas / 3600000 + (mas % 3600000) * (1.0 / 3600000.0);
}

std::optional<std::size_t> SiteIndex(std::string_view name) {
    const auto sites = RadioModel::Sites();
    for (std::size_t i = 0; i < sites.size(); ++i)
        if (sites[i].name == name) return i;
    return std::nullopt;
}

std::string SitesCsv(const SimulationTruth& truth) {
    struct Row {
        std::size_t site;
        double mhz;
        std::uint32_t code;
    };
    std::vector<Row> rows;
    for (const ChannelTruth& channel : truth.channels) {
        if (RadioModel::IsIdle(channel.code)) continue;
        rows.push_back(
            {RadioModel::SiteOfChannel(channel.code), channel.frequencyMhz, channel.code});
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return a.site != b.site ? a.site < b.site : a.mhz < b.mhz;
    });
    std::string text = "site,latitude,longitude,antenna_height_m,eirp_dbm,frequency_mhz";
    text += kEol;
    for (const Row& row : rows) {
        const SiteInfo& site = RadioModel::Sites()[row.site];
        text += std::string(site.name) + ',' + Latitude(site.place) + ',' + Longitude(site.place) +
                ',' + Shortest(site.antennaHeightM) + ',' +
                Shortest(site.eirpDbm + RadioModel::ChannelSpreadDb(row.code)) + ',';
        AppendFixed(text, row.mhz, 4);  // every band's step is a whole tenth of a kHz
        text += kEol;
    }
    return text;
}

std::string SiteModelJson(const SimulationOptions& options) {
    const RadioModel model(options.seed,
                           {options.shadowSigmaDb, options.fading, options.levelOffsetDb});
    const auto line = [](std::string_view key, const std::string& value, bool last = false) {
        return "  " + JsonString(key) + ": " + value + (last ? "" : ",") + std::string(kEol);
    };
    std::string text = "{";
    text += kEol;
    text += line("model", JsonString("log-distance"));
    text += line(
        "level",
        JsonString("level_dbm = round_half_up(eirp_dbm - (intercept_db_at_1km + db_per_decade * "
                   "log10(max(d, min_distance_m) / 1000 m)) + shadow_db) + fading_db + "
                   "level_offset_db, clamped to [level_floor_dbm, level_ceiling_dbm]; d on the "
                   "simulator's local plane around the drive's origin; idle channels read "
                   "noise_floor_dbm + fading_db + level_offset_db"));
    text += "  \"sites\": [";
    text += kEol;
    const auto sites = RadioModel::Sites();
    for (std::size_t i = 0; i < sites.size(); ++i) {
        text += "    {\"site\": " + JsonString(sites[i].name) +
                ", \"intercept_db_at_1km\": " + Shortest(sites[i].InterceptDbAt1km()) +
                ", \"db_per_decade\": " + Shortest(RadioModel::kDbPerDecade) + "}" +
                (i + 1 < sites.size() ? "," : "");
        text += kEol;
    }
    text += "  ],";
    text += kEol;
    text += line("shadow_sigma_db", Shortest(options.shadowSigmaDb));
    text += line("decorrelation_m", Shortest(RadioModel::kDecorrelation));
    text += line("shadow_step_m", Shortest(RadioModel::kShadowStep));
    text += line("fading", JsonString(options.fading ? "rayleigh" : "none"));
    text += line("fading_mean_db", Shortest(model.FadingMeanDb()));
    text += line("fading_power_mean_db", Shortest(model.FadingPowerMeanDb()));
    text += line("level_offset_db", Int(options.levelOffsetDb));
    text += line("min_distance_m", Shortest(RadioModel::kMinDistance));
    text += line("noise_floor_dbm", Int(RadioModel::kNoiseFloor));
    text += line("level_floor_dbm", Int(RadioModel::kFloor));
    text += line("level_ceiling_dbm", Int(RadioModel::kCeiling), true);
    text += "}";
    text += kEol;
    return text;
}

std::string StopsCsv(const SimulationTruth& truth) {
    std::string text = "first_gps_record,last_gps_record,latitude,longitude,seconds";
    text += kEol;
    for (const StopTruth& stop : truth.stops) {
        text += Int(stop.firstGpsRecord) + ',' + Int(stop.lastGpsRecord) + ',' +
                Shortest(DegreesOfMas(stop.latitudeMas)) + ',' +
                Shortest(DegreesOfMas(stop.longitudeMas)) + ',' + Int(stop.seconds);
        text += kEol;
    }
    return text;
}

std::string ModelPathFor(const std::string& sitesPath) {
    constexpr std::string_view kCsv = ".csv";
    if (sitesPath.size() > kCsv.size() &&
        sitesPath.compare(sitesPath.size() - kCsv.size(), kCsv.size(), kCsv) == 0)
        return sitesPath.substr(0, sitesPath.size() - kCsv.size()) + ".model.json";
    return sitesPath + ".model.json";
}

bool WriteTextFile(const std::string& path, std::string_view text, std::string* error) {
    OutputFile file;
    if (file.Create(path)) {
        file.Write(text);
        if (file.Close()) return true;
    }
    if (error) {
        *error = "cannot write " + path;
        if (!file.FailureReason().empty()) *error += ": " + file.FailureReason();
    }
    return false;
}

}  // namespace varistrum::sim
