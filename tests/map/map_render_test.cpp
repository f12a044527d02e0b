// SPDX-License-Identifier: GPL-3.0-or-later
// The map picture: points in the ramp's colours where they project, only the chosen channel,
// backgrounds of other coordinate systems where they belong, the scale bar's steps.
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <cmath>

#include "map/map_collector.h"
#include "mapdraw/map_renderer.h"
#include "support/test_files.h"

namespace varistrum {
namespace {

SamplePoint At(std::int64_t row, int channel, double dbm, double longitude, double latitude) {
    SamplePoint p;
    p.row = row;
    p.scan = 2;
    p.scanKind = ScanKind::Table;
    p.channel = channel;
    p.frequencyMHz = 900.0 + channel;
    p.rssiDbm = dbm;
    p.longitude = longitude;
    p.latitude = latitude;
    return p;
}

QRgb PixelAt(const QImage& image, const MapViewport& view, double longitude, double latitude) {
    const ScreenPoint s = view.ToScreen(ProjectToWorld(longitude, latitude));
    return image.pixel(static_cast<int>(std::floor(s.x)), static_cast<int>(std::floor(s.y)));
}

QRgb RgbOf(RgbColour c) {
    return qRgb(c.red, c.green, c.blue);
}

TEST(MapRenderer, PointsTakeTheRampColourOfTheirLevelForTheChosenChannel) {
    MapData data;
    // One level of each band on channel 1 along a street; channel 2 elsewhere on the street.
    const double levels[] = {-120.0, -110.0, -100.5, -90.0, -79.99, -70.0, -40.0};
    {
        MapCollector collector(data);
        for (int i = 0; i < 7; ++i) {
            collector.AcceptPoint(At(i + 1, 1, levels[i], 13.40 + 0.002 * i, 52.50));
            collector.AcceptPoint(At(i + 1, 2, levels[i] - 50.0, 13.40 + 0.002 * i, 52.499));
        }
    }
    const LevelRamp ramps[] = {LevelRamp(), *LevelRamp::Parse("-100,-95,-90,-85,-60")};
    for (const LevelRamp& ramp : ramps) {
        MapScene scene{&data, nullptr, data.channels.IdOf(1, 901.0), ramp};
        const MapViewport view = FittedView(scene, QSize(700, 500));
        const QImage image = RenderMap(view, scene);
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(PixelAt(image, view, 13.40 + 0.002 * i, 52.50),
                      RgbOf(ramp.ColourOf(levels[i])))
                << ramp.Text() << " " << levels[i];
            // Channel 2 is not shown: its place is white or the grey route, never a ramp colour.
            const QRgb other = PixelAt(image, view, 13.40 + 0.002 * i, 52.499);
            for (int band = 0; band < LevelRamp::kBands; ++band)
                EXPECT_NE(other, RgbOf(LevelRamp::BandColour(band)));
        }
    }
}

TEST(MapRenderer, ScaleBarTakesRoundLengths) {
    struct Case {
        double metresPerPixel;
        int maxPixels;
        double metres;
        const char* text;
    } const cases[] = {{1.0, 150, 100.0, "100 m"},  {3.0, 200, 500.0, "500 m"},
                       {10.0, 250, 2000.0, "2 km"}, {0.01, 120, 1.0, "1 m"},
                       {0.001, 120, 0.1, "0.1 m"},  {60.0, 300, 10000.0, "10 km"}};
    for (const Case& c : cases) {
        const double metres = ScaleBarMetres(c.metresPerPixel, c.maxPixels);
        EXPECT_DOUBLE_EQ(metres, c.metres) << c.metresPerPixel;
        EXPECT_EQ(DistanceText(metres), c.text);
    }
}

// A point written in UTM zone 33N lands at its WGS 84 position and is drawn there.
TEST(BackgroundLayer, AFileInAnotherCoordinateSystemLandsWhereItBelongs) {
    test::TempDir dir;
    const std::string path = dir.File("roads.gpkg");
    GDALAllRegister();
    {
        GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
        ASSERT_NE(driver, nullptr);
        GDALDatasetUniquePtr dataset(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        ASSERT_NE(dataset, nullptr);
        OGRSpatialReference utm;
        ASSERT_EQ(utm.importFromEPSG(32633), OGRERR_NONE);
        OGRLayer* layer = dataset->CreateLayer("roads", &utm, wkbLineString, nullptr);
        ASSERT_NE(layer, nullptr);
        // 13.4 E 52.5 N is about (391 088.6, 5 817 855.7) in zone 33N: transform it exactly.
        OGRSpatialReference wgs84;
        wgs84.importFromEPSG(4326);
        wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        std::unique_ptr<OGRCoordinateTransformation> toUtm(
            OGRCreateCoordinateTransformation(&wgs84, &utm));
        double x = 13.4, y = 52.5;
        ASSERT_TRUE(toUtm->Transform(1, &x, &y));
        OGRLineString line;
        line.addPoint(x, y);
        line.addPoint(x + 1000.0, y);
        OGRFeature feature(layer->GetLayerDefn());
        feature.SetGeometry(&line);
        ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    }
    std::string error;
    std::unique_ptr<MapBackground> background = OpenBackgroundFile(path, error);
    ASSERT_NE(background, nullptr) << error;
    MapScene scene{nullptr, background.get(), MapChannels::kStrongest, LevelRamp()};
    const MapViewport view = FittedView(scene, QSize(400, 300));
    std::vector<std::vector<WorldPoint>> lines;
    background->VisitLines(view, [&](const WorldPoint* points, std::size_t count) {
        lines.emplace_back(points, points + count);
    });
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].size(), 2u);
    const GeoPosition back = UnprojectWorld(lines[0][0]);
    EXPECT_NEAR(back.longitude, 13.4, 1e-6);
    EXPECT_NEAR(back.latitude, 52.5, 1e-6);

    const QImage image = RenderMap(view, scene);
    EXPECT_NE(PixelAt(image, view, 13.4, 52.5), qRgb(255, 255, 255));

    EXPECT_EQ(OpenBackgroundFile(dir.File("missing.gpkg"), error), nullptr);
    EXPECT_NE(error, "");
}

}  // namespace
}  // namespace varistrum
