// SPDX-License-Identifier: GPL-3.0-or-later
// Map layer files read back through GDAL hold what the text conversion of the same log shows.
#include "export/map_export.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "averaging/averaging_engine.h"
#include "base/geodesic.h"
#include "base/number_format.h"
#include "export/gdal_support.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"
#include "tools/log_builder.h"

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
    double metres = 0;
    for (int i = 1; i < line.getNumPoints(); ++i)
        metres += GeodesicMetres(line.getY(i - 1), line.getX(i - 1), line.getY(i), line.getX(i));
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

// Whether a field holds a value: set and not null (FlatGeobuf leaves a null field unset), and
// not empty (a CSV file's null).
bool HasValue(OGRFeature& feature, const char* name) {
    const int field = feature.GetFieldIndex(name);
    return feature.IsFieldSetAndNotNull(field) && *feature.GetFieldAsString(field) != '\0';
}

// A time field as ISO 8601: its text (GeoJSON read as text, CSV), or a date and time, which
// must be in UTC; empty when null.
std::string TimeText(OGRFeature& feature, const char* name) {
    const int field = feature.GetFieldIndex(name);
    if (!HasValue(feature, name)) return "";
    if (feature.GetFieldDefnRef(field)->GetType() != OFTDateTime)
        return feature.GetFieldAsString(field);
    int year = 0, month = 0, day = 0, hours = 0, minutes = 0, zone = 0;
    float seconds = 0;
    feature.GetFieldAsDateTime(field, &year, &month, &day, &hours, &minutes, &seconds, &zone);
    EXPECT_EQ(zone, 100) << name << " is not in UTC";
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, day, hours,
                  minutes, static_cast<int>(seconds));
    return text;
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
        {"fgb 40-lambda", MapFormat::FlatGeobuf, sim::Scenario::SingleGps, kAverageLambda, false},
        {"csv mixed", MapFormat::Csv, sim::Scenario::Mixed, kAverageNone, true},
        {"csv 40-lambda", MapFormat::Csv, sim::Scenario::Mixed, kAverageLambda, false},
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
        // GIS tools read the times as dates and times (GeoJSON's are read as text here).
        if (c.format == MapFormat::GeoPackage || c.format == MapFormat::FlatGeobuf) {
            const OGRFeatureDefn* defn = dataset->GetLayerByName("samples")->GetLayerDefn();
            EXPECT_EQ(defn->GetFieldDefn(defn->GetFieldIndex("time_utc"))->GetType(), OFTDateTime);
        }
        std::map<std::pair<std::int64_t, int>, bool> seen;
        std::int64_t features = 0;
        for (OGRLayer* layer : dataset->GetLayers()) {
            const std::string name = layer->GetName();
            if (name == "route" || name == "layer_styles") continue;
            for (auto& feature : *layer) {
                ++features;
                const auto key = std::make_pair(feature->GetFieldAsInteger64("row"),
                                                feature->GetFieldAsInteger("channel"));
                SCOPED_TRACE("row " + std::to_string(key.first));
                ASSERT_TRUE(text.count(key));
                EXPECT_FALSE(seen[key]);
                seen[key] = true;
                const TextPair& expected = text.at(key);
                if (c.format == MapFormat::Csv) {  // the CSV file's text of the doubles
                    EXPECT_NEAR(feature->GetFieldAsDouble("latitude"), std::stod(expected.latitude),
                                5.1e-7);
                    EXPECT_NEAR(feature->GetFieldAsDouble("longitude"),
                                std::stod(expected.longitude), 5.1e-7);
                } else {
                    const OGRPoint* point = feature->GetGeometryRef()->toPoint();
                    EXPECT_EQ(Fixed(point->getY(), 6), expected.latitude);
                    EXPECT_EQ(Fixed(point->getX(), 6), expected.longitude);
                }
                // GPS-timed rows have their UTC time; the others only the clock's stamp.
                const std::string utc = TimeText(*feature, "time_utc");
                const std::string source = feature->GetFieldAsString("time_source");
                if (source == "gps") {
                    EXPECT_EQ(utc, expected.gpsTime);
                } else {
                    EXPECT_EQ(source, "rtc");
                    EXPECT_EQ(utc, "");
                    EXPECT_EQ(std::string(feature->GetFieldAsString("clock_time")),
                              expected.rtcTime);
                }
                EXPECT_EQ(Fixed(feature->GetFieldAsDouble("frequency_mhz"), 5), expected.frequency);
                double sum = 0;
                for (int level : expected.levels) sum += level;
                const double rssi = feature->GetFieldAsDouble("rssi_dbm");
                // A CSV file gives levels to 0.01 dB.
                EXPECT_NEAR(rssi, sum / static_cast<double>(expected.levels.size()),
                            c.format == MapFormat::Csv ? 0.005 : 1e-9);
                EXPECT_EQ(feature->GetFieldAsInteger("level_band"), ramp.BandOf(rssi));
                const bool averaged =
                    c.averageType == kAverageLambda && source == "gps" &&
                    std::string(feature->GetFieldAsString("scan_kind")) == "single";
                // A boolean field: 1 or 0, in a CSV file "true" or "false".
                const std::string averagedText = feature->GetFieldAsString("averaged");
                EXPECT_EQ(averagedText, c.format == MapFormat::Csv ? (averaged ? "true" : "false")
                                                                   : (averaged ? "1" : "0"));
                const int samples = feature->GetFieldAsInteger("samples");
                const double minimum = feature->GetFieldAsDouble("rssi_min_dbm");
                const double maximum = feature->GetFieldAsDouble("rssi_max_dbm");
                if (averaged) {
                    // The bin's count and spread around the written level.
                    EXPECT_GE(samples, 1);
                    EXPECT_LE(minimum, rssi);
                    EXPECT_GE(maximum, rssi);
                } else {
                    EXPECT_EQ(samples, static_cast<int>(expected.levels.size()));
                    EXPECT_EQ(minimum,
                              *std::min_element(expected.levels.begin(), expected.levels.end()));
                    EXPECT_EQ(maximum,
                              *std::max_element(expected.levels.begin(), expected.levels.end()));
                }
                // Speed with a fix only, height with a 3D fix only.
                const std::string fix = feature->GetFieldAsString("fix");
                EXPECT_EQ(HasValue(*feature, "speed_kmh"), fix == "3D" || fix == "2D");
                EXPECT_EQ(HasValue(*feature, "altitude_m"), fix == "3D");
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

        // Routes: the length is the sum of the legs on the ellipsoid.
        GDALDatasetUniquePtr routeFile;
        OGRLayer* routes = nullptr;
        if (c.format == MapFormat::FlatGeobuf || c.format == MapFormat::Csv) continue;
        if (c.format == MapFormat::GeoJson) {
            routeFile = OpenVector(RouteFileOf(output));
            ASSERT_TRUE(routeFile);
            routes = routeFile->GetLayer(0);
        } else {
            routes = dataset->GetLayerByName("route");
        }
        ASSERT_NE(routes, nullptr);
        EXPECT_EQ(routes->GetFeatureCount(), report.routes);
        EXPECT_GT(report.routes, 0);
        for (auto& feature : *routes) {
            const OGRLineString* line = feature->GetGeometryRef()->toLineString();
            EXPECT_EQ(line->getNumPoints(), feature->GetFieldAsInteger64("fixes"));
            const double metres = LegsMetres(*line);
            // GeoJSON rounds the coordinates (to 1e-6 degrees, 0.11 m at most a leg).
            const double slack =
                c.format == MapFormat::GeoPackage ? 1e-6 : 0.12 * line->getNumPoints();
            EXPECT_NEAR(feature->GetFieldAsDouble("length_m"), metres, 1e-9 * metres + slack);
            const std::string first = TimeText(*feature, "first_fix_utc");
            const std::string last = TimeText(*feature, "last_fix_utc");
            EXPECT_FALSE(first.empty());
            EXPECT_LE(first, last);
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

// GDAL holds a FlatGeobuf's spatial index in memory: a file gets one up to its limit of
// features, with the same features as without; beyond it the file keeps none and the job says
// so; --no-spatial-index leaves it out silently.
TEST(MapExportTest, FlatGeobufIsIndexedUpToItsLimit) {
    const test::SimulatedDrive drive(sim::Scenario::Mixed, 2, 200);
    struct Written {
        bool indexed = false;
        std::multiset<std::string> features;
        std::vector<std::string> messages;
        MapExportReport report;
    };
    const auto write = [&](bool spatialIndex, std::int64_t atMost) {
        MapExportOptions options;
        options.format = MapFormat::FlatGeobuf;
        options.spatialIndex = spatialIndex;
        options.spatialIndexAtMost = atMost;
        TavrelReader reader;
        RecordingObserver observer;
        const std::string output = drive.dir.File("drive.fgb");
        Written written;
        EXPECT_EQ(RunMapExportJob(reader, {drive.input}, {output}, drive.settings, options,
                                  observer, {}, JobKind::SingleFile, {}, &written.report),
                  JobOutcome::Completed);
        written.messages = observer.messages;
        const GDALDatasetUniquePtr dataset = OpenVector(output);
        OGRLayer* layer = dataset ? dataset->GetLayerByName("samples") : nullptr;
        if (layer == nullptr) {
            ADD_FAILURE() << "no samples layer";
            return written;
        }
        written.indexed = layer->TestCapability(OLCFastSpatialFilter) != 0;
        for (const auto& feature : *layer) {
            char* wkt = nullptr;
            feature->GetGeometryRef()->exportToWkt(&wkt);
            // GDAL's text of one field lasts until the next is asked for.
            std::string text = std::string(wkt) + " " + feature->GetFieldAsString("row");
            text += std::string(" ") + feature->GetFieldAsString("time_utc");
            written.features.insert(std::move(text));
            CPLFree(wkt);
        }
        return written;
    };
    const Written streamed = write(false, kFlatGeobufIndexedAtMost);
    const std::int64_t count = streamed.report.points;
    ASSERT_GT(count, 100);
    EXPECT_FALSE(streamed.indexed);
    EXPECT_EQ(streamed.report.unindexedFiles, 0);

    const Written indexed = write(true, count);
    EXPECT_TRUE(indexed.indexed);
    EXPECT_EQ(indexed.features, streamed.features);
    EXPECT_EQ(indexed.report.unindexedFiles, 0);

    const Written tooMany = write(true, count - 1);
    EXPECT_FALSE(tooMany.indexed);
    EXPECT_EQ(tooMany.features, streamed.features);
    EXPECT_EQ(tooMany.report.unindexedFiles, 1);
    const auto noted = [](const Written& w) {
        return std::any_of(w.messages.begin(), w.messages.end(), [](const std::string& m) {
            return m.find(
                       "Information: The FlatGeobuf file has no spatial index: with more "
                       "than 100000 features") == 0;
        });
    };
    EXPECT_TRUE(noted(tooMany));
    EXPECT_FALSE(noted(indexed));
    EXPECT_FALSE(noted(streamed));
    // Nothing of the indexing is left beside the file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(drive.dir.Path()), {}), 2);
    WaitForDroppedDatasets();
}

// A drive without a position gives a FlatGeobuf of no features that still reads back with its
// fields, with or without the index (a streamed layer of nothing would be an empty file).
TEST(MapExportTest, AFlatGeobufOfNoFeaturesReadsBack) {
    const test::SimulatedDrive drive(sim::Scenario::SingleRtc, 1, 60);
    for (const bool spatialIndex : {true, false}) {
        MapExportOptions options;
        options.format = MapFormat::FlatGeobuf;
        options.spatialIndex = spatialIndex;
        TavrelReader reader;
        RecordingObserver observer;
        const std::string output = drive.dir.File("empty.fgb");
        ASSERT_EQ(
            RunMapExportJob(reader, {drive.input}, {output}, drive.settings, options, observer, {}),
            JobOutcome::Completed);
        const GDALDatasetUniquePtr dataset = OpenVector(output);
        OGRLayer* layer = dataset ? dataset->GetLayerByName("samples") : nullptr;
        ASSERT_NE(layer, nullptr) << spatialIndex;
        EXPECT_EQ(layer->GetFeatureCount(), 0);
        EXPECT_GE(layer->GetLayerDefn()->GetFieldIndex("time_utc"), 0);
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
        // The KML track of this drive fits in the disk: its points do not.
        options.kmlForm = KmlForm::Points;
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

// A KML of points stops at the point after its limit: an error naming the file, the track form
// and 40-lambda averaging, and no file, temporary or final. The track form has no limit.
TEST(MapExportTest, KmlPointsStopAtTheirLimit) {
    const test::SimulatedDrive drive(sim::Scenario::SingleGps, 4, 300);
    const struct {
        const char* name;
        KmlForm form;
        std::int64_t limit;
        bool completes;
    } cases[] = {
        {"points beyond the limit", KmlForm::Points, 50, false},
        {"points within the limit", KmlForm::Points, 100000, true},
        {"a track of more points than the limit", KmlForm::Track, 50, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MapExportOptions options;
        options.format = MapFormat::Kml;
        options.kmlForm = c.form;
        options.kmlPointLimit = c.limit;
        TavrelReader reader;
        RecordingObserver observer;
        MapExportReport report;
        const JobOutcome outcome =
            RunMapExportJob(reader, {drive.input}, {drive.dir.File("drive.kml")}, drive.settings,
                            options, observer, {}, JobKind::SingleFile, {}, &report);
        if (!c.completes) {
            EXPECT_EQ(outcome, JobOutcome::Failed);
            EXPECT_EQ(observer.messages,
                      std::vector<std::string>{
                          "Error: '" + drive.dir.File("drive.kml") +
                          "' would hold more than 50 points, the most --kml-points writes: "
                          "without --kml-points the drive is written as a coloured track, "
                          "whatever its length, and 40-lambda averaging (--average 40-lambda) "
                          "gives far fewer points."});
            EXPECT_FALSE(std::filesystem::exists(drive.dir.File("drive.kml")));
        } else {
            EXPECT_EQ(outcome, JobOutcome::Completed);
            EXPECT_GT(report.points, 50);
        }
        std::size_t entries = 0;
        for (const auto& entry : std::filesystem::directory_iterator(drive.dir.Path()))
            entries += entry.path().filename().string().front() == '.' ? 100 : 1;
        EXPECT_EQ(entries, c.completes ? 2u : 1u);
        std::filesystem::remove(drive.dir.File("drive.kml"));
    }
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

namespace varistrum {
namespace {

GDALDatasetUniquePtr Export(const std::string& input, const std::string& output,
                            MapExportOptions options) {
    ConversionSettings settings = FieldSettings({LatitudeDecimalDegrees});
    settings.convertAllScans = true;
    TavrelReader reader;
    RecordingObserver observer;
    const JobOutcome outcome =
        RunMapExportJob(reader, {input}, {output}, settings, options, observer, {});
    EXPECT_EQ(outcome, JobOutcome::Completed)
        << (observer.messages.empty() ? "" : observer.messages.back());
    return OpenVector(output);
}

// Rows timed by the receiver's clock (a log with fixes and RTC stamps): no UTC time, the
// clock's ISO stamp, "rtc"; the field is a date and time all the same.
TEST(MapExportTest, ClockTimedRowsHaveNoUtcTime) {
    // A fix, then the clock's stamp: from then on the clock times the rows (placed at the fix).
    sim::LogBuilder log;
    log.Config(1, test::kBand800, test::kBand800).ScanList32(68000, 0);
    sim::GpsFix fix;
    fix.latitudeMas = 185000000;
    fix.longitudeMas = 25000000;
    log.Gps(fix).Rtc(1, 2, 3);
    for (int record = 0; record < 5; ++record) {
        const int levels[] = {-70, -80};
        log.Samples(1, levels);
    }
    TempDir dir;
    const std::string input = dir.File("clock.klf");
    test::WriteFile(input, log.Bytes());
    for (const MapFormat format : {MapFormat::GeoPackage, MapFormat::FlatGeobuf}) {
        SCOPED_TRACE(std::string(FormatName(format)));
        MapExportOptions options;
        options.format = format;
        auto dataset =
            Export(input, dir.File("clock" + std::string(FormatExtension(format))), options);
        ASSERT_TRUE(dataset);
        OGRLayer* samples = dataset->GetLayerByName("samples");
        ASSERT_NE(samples, nullptr);
        const OGRFeatureDefn* defn = samples->GetLayerDefn();
        EXPECT_EQ(defn->GetFieldDefn(defn->GetFieldIndex("time_utc"))->GetType(), OFTDateTime);
        int features = 0;
        for (auto& f : *samples) {
            ++features;
            EXPECT_FALSE(HasValue(*f, "time_utc"));
            EXPECT_EQ(std::string(f->GetFieldAsString("clock_time")), "2026-06-15T01:02:03");
            EXPECT_EQ(std::string(f->GetFieldAsString("time_source")), "rtc");
            EXPECT_EQ(std::string(f->GetFieldAsString("fix")), "3D");
        }
        EXPECT_GT(features, 0);
    }
}

// The GeoPackage's samples open coloured in QGIS: a default style in `layer_styles` for the
// layer, categorised on level_band with the ramp's six colours and the legend's labels.
TEST(MapExportTest, GeoPackageStoresItsLevelStyle) {
    TempDir dir;
    const std::string input = dir.File("drive.klf");
    test::WriteFile(input, sim::SimulateLog(sim::Scenario::SingleGps, 8, 2, 60));
    for (const char* thresholds : {"-110,-100,-90,-80,-70", "-105,-95,-85,-75,-65.5"}) {
        SCOPED_TRACE(thresholds);
        MapExportOptions options;
        options.ramp = *LevelRamp::Parse(thresholds);
        auto dataset = Export(input, dir.File("drive.gpkg"), options);
        ASSERT_TRUE(dataset);
        OGRLayer* styles = dataset->GetLayerByName("layer_styles");
        ASSERT_NE(styles, nullptr);
        ASSERT_EQ(styles->GetFeatureCount(), 1);
        OGRFeatureUniquePtr row(styles->GetNextFeature());
        EXPECT_EQ(std::string(row->GetFieldAsString("f_table_name")), "samples");
        EXPECT_EQ(std::string(row->GetFieldAsString("f_geometry_column")),
                  dataset->GetLayerByName("samples")->GetGeometryColumn());
        EXPECT_EQ(row->GetFieldAsInteger("useAsDefault"), 1);
        const std::string qml = row->GetFieldAsString("styleQML");
        xmlDocPtr doc = xmlReadMemory(qml.data(), static_cast<int>(qml.size()), nullptr, nullptr,
                                      XML_PARSE_NONET);
        ASSERT_NE(doc, nullptr) << "the style is not well-formed";
        std::vector<std::pair<std::string, std::string>> categories;  // value, label
        std::map<std::string, std::string> colours;                   // symbol name, colour
        std::string attribute;
        std::function<void(xmlNode*, const std::string&)> walk = [&](xmlNode* node,
                                                                     const std::string& symbol) {
            for (xmlNode* n = node; n != nullptr; n = n->next) {
                if (n->type != XML_ELEMENT_NODE) continue;
                const auto property = [&](const char* name) {
                    xmlChar* value = xmlGetProp(n, BAD_CAST name);
                    std::string text = value != nullptr ? reinterpret_cast<char*>(value) : "";
                    xmlFree(value);
                    return text;
                };
                const std::string name = reinterpret_cast<const char*>(n->name);
                std::string inside = symbol;
                if (name == "renderer-v2") attribute = property("attr");
                if (name == "category")
                    categories.emplace_back(property("value"), property("label"));
                if (name == "symbol") inside = property("name");
                if (name == "Option" && property("name") == "color")
                    colours[symbol] = property("value");
                walk(n->children, inside);
            }
        };
        walk(xmlDocGetRootElement(doc), "");
        xmlFreeDoc(doc);
        EXPECT_EQ(attribute, "level_band");
        ASSERT_EQ(categories.size(), static_cast<std::size_t>(LevelRamp::kBands));
        for (int band = 0; band < LevelRamp::kBands; ++band) {
            const RgbColour c = LevelRamp::BandColour(band);
            EXPECT_EQ(categories[static_cast<std::size_t>(band)].first, std::to_string(band));
            EXPECT_EQ(categories[static_cast<std::size_t>(band)].second,
                      options.ramp.BandLabel(band));
            EXPECT_EQ(colours[std::to_string(band)], std::to_string(c.red) + "," +
                                                         std::to_string(c.green) + "," +
                                                         std::to_string(c.blue) + ",255");
        }
        for (auto& f : *dataset->GetLayerByName("samples"))
            EXPECT_EQ(f->GetFieldAsInteger("level_band"),
                      options.ramp.BandOf(f->GetFieldAsDouble("rssi_dbm")));
        dataset.reset();
        std::filesystem::remove(dir.File("drive.gpkg"));
    }
}

}  // namespace
}  // namespace varistrum
