// SPDX-License-Identifier: GPL-3.0-or-later
// Map layer files read back through GDAL hold what the text conversion of the same log shows.
#include "export/map_export.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "averaging/averaging_engine.h"
#include "base/number_format.h"
#include "export/gdal_support.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"

namespace varistrum {
namespace {

using test::FieldSettings;
using test::RecordingObserver;
using test::TempDir;

std::string Fixed(double value, int decimals) {
    std::string text;
    AppendFixed(text, value, decimals);
    return text;
}

// The text conversion's levels of each (row, channel), with the row's position and time.
struct TextPair {
    std::string latitude, longitude, gpsTime, rtcTime, frequency;
    std::vector<int> levels;
};
using TextPairs = std::map<std::pair<std::int64_t, int>, TextPair>;

TextPairs ConvertToText(const std::string& input, const ConversionSettings& base) {
    ConversionSettings settings = base;
    settings.selectedTags = {RecordNumber,
                             LatitudeDecimalDegrees,
                             LongitudeDecimalDegrees,
                             GpsDate,
                             GpsTime,
                             RtcDate,
                             RtcTime,
                             DataField};
    settings.selectedTitles.assign(settings.selectedTags.size(), "");
    settings.fieldTitles = false;
    settings.columns = {true, true, true};
    TavrelReader reader;
    RecordingObserver observer;
    const std::string output = input + ".txt";
    EXPECT_EQ(RunConversionJob(reader, {input}, {output}, settings, observer, {}),
              JobOutcome::Completed);
    TextPairs pairs;
    std::istringstream in(test::ReadFile(output));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');) f.push_back(field);
        // "06/15/2026", "14:30:05" -> ISO 8601 UTC; "06/15/26" of the RTC without a zone
        const std::string gps = f[3].substr(6, 4) + "-" + f[3].substr(0, 2) + "-" +
                                f[3].substr(3, 2) + "T" + f[4] + "Z";
        const std::string rtc = "20" + f[5].substr(6, 2) + "-" + f[5].substr(0, 2) + "-" +
                                f[5].substr(3, 2) + "T" + f[6];
        for (std::size_t i = 7; i + 2 < f.size(); i += 3) {
            TextPair& pair = pairs[{std::stoll(f[0]), std::stoi(f[i + 1])}];
            pair = {f[1], f[2], gps, rtc, f[i], std::move(pair.levels)};
            pair.levels.push_back(std::stoi(f[i + 2]));
        }
    }
    return pairs;
}

double LegsMetres(const OGRLineString& line) {
    constexpr double kRadians = M_PI / 180.0;
    double metres = 0;
    for (int i = 1; i < line.getNumPoints(); ++i) {
        const double lat1 = line.getY(i - 1) * kRadians, lat2 = line.getY(i) * kRadians;
        const double dLon = (line.getX(i) - line.getX(i - 1)) * kRadians;
        const double h = std::pow(std::sin((lat2 - lat1) / 2), 2) +
                         std::cos(lat1) * std::cos(lat2) * std::pow(std::sin(dLon / 2), 2);
        metres += 2 * 6378137.0 * std::asin(std::sqrt(h));
    }
    return metres;
}

GDALDatasetUniquePtr OpenVector(const std::string& path) {
    RegisterGdalDrivers();
    // GeoJSON's reader would turn the ISO times into date-time values.
    const char* const geojson[] = {"GeoJSON", nullptr};
    const char* const asText[] = {"DATE_AS_STRING=YES", nullptr};
    const bool isGeoJson = path.size() > 8 && path.substr(path.size() - 8) == ".geojson";
    return GDALDatasetUniquePtr(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY,
                                                  isGeoJson ? geojson : nullptr,
                                                  isGeoJson ? asText : nullptr));
}

// "#rrggbb" of a KML placemark's style ("@band2" from the document's styles, or its own).
std::string KmlColour(GDALDataset& dataset, OGRFeature& feature) {
    std::string style = feature.GetStyleString() ? feature.GetStyleString() : "";
    if (!style.empty() && style[0] == '@' && dataset.GetStyleTable() != nullptr) {
        const char* found = dataset.GetStyleTable()->Find(style.c_str() + 1);
        style = found ? found : "";
    }
    const std::size_t at = style.find("c:#");
    if (at == std::string::npos) return "";
    std::string colour = style.substr(at + 2, 7);
    for (char& c : colour) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return colour;
}

struct ExportCase {
    const char* name;
    MapFormat format;
    sim::Scenario scenario;
    int averageType;
    bool dropOutages;
};

TEST(MapExportTest, LayersHoldTheTextConversionsValues) {
    const ExportCase cases[] = {
        {"gpkg mixed", MapFormat::GeoPackage, sim::Scenario::Mixed, kAverageNone, false},
        {"gpkg 40-lambda outage drop", MapFormat::GeoPackage, sim::Scenario::Mixed, kAverageLambda,
         true},
        {"geojson table best server", MapFormat::GeoJson, sim::Scenario::Table, kAverageBestServer,
         false},
        {"geojson single", MapFormat::GeoJson, sim::Scenario::SingleGps, kAverageNone, false},
        {"fgb list best server", MapFormat::FlatGeobuf, sim::Scenario::List, kAverageBestServer,
         false},
        {"kml mixed", MapFormat::Kml, sim::Scenario::Mixed, kAverageNone, true},
    };
    const LevelRamp ramp;
    for (const ExportCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string input = dir.File("drive.klf");
        test::WriteFile(input, sim::SimulateLog(c.scenario, 8, 3, 150));
        ConversionSettings settings = FieldSettings({LatitudeDecimalDegrees});
        settings.convertAllScans = true;
        settings.averageType = c.averageType;
        settings.dropOutages = c.dropOutages;
        settings.outageSeconds = 5;
        const TextPairs text = ConvertToText(input, settings);
        ASSERT_FALSE(text.empty());

        const std::string output =
            dir.File(std::string("drive") + std::string(FormatExtension(c.format)));
        TavrelReader reader;
        RecordingObserver observer;
        MapExportOptions options;
        options.format = c.format;
        MapExportReport report;
        ASSERT_EQ(RunMapExportJob(reader, {input}, {output}, settings, options, observer, {},
                                  JobKind::SingleFile, {}, &report),
                  JobOutcome::Completed);

        auto dataset = OpenVector(output);
        ASSERT_TRUE(dataset);
        std::map<std::pair<std::int64_t, int>, bool> seen;
        std::int64_t features = 0;
        for (OGRLayer* layer : dataset->GetLayers()) {
            const std::string name = layer->GetName();
            if (name == "route" || name == "routes") continue;
            for (auto& feature : *layer) {
                ++features;
                const auto key = std::make_pair(feature->GetFieldAsInteger64("row"),
                                                feature->GetFieldAsInteger("channel"));
                SCOPED_TRACE("row " + std::to_string(key.first));
                ASSERT_TRUE(text.count(key));
                EXPECT_FALSE(seen[key]);
                seen[key] = true;
                const TextPair& expected = text.at(key);
                const OGRPoint* point = feature->GetGeometryRef()->toPoint();
                if (c.format == MapFormat::Kml) {  // KML's writer keeps its own decimals
                    EXPECT_NEAR(point->getY(), std::stod(expected.latitude), 5.1e-7);
                    EXPECT_NEAR(point->getX(), std::stod(expected.longitude), 5.1e-7);
                } else {
                    EXPECT_EQ(Fixed(point->getY(), 6), expected.latitude);
                    EXPECT_EQ(Fixed(point->getX(), 6), expected.longitude);
                }
                const std::string time = feature->GetFieldAsString("time");
                EXPECT_EQ(time, time.back() == 'Z' ? expected.gpsTime : expected.rtcTime);
                EXPECT_EQ(Fixed(feature->GetFieldAsDouble("frequency_mhz"), 5), expected.frequency);
                double sum = 0;
                for (int level : expected.levels) sum += level;
                const double rssi = feature->GetFieldAsDouble("rssi_dbm");
                EXPECT_NEAR(rssi, sum / static_cast<double>(expected.levels.size()), 1e-9);
                const bool averaged =
                    c.averageType == kAverageLambda && time.back() == 'Z' &&
                    std::string(feature->GetFieldAsString("scan_kind")) == "single";
                EXPECT_EQ(feature->GetFieldAsInteger("averaged") != 0, averaged);
                // An average's sample count is unknown: null, not 1.
                if (averaged) {
                    EXPECT_TRUE(feature->IsFieldNull(feature->GetFieldIndex("samples")));
                } else {
                    EXPECT_EQ(feature->GetFieldAsInteger("samples"),
                              static_cast<int>(expected.levels.size()));
                }
                if (c.format == MapFormat::Kml) {
                    EXPECT_EQ(KmlColour(*dataset, *feature),
                              LevelRamp::HexText(ramp.ColourOf(rssi)));
                }
            }
        }
        EXPECT_EQ(features, report.points);
        // Pairs not exported are exactly those of rows left out, all before the first kept one.
        std::map<std::int64_t, bool> leftOutRows;
        for (const auto& [key, pair] : text) {
            if (!seen.count(key)) leftOutRows[key.first] = true;
        }
        EXPECT_EQ(static_cast<std::int64_t>(leftOutRows.size()), report.leftOutRows);
        if (!leftOutRows.empty() && !seen.empty()) {
            EXPECT_LT(leftOutRows.rbegin()->first, seen.begin()->first.first);
        }
        EXPECT_EQ(static_cast<std::int64_t>(text.size()),
                  features + static_cast<std::int64_t>(text.size() - seen.size()));

        // Routes: the length is the sum of the great-circle legs.
        GDALDatasetUniquePtr routeFile;
        OGRLayer* routes = nullptr;
        if (c.format == MapFormat::GeoJson) {
            routeFile = OpenVector(RouteFileOf(output));
            ASSERT_TRUE(routeFile);
            routes = routeFile->GetLayer(0);
        } else if (c.format != MapFormat::FlatGeobuf) {
            routes = dataset->GetLayerByName(c.format == MapFormat::Kml ? "routes" : "route");
        }
        if (c.format == MapFormat::FlatGeobuf) continue;
        ASSERT_NE(routes, nullptr);
        EXPECT_EQ(routes->GetFeatureCount(), report.routes);
        EXPECT_GT(report.routes, 0);
        for (auto& feature : *routes) {
            const OGRLineString* line = feature->GetGeometryRef()->toLineString();
            EXPECT_EQ(line->getNumPoints(), feature->GetFieldAsInteger64("fixes"));
            const double metres = LegsMetres(*line);
            // GeoJSON and KML round the coordinates (to 1e-6 degrees, 0.11 m at most a leg).
            const double slack =
                c.format == MapFormat::GeoPackage ? 1e-3 : 0.12 * line->getNumPoints();
            EXPECT_NEAR(feature->GetFieldAsDouble("length_m"), metres, 1e-6 * metres + slack);
        }
    }
}

TEST(MapExportTest, MergedGeoPackageNamesEachFeaturesLog) {
    TempDir dir;
    const std::string a = dir.File("a.klf"), b = dir.File("b.klf");
    test::WriteFile(a, sim::SimulateLog(sim::Scenario::SingleGps, 8, 1, 60));
    test::WriteFile(b, sim::SimulateLog(sim::Scenario::List, 9, 2, 60));
    ConversionSettings settings = FieldSettings({LatitudeDecimalDegrees});
    settings.convertAllScans = true;
    MapExportOptions options;
    options.metadataJson = "{\"tool\":\"varistrum\"}";
    TavrelReader reader;
    RecordingObserver observer;
    MapExportReport report;
    const std::string merged = dir.File("all.gpkg");
    ASSERT_EQ(RunMapExportJob(reader, {a, b}, {}, settings, options, observer, {}, JobKind::Folder,
                              merged, &report),
              JobOutcome::Completed);
    auto dataset = OpenVector(merged);
    ASSERT_TRUE(dataset);
    std::map<std::string, std::int64_t> perFile;
    for (auto& feature : *dataset->GetLayerByName("samples"))
        ++perFile[feature->GetFieldAsString("source_file")];
    EXPECT_EQ(perFile.size(), 2u);
    EXPECT_GT(perFile["a.klf"], 0);
    EXPECT_GT(perFile["b.klf"], 0);
    EXPECT_EQ(perFile["a.klf"] + perFile["b.klf"], report.points);
    const char* metadata = dataset->GetMetadataItem("PROVENANCE");
    ASSERT_NE(metadata, nullptr);
    EXPECT_EQ(std::string(metadata), options.metadataJson);
}

// Stops the job when the progress passes half way.
class StoppingObserver : public RecordingObserver {
  public:
    explicit StoppingObserver(std::stop_source& stop) : stop_(stop) {}
    void SetProgress(int percent) override {
        if (percent >= 50) stop_.request_stop();
        RecordingObserver::SetProgress(percent);
    }

  private:
    std::stop_source& stop_;
};

TEST(MapExportTest, FailureAndCancelLeaveNoFile) {
    const MapFormat formats[] = {MapFormat::GeoPackage, MapFormat::GeoJson, MapFormat::FlatGeobuf,
                                 MapFormat::Kml};
    for (MapFormat format : formats) {
        SCOPED_TRACE(std::string(FormatName(format)));
        TempDir dir;
        const std::string input = dir.File("drive.klf");
        test::WriteFile(input, sim::SimulateLog(sim::Scenario::SingleGps, 8, 4, 300));
        ConversionSettings settings = FieldSettings({LatitudeDecimalDegrees});
        settings.convertAllScans = true;
        MapExportOptions options;
        options.format = format;
        const std::string extension(FormatExtension(format));
        std::filesystem::create_directory(dir.File("out"));
        {
            // A folder that cannot exist: its parent is a file.
            TavrelReader reader;
            RecordingObserver observer;
            const std::string output = input + "/drive" + extension;
            EXPECT_EQ(RunMapExportJob(reader, {input}, {output}, settings, options, observer, {}),
                      JobOutcome::Failed);
            ASSERT_FALSE(observer.messages.empty());
            EXPECT_NE(observer.messages.back().find("Output File Cannot Be Accessed!"),
                      std::string::npos);
        }
        {
            TavrelReader reader;
            std::stop_source stop;
            StoppingObserver observer(stop);
            const std::string output = dir.File("out/drive" + extension);
            EXPECT_EQ(RunMapExportJob(reader, {input}, {output}, settings, options, observer,
                                      stop.get_token()),
                      JobOutcome::Cancelled);
            EXPECT_EQ(observer.messages.back(), "Information: Conversion Cancelled.");
        }
        EXPECT_TRUE(std::filesystem::is_empty(dir.File("out")));
    }
    WaitForDroppedDatasets();
}

// A small tmpfs as a full disk; skipped where the test may not mount one. Every file of the
// output (the layer, GeoJSON's route file, the provenance record) keeps its earlier version.
TEST(MapExportTest, AFullDiskFailsAndKeepsTheEarlierFiles) {
    TempDir dir;
    const std::string full = dir.File("full");
    std::filesystem::create_directory(full);
    if (test::RunCommand("mount -t tmpfs -o size=128k tmpfs " + full + " 2>/dev/null") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    struct Unmount {
        std::string path;
        ~Unmount() { test::RunCommand("umount " + path); }
    } unmount{full};
    const std::string input = dir.File("drive.klf");
    test::WriteFile(input, sim::SimulateLog(sim::Scenario::SingleGps, 8, 4, 600));
    ConversionSettings settings = FieldSettings({LatitudeDecimalDegrees});
    settings.convertAllScans = true;
    for (MapFormat format :
         {MapFormat::GeoPackage, MapFormat::GeoJson, MapFormat::FlatGeobuf, MapFormat::Kml}) {
        SCOPED_TRACE(std::string(FormatName(format)));
        const std::string output = full + "/drive" + std::string(FormatExtension(format));
        std::vector<std::string> earlier = {output, output + ".provenance.json"};
        if (format == MapFormat::GeoJson) earlier.push_back(RouteFileOf(output));
        for (const std::string& file : earlier) test::WriteFile(file, "earlier " + file);
        MapExportOptions options;
        options.format = format;
        RecordProvenance(options, {input, output, settings, std::nullopt, {}, 0, 0});
        TavrelReader reader;
        RecordingObserver observer;
        EXPECT_EQ(RunMapExportJob(reader, {input}, {output}, settings, options, observer, {}),
                  JobOutcome::Failed);
        ASSERT_FALSE(observer.messages.empty());
        EXPECT_NE(observer.messages.back().find("Output File Cannot Be Accessed!"),
                  std::string::npos);
        std::size_t entries = 0;
        for (const auto& entry : std::filesystem::directory_iterator(full)) {
            ++entries;
            const std::string file = entry.path().string();
            EXPECT_EQ(test::ReadFile(file), "earlier " + file);
        }
        EXPECT_EQ(entries, earlier.size());
        for (const std::string& file : earlier) std::filesystem::remove(file);
    }
    WaitForDroppedDatasets();
}

}  // namespace
}  // namespace varistrum

namespace varistrum {
namespace {

// A KML export stops at the placemark after its limit: an error naming the file and the way to
// fewer points, and no file, temporary or final.
TEST(MapExportTest, AKmlStopsAtItsPlacemarkLimit) {
    TempDir dir;
    const std::string input = dir.File("drive.klf");
    test::WriteFile(input, sim::SimulateLog(sim::Scenario::SingleGps, 8, 4, 300));
    ConversionSettings settings = FieldSettings({LatitudeDecimalDegrees});
    settings.convertAllScans = true;
    MapExportOptions options;
    options.format = MapFormat::Kml;
    for (const std::int64_t limit : {std::int64_t{50}, std::int64_t{100000}}) {
        SCOPED_TRACE(limit);
        options.kmlPlacemarkLimit = limit;
        TavrelReader reader;
        RecordingObserver observer;
        MapExportReport report;
        const JobOutcome outcome =
            RunMapExportJob(reader, {input}, {dir.File("drive.kml")}, settings, options, observer,
                            {}, JobKind::SingleFile, {}, &report);
        if (limit == 50) {
            EXPECT_EQ(outcome, JobOutcome::Failed);
            EXPECT_EQ(observer.messages,
                      std::vector<std::string>{
                          "Error: '" + dir.File("drive.kml") +
                          "' would hold more than 50 placemarks, the most a KML export writes: "
                          "40-lambda averaging gives far fewer points (--average 40-lambda, or 40 "
                          "Lambda in the window)."});
            EXPECT_EQ(test::ReadFile(dir.File("drive.kml")), "");
        } else {
            EXPECT_EQ(outcome, JobOutcome::Completed);
            EXPECT_GT(report.points, 50);
        }
        std::size_t entries = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            entries += entry.path().filename().string().front() == '.' ? 100 : 1;
        EXPECT_EQ(entries, limit == 50 ? 1u : 2u);
    }
    WaitForDroppedDatasets();
}

}  // namespace
}  // namespace varistrum

namespace varistrum {
namespace {

// GDAL's messages reach the user as one line of a few hundred bytes at most (some quote a whole
// SQL script).
TEST(GdalErrorTrapTest, MessagesAreOneShortLine) {
    GdalErrorTrap trap;
    trap.Record(CE_Failure, 1, "first line\nsecond line\r\n");
    EXPECT_EQ(trap.LastError(), "first line second line");
    trap.Record(CE_Warning, 1, "a warning is dropped");
    EXPECT_EQ(trap.Errors(), 1);
    const std::string script(5000, 's');
    trap.Record(CE_Failure, 1, script.c_str());
    EXPECT_EQ(trap.LastError(), std::string(300, 's') + "...");
}

}  // namespace
}  // namespace varistrum
