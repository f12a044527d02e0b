// SPDX-License-Identifier: GPL-3.0-or-later
// The KML document parsed by libxml2: well-formed, each placemark coloured as the ramp colours
// its level, the track's pieces exactly where the band of 100 m stretches changes or the drive
// jumps, every point of the channel shown in one placemark, and times as viewers read them.
#include "export/kml_document.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <tuple>

#include "base/geodesic.h"
#include "export/gdal_support.h"
#include "export/map_export.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"

namespace varistrum {
namespace {

using test::FieldSettings;
using test::RecordingObserver;
using test::TempDir;

std::string Text(const xmlNode* node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content != nullptr ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return text;
}

bool Named(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE &&
           std::string(reinterpret_cast<const char*>(node->name)) == name;
}

const xmlNode* Child(const xmlNode* node, const char* name) {
    for (const xmlNode* c = node->children; c != nullptr; c = c->next) {
        if (Named(c, name)) return c;
    }
    return nullptr;
}

std::vector<const xmlNode*> Children(const xmlNode* node, const char* name) {
    std::vector<const xmlNode*> found;
    for (const xmlNode* c = node->children; c != nullptr; c = c->next) {
        if (Named(c, name)) found.push_back(c);
    }
    return found;
}

// A placemark's <Data name="..."><value> texts.
std::map<std::string, std::string> DataOf(const xmlNode* placemark) {
    std::map<std::string, std::string> data;
    const xmlNode* extended = Child(placemark, "ExtendedData");
    if (extended == nullptr) return data;
    for (const xmlNode* d : Children(extended, "Data")) {
        xmlChar* name = xmlGetProp(d, BAD_CAST "name");
        data[reinterpret_cast<const char*>(name)] = Text(Child(d, "value"));
        xmlFree(name);
    }
    return data;
}

std::vector<GeoPosition> Coordinates(const xmlNode* geometry) {
    std::vector<GeoPosition> points;
    std::istringstream in(Text(Child(geometry, "coordinates")));
    for (std::string pair; in >> pair;) {
        const std::size_t comma = pair.find(',');
        points.push_back({std::stod(pair.substr(0, comma)), std::stod(pair.substr(comma + 1))});
    }
    return points;
}

// KML's aabbggrr of a ramp colour.
std::string KmlColourOf(RgbColour c) {
    char text[9];
    std::snprintf(text, sizeof text, "ff%02x%02x%02x", c.blue, c.green, c.red);
    return text;
}

struct ParsedKml {
    xmlDocPtr doc = nullptr;
    ~ParsedKml() { xmlFreeDoc(doc); }
    const xmlNode* Document() const { return Child(xmlDocGetRootElement(doc), "Document"); }
};

// A point of the channel shown, as the GeoPackage of the same conversion holds it.
struct Shown {
    int scan;
    double longitude, latitude, rssi;
    int samples;
    int timeKind;  // 2: UTC, 1: the clock's, 0: none
};

// The strongest point of each row (the first of equals), or those of one channel, in file order.
std::vector<Shown> ShownPoints(const std::string& gpkg, std::optional<int> channel) {
    RegisterGdalDrivers();
    GDALDatasetUniquePtr dataset(GDALDataset::Open(gpkg.c_str(), GDAL_OF_VECTOR));
    std::vector<Shown> shown;
    std::pair<int, std::int64_t> row{-1, -1};
    for (auto& f : *dataset->GetLayerByName("samples")) {
        const OGRPoint* p = f->GetGeometryRef()->toPoint();
        const int timeKind = f->IsFieldSetAndNotNull(f->GetFieldIndex("time_utc"))     ? 2
                             : f->IsFieldSetAndNotNull(f->GetFieldIndex("clock_time")) ? 1
                                                                                       : 0;
        const Shown point{
            f->GetFieldAsInteger("scan"),    p->getX(), p->getY(), f->GetFieldAsDouble("rssi_dbm"),
            f->GetFieldAsInteger("samples"), timeKind};
        if (channel) {
            if (f->GetFieldAsInteger("channel") == *channel) shown.push_back(point);
            continue;
        }
        const std::pair<int, std::int64_t> key{point.scan, f->GetFieldAsInteger64("row")};
        if (key != row) {
            shown.push_back(point);
            row = key;
        } else if (point.rssi > shown.back().rssi) {
            shown.back() = point;
        }
    }
    return shown;
}

// What a piece of track holds.
struct PieceFigures {
    int scan = 0;
    int band = 0;
    std::int64_t points = 0, samples = 0;
    double sum = 0;  // of the levels
};

struct TrackCase {
    const char* name;
    sim::Scenario scenario;
    int averageType;
    std::optional<int> channel;
};

TEST(KmlDocumentTest, TrackPiecesAreStretchesOfOneBandBrokenAtJumps) {
    const TrackCase cases[] = {
        {"single frequency", sim::Scenario::SingleGps, kAverageNone, std::nullopt},
        {"40-lambda", sim::Scenario::SingleGps, kAverageLambda, std::nullopt},
        {"mixed, strongest channel", sim::Scenario::Mixed, kAverageNone, std::nullopt},
        {"list, one channel", sim::Scenario::List, kAverageNone, std::nullopt},
    };
    const LevelRamp ramp;
    for (const TrackCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string input = dir.File("drive.klf");
        test::WriteFile(input, sim::SimulateLog(c.scenario, 8, 6, 400));
        ConversionSettings settings = FieldSettings({LatitudeDecimalDegrees});
        settings.convertAllScans = true;
        settings.averageType = c.averageType;
        MapExportOptions options;
        TavrelReader reader;
        RecordingObserver observer;
        options.format = MapFormat::GeoPackage;
        ASSERT_EQ(RunMapExportJob(reader, {input}, {dir.File("drive.gpkg")}, settings, options,
                                  observer, {}),
                  JobOutcome::Completed);
        std::optional<int> channel = c.channel;
        if (c.scenario == sim::Scenario::List) {  // a channel the list holds
            GDALDatasetUniquePtr gpkg(
                GDALDataset::Open(dir.File("drive.gpkg").c_str(), GDAL_OF_VECTOR));
            auto first = gpkg->GetLayerByName("samples")->GetNextFeature();
            channel = first->GetFieldAsInteger("channel");
            OGRFeature::DestroyFeature(first);
        }
        const std::vector<Shown> shown = ShownPoints(dir.File("drive.gpkg"), channel);
        ASSERT_FALSE(shown.empty());

        options.format = MapFormat::Kml;
        options.kmlChannel = channel;
        ASSERT_EQ(RunMapExportJob(reader, {input}, {dir.File("drive.kml")}, settings, options,
                                  observer, {}),
                  JobOutcome::Completed);
        ParsedKml kml;
        kml.doc = xmlReadFile(dir.File("drive.kml").c_str(), nullptr, XML_PARSE_NONET);
        ASSERT_NE(kml.doc, nullptr) << "not well-formed";
        const xmlNode* document = kml.Document();
        ASSERT_NE(document, nullptr);
        std::map<std::string, std::string> lineColours;
        for (const xmlNode* style : Children(document, "Style")) {
            xmlChar* id = xmlGetProp(style, BAD_CAST "id");
            lineColours["#" + std::string(reinterpret_cast<const char*>(id))] =
                Text(Child(Child(style, "LineStyle"), "color"));
            xmlFree(id);
        }

        // The pieces as the points give them: stretches of 100 m coloured by their mean level,
        // consecutive stretches of one band joined; a new piece at a scan, a band change, a
        // jump, or where the time changes from the GPS's to the clock's.
        std::vector<PieceFigures> expectedPieces;
        {
            PieceFigures stretch, piece;
            double length = 0;
            const auto closeStretch = [&] {
                if (stretch.points == 0) return;
                stretch.band = ramp.BandOf(stretch.sum / static_cast<double>(stretch.points));
                if (piece.points > 0 && piece.band == stretch.band) {
                    piece.points += stretch.points;
                    piece.samples += stretch.samples;
                    piece.sum += stretch.sum;
                } else {
                    if (piece.points > 0) expectedPieces.push_back(piece);
                    piece = stretch;
                }
                stretch = {};
                length = 0;
            };
            for (std::size_t i = 0; i < shown.size(); ++i) {
                const Shown& p = shown[i];
                if (i > 0) {
                    const Shown& q = shown[i - 1];
                    const double metres =
                        GeodesicMetres(q.latitude, q.longitude, p.latitude, p.longitude);
                    if (p.scan != q.scan || p.timeKind != q.timeKind || metres > kTrackGapMetres) {
                        closeStretch();
                        if (piece.points > 0) expectedPieces.push_back(piece);
                        piece = {};
                    } else {
                        length += metres;
                    }
                }
                stretch.scan = p.scan;
                ++stretch.points;
                stretch.samples += p.samples;
                stretch.sum += p.rssi;
                if (length >= kTrackStretchMetres) closeStretch();
            }
            closeStretch();
            if (piece.points > 0) expectedPieces.push_back(piece);
        }
        // A piece of a few hundred metres on average, not of a few points.
        EXPECT_LT(expectedPieces.size() * 10, shown.size());
        std::vector<PieceFigures> foundPieces;
        std::int64_t pieces = 0, points = 0, samples = 0, expectedSamples = 0;
        for (const Shown& p : shown) expectedSamples += p.samples;
        for (const xmlNode* scan : Children(document, "Folder")) {
            const std::string scanName = Text(Child(scan, "name"));
            if (scanName == "Routes") continue;
            EXPECT_EQ(scanName.rfind("Scan ", 0), 0u) << scanName;
            for (const xmlNode* bandFolder : Children(scan, "Folder")) {
                const std::string label = Text(Child(bandFolder, "name"));
                for (const xmlNode* placemark : Children(bandFolder, "Placemark")) {
                    ++pieces;
                    const auto data = DataOf(placemark);
                    const int band = std::stoi(data.at("level_band"));
                    EXPECT_EQ(label, ramp.BandLabel(band));
                    // Its colour is the ramp's for its level, and every point lies in the band.
                    const std::string styleUrl = Text(Child(placemark, "styleUrl"));
                    EXPECT_EQ(lineColours[styleUrl], KmlColourOf(LevelRamp::BandColour(band)));
                    const double mean = std::stod(data.at("level_mean_dbm"));
                    EXPECT_EQ(ramp.BandOf(mean), band);
                    EXPECT_LE(std::stod(data.at("level_min_dbm")), mean);
                    EXPECT_GE(std::stod(data.at("level_max_dbm")), mean);
                    PieceFigures found;
                    found.scan = std::stoi(data.at("scan"));
                    found.band = band;
                    found.points = std::stoll(data.at("points"));
                    found.samples = std::stoll(data.at("samples"));
                    foundPieces.push_back(found);
                    points += found.points;
                    samples += found.samples;
                    // A line of two places at least, none repeated, no leg across a gap; a
                    // piece at one place is a point.
                    const xmlNode* line = Child(placemark, "LineString");
                    const std::vector<GeoPosition> coordinates =
                        Coordinates(line != nullptr ? line : Child(placemark, "Point"));
                    EXPECT_EQ(coordinates.size() >= 2, line != nullptr);
                    ASSERT_FALSE(coordinates.empty());
                    for (std::size_t i = 1; i < coordinates.size(); ++i) {
                        const double leg = GeodesicMetres(
                            coordinates[i - 1].latitude, coordinates[i - 1].longitude,
                            coordinates[i].latitude, coordinates[i].longitude);
                        EXPECT_GT(leg, 0.0);
                        EXPECT_LE(leg, kTrackGapMetres + 0.5);
                    }
                    const xmlNode* span = Child(placemark, "TimeSpan");
                    ASSERT_NE(span, nullptr);
                    const std::string begin = Text(Child(span, "begin"));
                    const std::string end = Text(Child(span, "end"));
                    // 2026-06-15T14:30:05Z, or without the zone for the clock's time
                    EXPECT_TRUE(begin.size() == 20 ? begin.back() == 'Z' : begin.size() == 19)
                        << begin;
                    EXPECT_LE(begin, end);
                }
            }
        }
        EXPECT_EQ(pieces, static_cast<std::int64_t>(expectedPieces.size()));
        const auto order = [](const PieceFigures& a, const PieceFigures& b) {
            return std::tie(a.scan, a.band, a.points, a.samples) <
                   std::tie(b.scan, b.band, b.points, b.samples);
        };
        std::sort(expectedPieces.begin(), expectedPieces.end(), order);
        std::sort(foundPieces.begin(), foundPieces.end(), order);
        EXPECT_TRUE(std::equal(expectedPieces.begin(), expectedPieces.end(), foundPieces.begin(),
                               foundPieces.end(),
                               [&](const PieceFigures& a, const PieceFigures& b) {
                                   return !order(a, b) && !order(b, a);
                               }));
        EXPECT_EQ(points, static_cast<std::int64_t>(shown.size()));
        EXPECT_EQ(samples, expectedSamples);
        WaitForDroppedDatasets();
    }
}

TEST(KmlDocumentTest, PointsCarryTheirFieldsTimeAndColour) {
    const test::SimulatedDrive drive(sim::Scenario::Mixed, 7, 200);
    MapExportOptions options;
    TavrelReader reader;
    RecordingObserver observer;
    ASSERT_EQ(RunMapExportJob(reader, {drive.input}, {drive.dir.File("drive.gpkg")}, drive.settings,
                              options, observer, {}),
              JobOutcome::Completed);
    const std::vector<Shown> shown = ShownPoints(drive.dir.File("drive.gpkg"), std::nullopt);
    options.format = MapFormat::Kml;
    options.kmlForm = KmlForm::Points;
    ASSERT_EQ(RunMapExportJob(reader, {drive.input}, {drive.dir.File("drive.kml")}, drive.settings,
                              options, observer, {}),
              JobOutcome::Completed);
    ParsedKml kml;
    kml.doc = xmlReadFile(drive.dir.File("drive.kml").c_str(), nullptr, XML_PARSE_NONET);
    ASSERT_NE(kml.doc, nullptr);
    std::map<std::string, std::string> iconColours;
    for (const xmlNode* style : Children(kml.Document(), "Style")) {
        xmlChar* id = xmlGetProp(style, BAD_CAST "id");
        if (const xmlNode* icon = Child(style, "IconStyle"))
            iconColours["#" + std::string(reinterpret_cast<const char*>(id))] =
                Text(Child(icon, "color"));
        xmlFree(id);
    }
    const LevelRamp ramp;
    std::size_t placemarks = 0;
    std::map<std::string, int> routeFields;
    for (const xmlNode* folder : Children(kml.Document(), "Folder")) {
        if (Text(Child(folder, "name")) == "Routes") {
            for (const xmlNode* route : Children(folder, "Placemark")) {
                for (const auto& [name, value] : DataOf(route)) ++routeFields[name];
                EXPECT_NE(Child(route, "TimeSpan"), nullptr);
            }
            continue;
        }
        for (const xmlNode* band : Children(folder, "Folder")) {
            for (const xmlNode* placemark : Children(band, "Placemark")) {
                ++placemarks;
                const auto data = DataOf(placemark);
                const double rssi = std::stod(data.at("rssi_dbm"));
                EXPECT_EQ(std::stoi(data.at("level_band")), ramp.BandOf(rssi));
                EXPECT_EQ(iconColours[Text(Child(placemark, "styleUrl"))],
                          KmlColourOf(ramp.ColourOf(rssi)));
                ASSERT_NE(Child(placemark, "Point"), nullptr);
                const xmlNode* stamp = Child(placemark, "TimeStamp");
                ASSERT_NE(stamp, nullptr);
                if (data.count("time_utc")) {
                    EXPECT_EQ(Text(Child(stamp, "when")), data.at("time_utc"));
                    EXPECT_EQ(data.at("time_source"), "gps");
                }
                for (const char* field : {"scan", "row", "fix", "channel", "frequency_mhz",
                                          "samples", "rssi_min_dbm", "rssi_max_dbm"})
                    EXPECT_TRUE(data.count(field)) << field;
            }
        }
    }
    EXPECT_EQ(placemarks, shown.size());
    // The route's times under names no GIS driver takes for its own.
    EXPECT_GT(routeFields["first_fix_utc"], 0);
    EXPECT_GT(routeFields["last_fix_utc"], 0);
    for (const char* reserved : {"begin", "end", "timestamp", "when", "start"})
        EXPECT_EQ(routeFields.count(reserved), 0u) << reserved;
    WaitForDroppedDatasets();
}

}  // namespace
}  // namespace varistrum
