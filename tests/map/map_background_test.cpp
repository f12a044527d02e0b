// SPDX-License-Identifier: GPL-3.0-or-later
// Backgrounds under the drive: tiles from a server on the loopback address (their pixels, the
// cache, offline, the User-Agent, the run's budget), raster files in other systems and formats,
// refusals, a large vector file outside the view, and pictures a GIS places where they belong.
#include "map/map_background.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <sys/stat.h>

#include <QImage>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <set>

#include "map/map_collector.h"
#include "map/picture_georeference.h"
#include "mapdraw/map_picture_file.h"
#include "mapdraw/map_renderer.h"
#include "support/test_files.h"
#include "support/tile_server.h"

namespace varistrum {
namespace {

SamplePoint At(std::int64_t row, double dbm, double longitude, double latitude) {
    SamplePoint p;
    p.row = row;
    p.scan = 1;
    p.scanKind = ScanKind::Table;
    p.channel = 1;
    p.frequencyMHz = 901.0;
    p.rssiDbm = dbm;
    p.longitude = longitude;
    p.latitude = latitude;
    return p;
}

// A short drive east and a little north, one point every few metres, its levels in steps.
MapData Drive(double west = 13.400, double south = 52.500) {
    MapData data;
    MapCollector collector(data);
    for (int i = 0; i < 40; ++i)
        collector.AcceptPoint(At(i + 1, -115.0 + i, west + 0.0005 * i, south + 0.0001 * i));
    collector.Finish();
    return data;
}

QRgb TileColour(long long x, long long y) {
    return qRgb(static_cast<int>(40 + (x % 4) * 60), static_cast<int>(40 + (y % 4) * 60), 200);
}

void WriteTile(const std::string& path, QRgb colour) {
    QImage tile(256, 256, QImage::Format_RGB32);
    tile.fill(colour);
    ASSERT_TRUE(tile.save(QString::fromStdString(path), "PNG"));
}

// A colour faded to white as the renderer fades it.
QRgb Faded(QRgb c, int fade) {
    const int weight = 255 * (100 - fade), paper = 25500 - weight;
    const auto mix = [&](int v) { return (v * weight + 255 * paper + 12750) / 25500; };
    return qRgb(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c)));
}

// Pixels of the picture that show the background alone: off the legend, the title, the scale
// bar, the attribution and the drive's points.
std::vector<QPoint> BackgroundSamples(const QImage& image, const MapViewport& view,
                                      const MapData& data) {
    std::vector<QPoint> samples;
    const ChannelPoints& points = data.points.Group(MapChannels::kStrongest);
    for (int y = 30; y < image.height() - 40; y += 23) {
        for (int x = 10; x < image.width() - 190; x += 29) {
            bool nearPoint = false;
            for (std::size_t i = 0; i < points.Size() && !nearPoint; ++i) {
                const ScreenPoint s =
                    view.ToScreen({points.x[i] * kFixedStep, points.y[i] * kFixedStep});
                nearPoint = std::abs(s.x - x) < 4 && std::abs(s.y - y) < 4;
            }
            if (!nearPoint) samples.push_back({x, y});
        }
    }
    return samples;
}

// The tile of `zoom` under a pixel's centre and how far the centre lies from the tile's edge in
// the tile's pixels.
struct TileUnder {
    long long x, y;
    double edge;
};
TileUnder TileAt(const MapViewport& view, int zoom, QPoint pixel) {
    const WorldPoint w = view.ToWorld({pixel.x() + 0.5, pixel.y() + 0.5});
    const double side = std::ldexp(1.0, zoom);
    const double tx = w.x * side, ty = w.y * side;
    const double fx = (tx - std::floor(tx)) * 256.0, fy = (ty - std::floor(ty)) * 256.0;
    return {static_cast<long long>(std::floor(tx)), static_cast<long long>(std::floor(ty)),
            std::min({fx, fy, 256.0 - fx, 256.0 - fy})};
}

class TileBackgroundTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::UseTileCache(cache.File("xdg"));
        ASSERT_TRUE(server.Running());
    }
    std::unique_ptr<MapBackground> Open(bool offline) {
        std::string error;
        auto tiles = OpenTileService(
            {"Test tiles", server.UrlTemplate(), "(c) Test tiles", 18, offline}, error);
        EXPECT_NE(tiles, nullptr) << error;
        return tiles;
    }

    test::TempDir cache;
    test::TileServer server;
};

TEST_F(TileBackgroundTest, TheTilesLieUnderTheDriveAndASecondDrawComesFromTheCache) {
    const MapData data = Drive();
    auto tiles = Open(false);
    ASSERT_NE(tiles, nullptr);
    MapScene scene(&data, tiles.get(), MapChannels::kStrongest, LevelRamp(), 0);
    const MapViewport view = FittedView(scene, QSize(640, 400));
    const int zoom = TileZoomFor(view.Scale(), 18);
    const TileRange range = TilesOfView(view, zoom, 4.0);
    ASSERT_GT(range.Count(), 1);
    for (long long y = range.y0; y <= range.y1; ++y)
        for (long long x = range.x0; x <= range.x1; ++x)
            WriteTile(server.TilePath(zoom, x, y), TileColour(x, y));

    BackgroundDraw drawn;
    const QImage full = RenderMap(view, scene, &drawn);
    EXPECT_FALSE(drawn.Problem()) << drawn.message;
    // Every request is for a tile of the view, once, with the program's name and version.
    const auto requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_LE(static_cast<std::int64_t>(requests.size()), range.Count());
    std::set<std::string> asked;
    for (const auto& request : requests) {
        EXPECT_EQ(request.userAgent, std::string("Varistrum-CW/") + VARISTRUM_VERSION);
        EXPECT_TRUE(asked.insert(request.path).second) << request.path;
        int z = 0;
        long long x = 0, y = 0;
        ASSERT_EQ(std::sscanf(request.path.c_str(), "/%d/%lld/%lld.png", &z, &x, &y), 3)
            << request.path;
        EXPECT_EQ(z, zoom);
        EXPECT_TRUE(x >= range.x0 && x <= range.x1 && y >= range.y0 && y <= range.y1)
            << request.path;
    }
    // The tiles' colours where the drive leaves the background visible, full and faded.
    scene.fadePercent = 50;
    const QImage faded = RenderMap(view, scene);
    int checked = 0;
    for (const QPoint pixel : BackgroundSamples(full, view, data)) {
        const TileUnder tile = TileAt(view, zoom, pixel);
        if (tile.edge < 3.0) continue;
        EXPECT_EQ(full.pixel(pixel), TileColour(tile.x, tile.y)) << pixel.x() << "," << pixel.y();
        EXPECT_EQ(faded.pixel(pixel), Faded(TileColour(tile.x, tile.y), 50));
        ++checked;
    }
    EXPECT_GT(checked, 100);

    // A new reader of the same view, online or offline, asks the server for nothing.
    for (const bool offline : {false, true}) {
        SCOPED_TRACE(offline ? "offline" : "online");
        auto again = Open(offline);
        scene.background = again.get();
        scene.fadePercent = 0;
        const QImage cached = RenderMap(view, scene, &drawn);
        EXPECT_FALSE(drawn.Problem()) << drawn.message;
        EXPECT_EQ(server.Requests().size(), requests.size());
        EXPECT_TRUE(cached == full);
    }
}

TEST_F(TileBackgroundTest, OfflineWithoutCachedTilesDrawsNoBackgroundAndSaysSo) {
    const MapData data = Drive();
    WriteTile(server.DefaultTilePath(), qRgb(0, 0, 255));
    auto tiles = Open(true);
    ASSERT_NE(tiles, nullptr);
    const MapScene scene(&data, tiles.get(), MapChannels::kStrongest, LevelRamp(), 0);
    const MapViewport view = FittedView(scene, QSize(400, 300));
    BackgroundDraw drawn;
    const QImage image = RenderMap(view, scene, &drawn);
    EXPECT_EQ(drawn.outcome, BackgroundDraw::Outcome::NothingKept);
    EXPECT_EQ(drawn.message, "no cached tiles for this view");
    for (const QPoint pixel : BackgroundSamples(image, view, data))
        EXPECT_EQ(image.pixel(pixel), qRgb(255, 255, 255));
    EXPECT_TRUE(server.Requests().empty());
}

TEST(TileBudget, TilesAreCountedBeforeAnyIsAskedForAndARunFetchesAtMostAThousand) {
    // Nothing listens on port 1: a request would fail the draw rather than refuse it.
    const std::string url = "http://127.0.0.1:1/{z}/{x}/{y}.png";
    std::string error;
    auto tiles = OpenTileService({"Nowhere", url, "", 18, false}, error);
    ASSERT_NE(tiles, nullptr) << error;
    MapViewport view(8192, 8192);  // 32 x 32 tiles of zoom 10, and the margins' row and column
    view.Fit(ProjectToWorld(13.0, 52.6), ProjectToWorld(13.0 + 360.0 / 1024 * 31.9, 52.0), 0);
    ASSERT_EQ(TileZoomFor(view.Scale(), 18), 10);
    // Left unwritten: a refusal touches no pixel, so the picture's 256 MiB are never taken.
    const auto pixels =
        std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t{8192} * 8192 * 4);
    const auto coverage = std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t{8192} * 8192);
    RasterTarget target;
    target.pixels = pixels.get();
    target.stride = 8192 * 4;
    target.coverage = coverage.get();
    const BackgroundDraw drawn = tiles->DrawRaster(view, target);
    EXPECT_EQ(drawn.outcome, BackgroundDraw::Outcome::Refused);
    EXPECT_NE(drawn.message.find("needs 1089 tiles; a run fetches at most 1000"), std::string::npos)
        << drawn.message;

    const struct {
        std::int64_t x0, y0, x1, y1;
        bool reserved;
    } steps[] = {
        {0, 0, 29, 29, true},     // 900 tiles
        {0, 0, 29, 29, true},     // the same: nothing new
        {30, 0, 39, 10, false},   // 110 new: 1010 in all
        {30, 0, 39, 9, true},     // 100 new: 1000 in all
        {40, 40, 40, 40, false},  // one more
        {5, 5, 35, 5, true},      // all of them known
    };
    TileBudget budget;
    for (const auto& step : steps) {
        TileRange range;
        range.zoom = 12;
        range.x0 = step.x0;
        range.y0 = step.y0;
        range.x1 = step.x1;
        range.y1 = step.y1;
        EXPECT_EQ(budget.Reserve(url, range).empty(), step.reserved) << step.x1 << " " << step.y1;
    }
}

TEST(TileBudget, TheZoomFitsTheViewAndTheRangeCoversIt) {
    const struct {
        double scale;
        int maxZoom, zoom;
    } zooms[] = {{256.0, 19, 0},
                 {300.0, 19, 0},
                 {400.0, 19, 1},
                 {256.0 * 65536, 19, 16},
                 {256.0 * 65536 * 1.5, 19, 17},
                 {256.0 * 1048576, 19, 19},
                 {256.0 * 4194304, 19, 19},
                 {256.0 * 65536, 12, 12},
                 {10.0, 19, 0}};
    for (const auto& c : zooms) EXPECT_EQ(TileZoomFor(c.scale, c.maxZoom), c.zoom) << c.scale;

    MapViewport view(512, 256);
    view.Fit({0.25, 0.25}, {0.25 + 2.0 / 1024, 0.25 + 1.0 / 1024}, 0);  // 2 x 1 tiles of zoom 10
    const struct {
        double margin;
        std::int64_t x0, y0, x1, y1;
    } ranges[] = {{0.0, 256, 256, 257, 256}, {4.0, 255, 255, 258, 257}};
    for (const auto& c : ranges) {
        const TileRange range = TilesOfView(view, 10, c.margin);
        EXPECT_EQ(range.zoom, 10);
        EXPECT_EQ(range.x0, c.x0);
        EXPECT_EQ(range.y0, c.y0);
        EXPECT_EQ(range.x1, c.x1);
        EXPECT_EQ(range.y1, c.y1);
    }
    // A view beside the world needs no tile.
    view.Pan(view.Scale() * 0.8, 0.0);
    EXPECT_EQ(TilesOfView(view, 10, 4.0).Count(), 0);
}

// ---------------------------------------------------------------------------------------------

struct Raster {
    std::string path;
    std::vector<QRgb> cells;  // the colour of each cell, row by row
};

// A raster of 4 x 3 cells of 150 m in UTM zone 33N around the drive, in the bands the kind asks.
enum class Bands { Rgb, Grey, Palette, RgbaHalfClear };

constexpr int kCellsX = 4, kCellsY = 3, kCellPixels = 30;
constexpr double kCellMetres = 150.0;

void UtmOrigin(double& east, double& north) {
    OGRSpatialReference wgs84, utm;
    wgs84.importFromEPSG(4326);
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    utm.importFromEPSG(32633);
    std::unique_ptr<OGRCoordinateTransformation> to(
        OGRCreateCoordinateTransformation(&wgs84, &utm));
    east = 13.398;
    north = 52.5045;
    to->Transform(1, &east, &north);
}

Raster MakeRaster(const test::TempDir& dir, const std::string& name, Bands bands) {
    GDALAllRegister();
    Raster raster;
    raster.path = dir.File(name);
    const int width = kCellsX * kCellPixels, height = kCellsY * kCellPixels;
    const int count = bands == Bands::Rgb ? 3 : bands == Bands::RgbaHalfClear ? 4 : 1;
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    GDALDatasetUniquePtr dataset(
        driver->Create(raster.path.c_str(), width, height, count, GDT_Byte, nullptr));
    double east = 0, north = 0;
    UtmOrigin(east, north);
    double transform[6] = {east, kCellMetres / kCellPixels, 0, north,
                           0,    -kCellMetres / kCellPixels};
    dataset->SetGeoTransform(transform);
    OGRSpatialReference utm;
    utm.importFromEPSG(32633);
    dataset->SetSpatialRef(&utm);
    GDALColorTable palette;
    for (int cy = 0; cy < kCellsY; ++cy) {
        for (int cx = 0; cx < kCellsX; ++cx) {
            const int index = cy * kCellsX + cx;
            QRgb colour = qRgb(30 + 50 * cx, 30 + 70 * cy, 220 - 40 * cx);
            if (bands == Bands::Grey) colour = qRgb(20 * index, 20 * index, 20 * index);
            if (bands == Bands::Palette) {
                const GDALColorEntry entry{static_cast<short>(qRed(colour)),
                                           static_cast<short>(qGreen(colour)),
                                           static_cast<short>(qBlue(colour)), 255};
                palette.SetColorEntry(index, &entry);
            }
            const bool clear = bands == Bands::RgbaHalfClear && cx >= 2;
            raster.cells.push_back(clear ? qRgb(255, 255, 255) : colour);
            std::vector<std::uint8_t> cell(kCellPixels * kCellPixels);
            for (int b = 1; b <= count; ++b) {
                const int value = bands == Bands::Palette ? index
                                  : b == 4                ? (clear ? 0 : 255)
                                  : b == 1                ? qRed(colour)
                                  : b == 2                ? qGreen(colour)
                                                          : qBlue(colour);
                std::fill(cell.begin(), cell.end(), static_cast<std::uint8_t>(value));
                EXPECT_EQ(dataset->GetRasterBand(b)->RasterIO(GF_Write, cx * kCellPixels,
                                                              cy * kCellPixels, kCellPixels,
                                                              kCellPixels, cell.data(), kCellPixels,
                                                              kCellPixels, GDT_Byte, 0, 0, nullptr),
                          CE_None);
            }
        }
    }
    if (bands == Bands::Palette) dataset->GetRasterBand(1)->SetColorTable(&palette);
    if (bands == Bands::RgbaHalfClear)
        dataset->GetRasterBand(4)->SetColorInterpretation(GCI_AlphaBand);
    return raster;
}

// The screen position of a cell's centre.
ScreenPoint CellCentre(const MapViewport& view, int cx, int cy) {
    double east = 0, north = 0;
    UtmOrigin(east, north);
    double x = east + (cx + 0.5) * kCellMetres, y = north - (cy + 0.5) * kCellMetres;
    OGRSpatialReference wgs84, utm;
    wgs84.importFromEPSG(4326);
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    utm.importFromEPSG(32633);
    std::unique_ptr<OGRCoordinateTransformation> back(
        OGRCreateCoordinateTransformation(&utm, &wgs84));
    back->Transform(1, &x, &y);
    return view.ToScreen(ProjectToWorld(x, y));
}

// Draws the drive over the raster, full colour, and checks every cell's centre.
void ExpectCells(const std::string& path, const std::vector<QRgb>& cells, int tolerance) {
    std::string error;
    auto background = OpenBackgroundFile(path, error);
    ASSERT_NE(background, nullptr) << error;
    EXPECT_EQ(background->GetKind(), MapBackground::Kind::Raster);
    const MapData data = Drive();
    const MapScene scene(&data, background.get(), MapChannels::kStrongest, LevelRamp(), 0);
    const MapViewport view = FittedView(scene, QSize(600, 400));
    BackgroundDraw drawn;
    const QImage image = RenderMap(view, scene, &drawn);
    EXPECT_FALSE(drawn.Problem()) << drawn.message;
    int checked = 0;
    for (int cy = 0; cy < kCellsY; ++cy) {
        for (int cx = 0; cx < kCellsX; ++cx) {
            const ScreenPoint at = CellCentre(view, cx, cy);
            if (at.x < 10 || at.y < 30 || at.x > image.width() - 200 || at.y > image.height() - 40)
                continue;  // beside the picture, or under the legend or the scale bar
            ++checked;
            // The centre, or beside it when a point of the drive lies on it.
            QRgb seen = image.pixel(static_cast<int>(at.x), static_cast<int>(at.y));
            if (std::abs(qRed(seen) - qRed(cells[cy * kCellsX + cx])) > tolerance)
                seen = image.pixel(static_cast<int>(at.x) + 6, static_cast<int>(at.y) + 6);
            const QRgb want = cells[static_cast<std::size_t>(cy * kCellsX + cx)];
            EXPECT_NEAR(qRed(seen), qRed(want), tolerance) << path << " " << cx << "," << cy;
            EXPECT_NEAR(qGreen(seen), qGreen(want), tolerance) << path << " " << cx << "," << cy;
            EXPECT_NEAR(qBlue(seen), qBlue(want), tolerance) << path << " " << cx << "," << cy;
        }
    }
    EXPECT_GE(checked, 6);
}

TEST(RasterBackground, AGeoTiffAndItsMbtilesCopyGiveTheSamePixelsUnderTheDrive) {
    test::TempDir dir;
    const struct {
        const char* name;
        Bands bands;
    } kinds[] = {{"rgb.tif", Bands::Rgb},
                 {"grey.tif", Bands::Grey},
                 {"palette.tif", Bands::Palette},
                 {"clear.tif", Bands::RgbaHalfClear}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const Raster raster = MakeRaster(dir, kind.name, kind.bands);
        ExpectCells(raster.path, raster.cells, 0);
        if (kind.bands != Bands::Rgb) continue;
        // The same picture as Web Mercator tiles with their overviews, made by GDAL's tools.
        const std::string mbtiles = dir.File("rgb.mbtiles");
        ASSERT_EQ(test::RunCommand("gdal_translate -q -of MBTILES " + raster.path + " " + mbtiles +
                                   " && gdaladdo -q " + mbtiles + " 2 4 8"),
                  0);
        ExpectCells(mbtiles, raster.cells, 3);
    }
}

TEST(RasterBackground, FilesWithoutAPlaceOrOfOtherValuesAreRefusedWithTheReason) {
    test::TempDir dir;
    GDALAllRegister();
    // A picture with a world file but no coordinate system, one with neither, an elevation
    // grid, a CSV of lines without a coordinate system, a named pipe.
    {
        QImage picture(20, 20, QImage::Format_RGB32);
        picture.fill(Qt::red);
        picture.save(QString::fromStdString(dir.File("placed.png")), "PNG");
        picture.save(QString::fromStdString(dir.File("loose.png")), "PNG");
        test::WriteFile(dir.File("placed.pgw"), "10\n0\n0\n-10\n500000\n5800000\n");
        GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
        GDALDatasetUniquePtr heights(
            driver->Create(dir.File("heights.tif").c_str(), 10, 10, 1, GDT_Float32, nullptr));
        double transform[6] = {13.4, 0.001, 0, 52.5, 0, -0.001};
        heights->SetGeoTransform(transform);
        OGRSpatialReference wgs84;
        wgs84.importFromEPSG(4326);
        heights->SetSpatialRef(&wgs84);
        test::WriteFile(dir.File("roads.csv"), "WKT,name\n\"LINESTRING(13.4 52.5,13.5 52.5)\",a\n");
        ASSERT_EQ(::mkfifo(dir.File("pipe.tif").c_str(), 0600), 0);
    }
    const struct {
        const char* file;
        const char* said;
    } cases[] = {
        {"placed.png", "has no coordinate system"},
        {"loose.png", "has no position on the earth"},
        {"heights.tif", "holds Float32 values, not 8-bit colours"},
        {"roads.csv", "The background layer 'roads' of 'roads.csv' has no coordinate system"},
        {"pipe.tif", "is not a regular file"},
        {"missing.tif", "cannot be read"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(OpenBackgroundFile(dir.File(c.file), error), nullptr) << c.file;
        EXPECT_NE(error.find(c.said), std::string::npos) << c.file << ": " << error;
    }
}

// A million features far from the drive are never read when the drive is drawn.
TEST(VectorBackground, FeaturesOutsideTheViewAreNotRead) {
    test::TempDir dir;
    GDALAllRegister();
    const std::string path = dir.File("big.fgb");
    {
        // FlatGeobuf: written fast, and read through its spatial index.
        GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("FlatGeobuf");
        GDALDatasetUniquePtr dataset(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        ASSERT_NE(dataset, nullptr);
        OGRSpatialReference wgs84;
        wgs84.importFromEPSG(4326);
        OGRLayer* layer = dataset->CreateLayer("places", &wgs84, wkbUnknown, nullptr);
        OGRFeature feature(layer->GetLayerDefn());
        for (int i = 0; i < 1000000; ++i) {
            OGRPoint point(140.0 + (i % 1000) * 0.001, -30.0 - (i / 1000) * 0.001);
            feature.SetGeometry(&point);
            feature.SetFID(OGRNullFID);
            ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
        }
        OGRLineString road;
        road.addPoint(13.401, 52.5005);
        road.addPoint(13.41, 52.5015);
        feature.SetGeometry(&road);
        feature.SetFID(OGRNullFID);
        ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    }
    std::string error;
    auto background = OpenBackgroundFile(path, error);
    ASSERT_NE(background, nullptr) << error;
    const MapData data = Drive();
    const MapScene scene(&data, background.get());
    const MapViewport view = FittedView(scene, QSize(800, 500));
    std::size_t visited = 0;
    const auto start = std::chrono::steady_clock::now();
    background->VisitLines(view, [&](const WorldPoint*, std::size_t) { ++visited; });
    const QImage image = RenderMap(view, scene);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(visited, 1u);
    EXPECT_LT(seconds, 1.0);
    EXPECT_EQ(image.size(), QSize(800, 500));
}

// ---------------------------------------------------------------------------------------------

// Where GDAL puts a position of a picture it reads back: the pixel's coordinates (not rounded).
QPointF PlacedByGdal(const std::string& picture, double longitude, double latitude) {
    GDALDatasetUniquePtr dataset(GDALDataset::Open(picture.c_str(), GDAL_OF_RASTER));
    EXPECT_NE(dataset, nullptr);
    if (dataset == nullptr) return {};
    const OGRSpatialReference* crs = dataset->GetSpatialRef();
    EXPECT_NE(crs, nullptr);
    if (crs == nullptr) return {};
    EXPECT_STREQ(crs->GetAuthorityCode(nullptr), "3857");
    OGRSpatialReference wgs84;
    wgs84.importFromEPSG(4326);
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<OGRCoordinateTransformation> to(OGRCreateCoordinateTransformation(&wgs84, crs));
    double x = longitude, y = latitude;
    to->Transform(1, &x, &y);
    double g[6] = {};
    EXPECT_EQ(dataset->GetGeoTransform(g), CE_None);
    return {(x - g[0]) / g[1], (y - g[3]) / g[5]};
}

TEST(PictureGeoreference, AGisPlacesThePictureWithinHalfAPixel) {
    test::TempDir dir;
    GDALAllRegister();
    const MapData data = Drive();
    const MapScene scene(&data);
    const QSize size(500, 320);
    const MapViewport view = FittedView(scene, size);
    const struct {
        const char* name;
        std::vector<std::string> files;  // what the directory holds afterwards
    } cases[] = {
        {"map.png", {"map.pgw", "map.png", "map.png.aux.xml"}},
        {"map.tif", {"map.tif"}},
        {"noext", {"noext", "noext.aux.xml", "noext.wld"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir out;
        const std::string path = out.File(c.name);
        std::string failed, reason;
        ASSERT_TRUE(WriteMapPicture(scene, size.width(), size.height(), path, failed, reason))
            << failed << ": " << reason;
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(out.Path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.files);
        const QImage image(QString::fromStdString(path),
                           std::string(c.name) == "noext" ? "PNG" : nullptr);
        if (std::string(c.name) != "map.tif") {
            ASSERT_EQ(image.size(), size);
        }
        const ChannelPoints& points = data.points.Group(MapChannels::kStrongest);
        for (std::size_t i = 0; i < points.Size(); i += 3) {
            const WorldPoint world{points.x[i] * kFixedStep, points.y[i] * kFixedStep};
            const GeoPosition where = UnprojectWorld(world);
            const QPointF gdal = PlacedByGdal(path, where.longitude, where.latitude);
            const ScreenPoint drawn = view.ToScreen(world);
            EXPECT_NEAR(gdal.x(), drawn.x, 0.5) << i;
            EXPECT_NEAR(gdal.y(), drawn.y, 0.5) << i;
        }
    }
    // The world file's numbers, exactly.
    const PictureGeoreference g{-1000.0, 2000.0, 2.5};
    EXPECT_EQ(WorldFileText(g), "2.5\r\n0\r\n0\r\n-2.5\r\n-998.75\r\n1998.75\r\n");
    const struct {
        const char* picture;
        const char* world;
    } worlds[] = {{"a/map.png", "a/map.pgw"},
                  {"map.jpeg", "map.jgw"},
                  {"a.b/map", "a.b/map.wld"},
                  {"map.x", "map.wld"},
                  {"a/map.tiff", "a/map.tfw"}};
    for (const auto& w : worlds) EXPECT_EQ(WorldFilePathOf(w.picture), w.world);
}

// The picture and its side files are one output: a side file that cannot be written leaves no
// picture, and the earlier set stays whole.
TEST(PictureGeoreference, ThePictureAndItsSideFilesArePutInPlaceTogether) {
    const MapData data = Drive();
    const MapScene scene(&data);
    for (const char* blocker : {"map.pgw", "map.png.aux.xml"}) {
        SCOPED_TRACE(blocker);
        test::TempDir dir;
        std::filesystem::create_directory(dir.File(blocker));
        std::string failed, reason;
        EXPECT_FALSE(WriteMapPicture(scene, 200, 150, dir.File("map.png"), failed, reason));
        EXPECT_EQ(failed, dir.File(blocker));
        EXPECT_FALSE(std::filesystem::exists(dir.File("map.png")));
    }
    test::TempDir dir;
    std::string failed, reason;
    ASSERT_TRUE(WriteMapPicture(scene, 200, 150, dir.File("map.png"), failed, reason));
    const std::string earlier = test::ReadFile(dir.File("map.pgw"));
    std::filesystem::remove(dir.File("map.png.aux.xml"));
    std::filesystem::create_directory(dir.File("map.png.aux.xml"));
    EXPECT_FALSE(WriteMapPicture(scene, 300, 150, dir.File("map.png"), failed, reason));
    EXPECT_EQ(test::ReadFile(dir.File("map.pgw")), earlier);
    EXPECT_EQ(QImage(QString::fromStdString(dir.File("map.png"))).size(), QSize(200, 150));
}

}  // namespace
}  // namespace varistrum
