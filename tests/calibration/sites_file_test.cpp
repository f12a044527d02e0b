// SPDX-License-Identifier: GPL-3.0-or-later
// Sites files: CSV, GeoJSON and GeoPackage files written here, read into rows; missing fields,
// wrong types and positions without a coordinate system give messages naming file, row and
// field.
#include "calibration/sites_file.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <fstream>

#include "export/gdal_support.h"
#include "tests/calibration/synthetic_drive.h"

namespace varistrum {
namespace {

std::string WriteText(const test::ScratchDir& dir, const std::string& name,
                      const std::string& text) {
    const std::string path = dir.File(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

constexpr const char* kHeader = "site,latitude,longitude,antenna_height_m,eirp_dbm,frequency_mhz\n";

TEST(SitesFile, ReadsACsvWithPositionColumns) {
    test::ScratchDir dir;
    // The last row gives a channel instead of a frequency; blanks around numbers are fine.
    const std::string path =
        WriteText(dir, "sites.csv",
                  "site,latitude,longitude,antenna_height_m,eirp_dbm,frequency_mhz,channel\n"
                  "North,48.2,16.37,30,43,900.2,\n"
                  "North,48.2,16.37,30,40.5,1850,\n"
                  "\"East, hill\",48.1, 16.5 ,45.5,+37,,12\n");
    SitesFile sites;
    ASSERT_EQ(ReadSitesFile(path, sites), "");
    ASSERT_EQ(sites.rows.size(), 3u);
    EXPECT_EQ(sites.rows[0].site, "North");
    EXPECT_DOUBLE_EQ(sites.rows[0].latitude, 48.2);
    EXPECT_DOUBLE_EQ(sites.rows[0].longitude, 16.37);
    EXPECT_DOUBLE_EQ(*sites.rows[1].frequencyMHz, 1850.0);
    EXPECT_DOUBLE_EQ(sites.rows[1].eirpDbm, 40.5);
    EXPECT_EQ(sites.rows[2].site, "East, hill");
    EXPECT_EQ(sites.rows[2].row, 3);
    EXPECT_FALSE(sites.rows[2].frequencyMHz);
    EXPECT_EQ(sites.rows[2].channel, 12);
    EXPECT_DOUBLE_EQ(sites.rows[2].antennaHeightM, 45.5);
    EXPECT_DOUBLE_EQ(sites.rows[2].eirpDbm, 37.0);
}

TEST(SitesFile, BadCsvFilesNameFileRowAndField) {
    struct Case {
        const char* name;
        std::string text;
        std::string message;  // after "<path>: "
    } const cases[] = {
        {"no eirp column", "site,latitude,longitude,antenna_height_m,frequency_mhz\nA,1,2,30,900\n",
         "the field eirp_dbm is missing"},
        {"no frequency or channel",
         "site,latitude,longitude,antenna_height_m,eirp_dbm\nA,1,2,30,40\n",
         "the fields frequency_mhz and channel are both missing"},
        {"latitude alone", "site,latitude,antenna_height_m,eirp_dbm,frequency_mhz\nA,1,30,40,900\n",
         "the field longitude is missing"},
        {"no position at all", "site,antenna_height_m,eirp_dbm,frequency_mhz\nA,30,40,900\n",
         "no position"},
        {"empty value", std::string(kHeader) + "A,48,16,30,43,900\nB,48,16,,43,901\n",
         "row 2, field antenna_height_m: the value is missing"},
        {"text for a number", std::string(kHeader) + "A,48,16,30,strong,900\n",
         "row 1, field eirp_dbm: the value 'strong' is not a number"},
        {"decimal comma", std::string(kHeader) + "A,48,16,30,43,\"900,2\"\n",
         "row 1, field frequency_mhz: the value '900,2' is not a number"},
        {"no site name", std::string(kHeader) + "A,48,16,30,43,900\n,48,16,30,43,901\n",
         "row 2, field site: the value is missing"},
        {"latitude out of range", std::string(kHeader) + "A,98,16,30,43,900\n",
         "row 1, field latitude: 98 is outside -90 to 90"},
        {"zero height", std::string(kHeader) + "A,48,16,0,43,900\n",
         "row 1, field antenna_height_m: 0 is outside"},
        {"neither frequency nor channel",
         "site,latitude,longitude,antenna_height_m,eirp_dbm,frequency_mhz,channel\nA,48,16,30,43,,"
         "\n",
         "row 1, field frequency_mhz: the value is missing (a row needs frequency_mhz or channel)"},
        {"fractional channel",
         "site,latitude,longitude,antenna_height_m,eirp_dbm,channel\nA,48,16,30,43,12.5\n",
         "row 1, field channel: 12.5 is not a whole number"},
        {"two rows of one frequency",
         std::string(kHeader) + "A,48,16,30,43,900\nB,48,16,30,43,900\n",
         "row 2, field frequency_mhz: 900 MHz is also on row 1"},
        {"no rows", std::string(kHeader), "the sites file holds no rows"},
        {"no site column", "name,latitude\nA,1\n", "no layer has a 'site' field"},
    };
    test::ScratchDir dir;
    for (const Case& c : cases) {
        const std::string path = WriteText(dir, "sites.csv", c.text);
        SitesFile sites;
        EXPECT_EQ(ReadSitesFile(path, sites).substr(0, path.size() + 2 + c.message.size()),
                  path + ": " + c.message)
            << c.name;
        EXPECT_TRUE(sites.rows.empty()) << c.name;
    }
    SitesFile sites;
    const std::string missing = dir.File("missing.csv");
    EXPECT_EQ(ReadSitesFile(missing, sites).rfind(missing + ": the sites file cannot be read", 0),
              0u);
}

// A point layer written through GDAL: `crs` an EPSG code, 0 for none.
struct PointRow {
    double x, y;
    const char* site;
    double height;
    const char* eirp;  // as text when not a number: the field's type follows
    double mhz;
};

std::string WritePoints(const test::ScratchDir& dir, const std::string& name,
                        const char* driverName, int epsg, const std::vector<PointRow>& rows,
                        bool eirpAsText = false) {
    RegisterGdalDrivers();
    const std::string path = dir.File(name);
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(driverName);
    std::unique_ptr<GDALDataset> dataset(
        driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    OGRSpatialReference crs;
    if (epsg != 0) {
        crs.importFromEPSG(epsg);
        crs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    }
    OGRLayer* layer = dataset->CreateLayer("sites", epsg != 0 ? &crs : nullptr, wkbPoint, nullptr);
    OGRFieldDefn site("site", OFTString), height("antenna_height_m", OFTReal),
        eirp("eirp_dbm", eirpAsText ? OFTString : OFTReal), mhz("frequency_mhz", OFTReal);
    for (OGRFieldDefn* field : {&site, &height, &eirp, &mhz}) layer->CreateField(field);
    for (const PointRow& r : rows) {
        OGRFeature feature(layer->GetLayerDefn());
        feature.SetGeometryDirectly(new OGRPoint(r.x, r.y));
        feature.SetField("site", r.site);
        feature.SetField("antenna_height_m", r.height);
        feature.SetField("eirp_dbm", r.eirp);
        feature.SetField("frequency_mhz", r.mhz);
        EXPECT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    }
    return path;
}

TEST(SitesFile, PointGeometryIsTakenInWgs84) {
    test::ScratchDir dir;
    // GeoJSON in WGS 84, and a GeoPackage in UTM zone 32 N: its central meridian (9 degrees
    // east) at the equator lies at 500000 m east, 0 m north.
    const std::string geojson = WritePoints(
        dir, "sites.geojson", "GeoJSON", 4326,
        {{16.37, 48.2, "North", 30.0, "43", 900.2}, {16.5, 48.1, "East", 45.0, "37.5", 455.0}});
    const std::string utm = WritePoints(dir, "sites.gpkg", "GPKG", 32632,
                                        {{500000.0, 0.0, "Equator", 30.0, "43", 900.2}});
    SitesFile sites;
    ASSERT_EQ(ReadSitesFile(geojson, sites), "");
    ASSERT_EQ(sites.rows.size(), 2u);
    EXPECT_NEAR(sites.rows[1].latitude, 48.1, 1e-9);
    EXPECT_NEAR(sites.rows[1].longitude, 16.5, 1e-9);
    EXPECT_DOUBLE_EQ(sites.rows[1].eirpDbm, 37.5);
    ASSERT_EQ(ReadSitesFile(utm, sites), "");
    ASSERT_EQ(sites.rows.size(), 1u);
    EXPECT_NEAR(sites.rows[0].latitude, 0.0, 1e-9);
    EXPECT_NEAR(sites.rows[0].longitude, 9.0, 1e-9);
}

TEST(SitesFile, BadVectorFilesAreRefused) {
    test::ScratchDir dir;
    struct Case {
        const char* name;
        std::string path;
        std::string message;
    } const cases[] = {
        {"no coordinate system",
         WritePoints(dir, "nocrs.gpkg", "GPKG", 0, {{16.37, 48.2, "North", 30.0, "43", 900.2}}),
         "the geometry has no coordinate system"},
        {"positions as text without a coordinate system",
         WriteText(dir, "wkt.csv",
                   "WKT,site,antenna_height_m,eirp_dbm,frequency_mhz\n"
                   "POINT (16.37 48.2),North,30,43,900.2\n"),
         "the geometry has no coordinate system"},
        {"text where a number belongs",
         WritePoints(dir, "text.geojson", "GeoJSON", 4326,
                     {{16.37, 48.2, "North", 30.0, "43", 900.2},
                      {16.37, 48.2, "South", 30.0, "forty", 901.2}},
                     true),
         "row 2, field eirp_dbm: the value 'forty' is not a number"},
    };
    for (const Case& c : cases) {
        SitesFile sites;
        EXPECT_EQ(ReadSitesFile(c.path, sites).substr(0, c.path.size() + 2 + c.message.size()),
                  c.path + ": " + c.message)
            << c.name;
    }
    // A GeoJSON feature without geometry and without position fields.
    const std::string nowhere = WriteText(dir, "nowhere.geojson",
                                          R"({"type":"FeatureCollection","features":[
                     {"type":"Feature","geometry":{"type":"Point","coordinates":[16,48]},
                      "properties":{"site":"A","antenna_height_m":30,"eirp_dbm":43,"frequency_mhz":900}},
                     {"type":"Feature","geometry":null,
                      "properties":{"site":"B","antenna_height_m":30,"eirp_dbm":43,"frequency_mhz":901}},
                     {"type":"Feature","geometry":{"type":"Point","coordinates":[16,48]},
                      "properties":{"site":"C","antenna_height_m":true,"eirp_dbm":43,"frequency_mhz":902}}]})");
    SitesFile sites;
    EXPECT_EQ(ReadSitesFile(nowhere, sites),
              nowhere + ": row 2, field geometry: the position is missing");
}

}  // namespace
}  // namespace varistrum
