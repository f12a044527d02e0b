// SPDX-License-Identifier: GPL-3.0-or-later
// Background files and tile services read through GDAL for the view on screen: vector layers
// behind a spatial filter, rasters and tiles warped to Web Mercator.
#include "map/map_background.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <new>
#include <system_error>
#include <vector>

#include "export/gdal_support.h"

namespace varistrum {

namespace {

// GDAL's last message, ": ..."; an allocation failure of GDAL's ends the job as one of ours does.
std::string LastGdalMessage() {
    if (CPLGetLastErrorNo() == CPLE_OutOfMemory) throw std::bad_alloc();
    const char* message = CPLGetLastErrorMsg();
    return message != nullptr && *message != '\0' ? std::string(": ") + message : std::string();
}

std::string TrappedMessage(const GdalErrorTrap& trap) {
    ThrowIfOutOfMemory(trap.LastError());
    return trap.LastError().empty() ? std::string() : ": " + trap.LastError();
}

std::string FileName(const std::string& path) {
    std::string name = path;
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    return name.substr(name.find_last_of('/') + 1);
}

OGRSpatialReference Wgs84() {
    OGRSpatialReference wgs84;
    wgs84.importFromEPSG(4326);
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return wgs84;
}

// The view's box in degrees, within the world square.
void ViewDegrees(const MapViewport& view, double& west, double& south, double& east,
                 double& north) {
    const WorldPoint topLeft = view.Origin();
    const WorldPoint bottomRight =
        view.ToWorld({static_cast<double>(view.Width()), static_cast<double>(view.Height())});
    const GeoPosition a =
        UnprojectWorld({std::clamp(topLeft.x, 0.0, 1.0), std::clamp(topLeft.y, 0.0, 1.0)});
    const GeoPosition b =
        UnprojectWorld({std::clamp(bottomRight.x, 0.0, 1.0), std::clamp(bottomRight.y, 0.0, 1.0)});
    west = a.longitude;
    north = a.latitude;
    east = b.longitude;
    south = b.latitude;
}

// A box in a coordinate system as a box of the world square; nullopt when it cannot be
// transformed.
std::optional<WorldBox> WorldBoxOf(OGRCoordinateTransformation& toWgs84, double minX, double minY,
                                   double maxX, double maxY) {
    double west = 0, south = 0, east = 0, north = 0;
    if (!toWgs84.TransformBounds(minX, minY, maxX, maxY, &west, &south, &east, &north, 21))
        return std::nullopt;
    if (!std::isfinite(west) || !std::isfinite(south) || !std::isfinite(east) ||
        !std::isfinite(north))
        return std::nullopt;
    const WorldPoint topLeft = ProjectToWorld(west, north);
    const WorldPoint bottomRight = ProjectToWorld(east, south);
    return WorldBox{topLeft, bottomRight};
}

void Include(std::optional<WorldBox>& box, const WorldBox& more) {
    if (!box) {
        box = more;
        return;
    }
    box->minimum = {std::min(box->minimum.x, more.minimum.x),
                    std::min(box->minimum.y, more.minimum.y)};
    box->maximum = {std::max(box->maximum.x, more.maximum.x),
                    std::max(box->maximum.y, more.maximum.y)};
}

constexpr GIntBig kDrawCacheBytes = 16 << 20;

// ---------------------------------------------------------------------------------------------
// Vector files

class VectorBackground final : public MapBackground {
  public:
    struct Layer {
        OGRLayer* layer = nullptr;
        std::unique_ptr<OGRCoordinateTransformation> toWgs84, fromWgs84;
    };

    VectorBackground(std::string name, GDALDatasetUniquePtr dataset, std::vector<Layer> layers)
        : MapBackground(Kind::Vector, std::move(name), {}),
          dataset_(std::move(dataset)),
          layers_(std::move(layers)) {}

    std::optional<WorldBox> Extent() override {
        std::optional<WorldBox> box;
        for (Layer& layer : layers_) {
            OGREnvelope envelope;
            if (layer.layer->GetExtent(&envelope, TRUE) != OGRERR_NONE) continue;
            if (const auto part = WorldBoxOf(*layer.toWgs84, envelope.MinX, envelope.MinY,
                                             envelope.MaxX, envelope.MaxY))
                Include(box, *part);
        }
        return box;
    }

    BackgroundDraw VisitLines(const MapViewport& view, const LineVisitor& visit) override {
        double west = 0, south = 0, east = 0, north = 0;
        ViewDegrees(view, west, south, east, north);
        for (Layer& layer : layers_) {
            double minX = 0, minY = 0, maxX = 0, maxY = 0;
            // A view the layer's system cannot hold (the whole world in a UTM zone) reads
            // every feature.
            if (layer.fromWgs84->TransformBounds(west, south, east, north, &minX, &minY, &maxX,
                                                 &maxY, 21) &&
                std::isfinite(minX) && std::isfinite(minY) && std::isfinite(maxX) &&
                std::isfinite(maxY))
                layer.layer->SetSpatialFilterRect(minX, minY, maxX, maxY);
            else
                layer.layer->SetSpatialFilter(nullptr);
            layer.layer->ResetReading();
            for (OGRFeatureUniquePtr feature(layer.layer->GetNextFeature()); feature != nullptr;
                 feature.reset(layer.layer->GetNextFeature())) {
                OGRGeometry* geometry = feature->GetGeometryRef();
                if (geometry == nullptr) continue;
                if (geometry->transform(layer.toWgs84.get()) != OGRERR_NONE) continue;
                Visit(*geometry, visit);
            }
        }
        return {};
    }

  private:
    void VisitCurve(const OGRSimpleCurve& curve, const LineVisitor& visit) {
        line_.clear();
        for (int i = 0; i < curve.getNumPoints(); ++i)
            line_.push_back(ProjectToWorld(curve.getX(i), curve.getY(i)));
        if (!line_.empty()) visit(line_.data(), line_.size());
    }

    void Visit(const OGRGeometry& geometry, const LineVisitor& visit) {
        switch (wkbFlatten(geometry.getGeometryType())) {
            case wkbPoint: {
                const auto& point = *geometry.toPoint();
                if (point.IsEmpty()) break;
                const WorldPoint at = ProjectToWorld(point.getX(), point.getY());
                visit(&at, 1);
                break;
            }
            case wkbLineString:
            case wkbLinearRing:
                VisitCurve(*geometry.toLineString(), visit);
                break;
            case wkbPolygon:
                for (const OGRLinearRing* ring : *geometry.toPolygon()) VisitCurve(*ring, visit);
                break;
            case wkbMultiPoint:
            case wkbMultiLineString:
            case wkbMultiPolygon:
            case wkbGeometryCollection:
                for (const OGRGeometry* part : *geometry.toGeometryCollection())
                    Visit(*part, visit);
                break;
            default: {
                // Curves and the like: their linear approximation.
                std::unique_ptr<OGRGeometry> linear(geometry.getLinearGeometry());
                if (linear != nullptr &&
                    wkbFlatten(linear->getGeometryType()) != wkbFlatten(geometry.getGeometryType()))
                    Visit(*linear, visit);
                break;
            }
        }
    }

    GDALDatasetUniquePtr dataset_;
    std::vector<Layer> layers_;
    std::vector<WorldPoint> line_;  // one line at a time, its memory reused
};

std::unique_ptr<MapBackground> OpenVector(const std::string& path, GDALDatasetUniquePtr dataset,
                                          std::string& error) {
    const OGRSpatialReference wgs84 = Wgs84();
    std::vector<VectorBackground::Layer> layers;
    for (OGRLayer* source : dataset->GetLayers()) {
        if (source->GetLayerDefn()->GetGeomFieldCount() == 0) continue;  // a table
        const OGRSpatialReference* crs = source->GetSpatialRef();
        if (crs == nullptr) {
            error = "The background layer '" + std::string(source->GetName()) + "' of '" +
                    FileName(path) +
                    "' has no coordinate system, so where its features lie is unknown: give it "
                    "one (a shapefile's .prj, or a copy made with ogr2ogr -a_srs)";
            return nullptr;
        }
        VectorBackground::Layer layer;
        layer.layer = source;
        layer.toWgs84.reset(OGRCreateCoordinateTransformation(crs, &wgs84));
        layer.fromWgs84.reset(OGRCreateCoordinateTransformation(&wgs84, crs));
        if (layer.toWgs84 == nullptr || layer.fromWgs84 == nullptr) {
            error = "The background's coordinate system cannot be transformed to WGS 84" +
                    LastGdalMessage();
            return nullptr;
        }
        layers.push_back(std::move(layer));
    }
    if (layers.empty()) {
        error = "The background file '" + FileName(path) + "' holds no map features";
        return nullptr;
    }
    return std::make_unique<VectorBackground>(FileName(path), std::move(dataset),
                                              std::move(layers));
}

// ---------------------------------------------------------------------------------------------
// Rasters and tiles

// A dataset handle freed with GDAL's C call, for what GDAL's utilities return.
struct DatasetCloser {
    void operator()(GDALDatasetH dataset) const {
        if (dataset != nullptr) GDALClose(dataset);
    }
};
using DatasetHandle = std::unique_ptr<void, DatasetCloser>;

std::string OverviewArgument(int index) {
    return index < 0 ? std::string("NONE") : std::to_string(index);
}

class RasterBackground final : public MapBackground {
  public:
    // A raster file: `colours` is the file as red, green, blue (and alpha) bands when the file
    // is not that already (grey, paletted), else null.
    RasterBackground(std::string name, GDALDatasetUniquePtr source, DatasetHandle colours)
        : MapBackground(Kind::Raster, std::move(name), {}),
          source_(std::move(source)),
          colours_(std::move(colours)) {}
    // A tile service.
    RasterBackground(const TileService& service, GDALDatasetUniquePtr source)
        : MapBackground(Kind::Tiles, service.name, service.attribution),
          source_(std::move(source)),
          service_(service) {}

    std::optional<WorldBox> Extent() override {
        if (GetKind() == Kind::Tiles) return std::nullopt;
        double transform[6] = {};
        const OGRSpatialReference* crs = source_->GetSpatialRef();
        if (crs == nullptr || source_->GetGeoTransform(transform) != CE_None) return std::nullopt;
        const OGRSpatialReference wgs84 = Wgs84();
        std::unique_ptr<OGRCoordinateTransformation> toWgs84(
            OGRCreateCoordinateTransformation(crs, &wgs84));
        if (toWgs84 == nullptr) return std::nullopt;
        const double width = source_->GetRasterXSize(), height = source_->GetRasterYSize();
        double xs[4], ys[4];
        const double corners[4][2] = {{0, 0}, {width, 0}, {0, height}, {width, height}};
        for (int i = 0; i < 4; ++i) {
            xs[i] = transform[0] + corners[i][0] * transform[1] + corners[i][1] * transform[2];
            ys[i] = transform[3] + corners[i][0] * transform[4] + corners[i][1] * transform[5];
        }
        return WorldBoxOf(*toWgs84, *std::min_element(xs, xs + 4), *std::min_element(ys, ys + 4),
                          *std::max_element(xs, xs + 4), *std::max_element(ys, ys + 4));
    }

    BackgroundDraw DrawRaster(const MapViewport& view, const RasterTarget& target) override {
        const int width = view.Width(), height = view.Height();
        std::fill(target.coverage, target.coverage + static_cast<std::ptrdiff_t>(width) * height,
                  std::uint8_t{0});
        std::string overview = "AUTO";
        TileRange tiles;
        if (GetKind() == Kind::Tiles) {
            // The tiles are counted (and reserved in the run's budget) before GDAL is asked for
            // any; the margin covers what the resampling reads beyond the view's edge.
            const int zoom = TileZoomFor(view.Scale(), service_.maxZoom);
            tiles = TilesOfView(view, zoom, 4.0);
            if (tiles.Count() == 0) return {};
            if (!service_.offline) {
                if (std::string refusal = TileBudget::OfRun().Reserve(service_.urlTemplate, tiles);
                    !refusal.empty())
                    return {BackgroundDraw::Outcome::Refused, std::move(refusal)};
            }
            overview = OverviewArgument(service_.maxZoom - zoom - 1);
        }
        GdalErrorTrap trap;
        // A view's tiles or a raster's blocks pass through the cache and need not stay.
        const GdalCacheLimit cacheLimit(kDrawCacheBytes);
        if (!Warp(view, target, overview)) {
            std::fill(target.coverage,
                      target.coverage + static_cast<std::ptrdiff_t>(width) * height,
                      std::uint8_t{0});
            std::string text = GetKind() == Kind::Tiles
                                   ? "The tiles of '" + Name() + "' cannot be fetched"
                                   : "The background '" + Name() + "' cannot be drawn";
            return {BackgroundDraw::Outcome::Failed, text + TrappedMessage(trap)};
        }
        if (GetKind() == Kind::Tiles && service_.offline) {
            // Offline, GDAL gives a missing tile as a transparent one, without an error.
            const auto end = target.coverage + static_cast<std::ptrdiff_t>(width) * height;
            if (std::all_of(target.coverage, end, [](std::uint8_t a) { return a == 0; }))
                return {BackgroundDraw::Outcome::NothingKept, "no cached tiles for this view"};
        }
        return {};
    }

  private:
    // Warps the source into the target through a memory dataset over the caller's pixels.
    bool Warp(const MapViewport& view, const RasterTarget& target, const std::string& overview) {
        GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("MEM");
        if (memory == nullptr) return false;
        const int width = view.Width(), height = view.Height();
        GDALDatasetUniquePtr destination(memory->Create("", width, height, 0, GDT_Byte, nullptr));
        if (destination == nullptr) return false;
        struct BandMemory {
            std::uint8_t* first;
            std::ptrdiff_t pixel, line;
            GDALColorInterp meaning;
        } const bands[] = {
            {target.pixels + target.redByte, 4, target.stride, GCI_RedBand},
            {target.pixels + target.greenByte, 4, target.stride, GCI_GreenBand},
            {target.pixels + target.blueByte, 4, target.stride, GCI_BlueBand},
            {target.coverage, 1, width, GCI_AlphaBand},
        };
        for (const BandMemory& band : bands) {
            char pointer[64] = {};
            CPLPrintPointer(pointer, band.first, sizeof pointer - 1);
            CPLStringList options;
            options.SetNameValue("DATAPOINTER", pointer);
            options.SetNameValue("PIXELOFFSET", std::to_string(band.pixel).c_str());
            options.SetNameValue("LINEOFFSET", std::to_string(band.line).c_str());
            if (destination->AddBand(GDT_Byte, options.List()) != CE_None) return false;
            destination->GetRasterBand(destination->GetRasterCount())
                ->SetColorInterpretation(band.meaning);
        }
        // Web Mercator metres of the view's pixels.
        constexpr double kWorldMetres = 40075016.685578488;
        const double pixel = kWorldMetres / view.Scale();
        double transform[6] = {(view.Origin().x - 0.5) * kWorldMetres, pixel, 0.0,
                               (0.5 - view.Origin().y) * kWorldMetres, 0.0,   -pixel};
        destination->SetGeoTransform(transform);
        OGRSpatialReference mercator;
        mercator.importFromEPSG(3857);
        destination->SetSpatialRef(&mercator);

        CPLStringList arguments;
        for (const char* argument : {"-r", "bilinear", "-dstalpha", "-wo", "INIT_DEST=0", "-wo",
                                     "SKIP_NOSOURCE=YES", "-wm", "16", "-ovr"})
            arguments.AddString(argument);
        arguments.AddString(overview.c_str());
        GDALWarpAppOptions* options = GDALWarpAppOptionsNew(arguments.List(), nullptr);
        if (options == nullptr) return false;
        GDALDatasetH source =
            colours_ != nullptr ? colours_.get() : GDALDataset::ToHandle(source_.get());
        int usageError = 0;
        GDALDatasetH warped = GDALWarp(nullptr, GDALDataset::ToHandle(destination.get()), 1,
                                       &source, options, &usageError);
        GDALWarpAppOptionsFree(options);
        return warped != nullptr && usageError == 0;
    }

    GDALDatasetUniquePtr source_;
    DatasetHandle colours_;
    TileService service_;
};

// The file's bands as red, green, blue (and alpha) when they are grey or paletted; null (and
// no error) when they are colours already.
DatasetHandle ColourBands(GDALDataset& source, const std::string& path, std::string& error) {
    const int bands = source.GetRasterCount();
    for (int b = 1; b <= bands; ++b) {
        if (source.GetRasterBand(b)->GetRasterDataType() != GDT_Byte) {
            error = "The background raster '" + FileName(path) + "' holds " +
                    GDALGetDataTypeName(source.GetRasterBand(b)->GetRasterDataType()) +
                    " values, not 8-bit colours: only pictures (colour, grey or paletted) are "
                    "drawn";
            return nullptr;
        }
    }
    GDALRasterBand& first = *source.GetRasterBand(1);
    const bool lastIsAlpha = source.GetRasterBand(bands)->GetColorInterpretation() == GCI_AlphaBand;
    std::vector<const char*> arguments = {"-of", "VRT"};
    if (bands == 1 && first.GetColorTable() != nullptr) {
        arguments.insert(arguments.end(), {"-expand", "rgba"});
    } else if (bands == 1) {
        arguments.insert(arguments.end(),
                         {"-b", "1", "-b", "1", "-b", "1", "-colorinterp", "red,green,blue"});
    } else if (bands == 2) {
        arguments.insert(arguments.end(), {"-b", "1", "-b", "1", "-b", "1", "-b", "2",
                                           "-colorinterp", "red,green,blue,alpha"});
    } else if (bands == 3 || (bands == 4 && lastIsAlpha)) {
        return nullptr;
    } else {
        arguments.insert(arguments.end(), {"-b", "1", "-b", "2", "-b", "3"});
    }
    CPLStringList list;
    for (const char* argument : arguments) list.AddString(argument);
    GDALTranslateOptions* options = GDALTranslateOptionsNew(list.List(), nullptr);
    if (options == nullptr) {
        error = "The background raster's colours cannot be read" + LastGdalMessage();
        return nullptr;
    }
    int usageError = 0;
    DatasetHandle colours(GDALTranslate("", GDALDataset::ToHandle(&source), options, &usageError));
    GDALTranslateOptionsFree(options);
    if (colours == nullptr || usageError != 0)
        error = "The background raster's colours cannot be read" + LastGdalMessage();
    return colours;
}

std::unique_ptr<MapBackground> OpenRaster(const std::string& path, GDALDatasetUniquePtr dataset,
                                          std::string& error) {
    double transform[6] = {};
    const bool placed = dataset->GetGeoTransform(transform) == CE_None;
    const bool hasCrs = dataset->GetSpatialRef() != nullptr;
    const bool byControlPoints = dataset->GetGCPCount() > 0 && dataset->GetGCPSpatialRef();
    if (!byControlPoints && !(placed && hasCrs)) {
        error = "The background raster '" + FileName(path) +
                (placed ? "' has no coordinate system, so where it lies is unknown: GDAL reads "
                          "one from a .aux.xml beside it (gdal_edit.py -a_srs EPSG:... writes "
                          "one)"
                        : "' has no position on the earth (no world file, no georeferencing)");
        return nullptr;
    }
    DatasetHandle colours = ColourBands(*dataset, path, error);
    if (!error.empty()) return nullptr;
    return std::make_unique<RasterBackground>(FileName(path), std::move(dataset),
                                              std::move(colours));
}

}  // namespace

BackgroundDraw MapBackground::VisitLines(const MapViewport&, const LineVisitor&) {
    return {};
}

BackgroundDraw MapBackground::DrawRaster(const MapViewport&, const RasterTarget&) {
    return {};
}

std::unique_ptr<MapBackground> OpenBackgroundFile(const std::string& path, std::string& error) {
    error.clear();
    // A named pipe or a device would make GDAL wait or read forever: only files and folders
    // (a folder of shapefiles) are opened.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = "The background file cannot be read ('" + path +
                "'): " + std::generic_category().message(errno);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        error = "The background file is not a regular file ('" + path + "')";
        return nullptr;
    }
    RegisterGdalDrivers();
    CPLErrorReset();
    GDALDatasetUniquePtr dataset(
        GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr,
                          nullptr, nullptr));
    if (dataset == nullptr) {
        error = "The background file cannot be read ('" + path + "')" + LastGdalMessage();
        return nullptr;
    }
    bool features = false;
    for (OGRLayer* layer : dataset->GetLayers())
        features = features || layer->GetLayerDefn()->GetGeomFieldCount() > 0;
    if (features) return OpenVector(path, std::move(dataset), error);
    if (dataset->GetRasterCount() > 0) return OpenRaster(path, std::move(dataset), error);
    error = "The background file '" + FileName(path) +
            "' holds neither map features nor one raster GDAL can draw";
    return nullptr;
}

std::unique_ptr<MapBackground> OpenTileService(const TileService& service, std::string& error) {
    error.clear();
    RegisterGdalDrivers();
    std::string cache = TileCacheFolder();
    if (!cache.empty()) {
        // The cache is the user's alone.
        std::error_code ignored;
        std::filesystem::create_directories(cache, ignored);
        ::chmod(cache.c_str(), 0700);
    }
    if (cache.empty() && service.offline) {
        error = "Offline tiles come from the tile cache, and without a home folder there is none";
        return nullptr;
    }
    GdalErrorTrap trap;
    GDALDatasetUniquePtr dataset(GDALDataset::Open(TileServiceXml(service, cache).c_str(),
                                                   GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr,
                                                   nullptr, nullptr));
    if (dataset == nullptr || dataset->GetRasterCount() != 4) {
        error = "The tile source '" + service.name + "' cannot be used" + TrappedMessage(trap);
        return nullptr;
    }
    return std::make_unique<RasterBackground>(service, std::move(dataset));
}

}  // namespace varistrum
