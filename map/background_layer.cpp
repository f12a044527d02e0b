// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a background file with OGR and transforming it to WGS 84.
#include "map/background_layer.h"

#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>

namespace varistrum {

namespace {

void RegisterDrivers() {
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

// GDAL's last message, ": ..."; an allocation failure of GDAL's ends the job as one of ours does.
std::string LastGdalMessage() {
    if (CPLGetLastErrorNo() == CPLE_OutOfMemory) throw std::bad_alloc();
    const char* message = CPLGetLastErrorMsg();
    return message != nullptr && *message != '\0' ? std::string(": ") + message : std::string();
}

void AddPoints(const OGRSimpleCurve& curve, BackgroundLayer& layer) {
    std::vector<FixedPoint> line;
    line.reserve(static_cast<std::size_t>(curve.getNumPoints()));
    for (int i = 0; i < curve.getNumPoints(); ++i)
        line.push_back(ToFixed(ProjectToWorld(curve.getX(i), curve.getY(i))));
    if (!line.empty()) layer.lines.push_back(std::move(line));
}

void AddGeometry(const OGRGeometry& geometry, BackgroundLayer& layer) {
    switch (wkbFlatten(geometry.getGeometryType())) {
        case wkbPoint: {
            const auto& point = *geometry.toPoint();
            layer.lines.push_back({ToFixed(ProjectToWorld(point.getX(), point.getY()))});
            break;
        }
        case wkbLineString:
        case wkbLinearRing:
            AddPoints(*geometry.toLineString(), layer);
            break;
        case wkbPolygon:
            for (const OGRLinearRing* ring : *geometry.toPolygon()) AddPoints(*ring, layer);
            break;
        case wkbMultiPoint:
        case wkbMultiLineString:
        case wkbMultiPolygon:
        case wkbGeometryCollection:
            for (const OGRGeometry* part : *geometry.toGeometryCollection())
                AddGeometry(*part, layer);
            break;
        default: {
            // Curves and the like: their linear approximation.
            std::unique_ptr<OGRGeometry> linear(geometry.getLinearGeometry());
            if (linear != nullptr &&
                wkbFlatten(linear->getGeometryType()) != wkbFlatten(geometry.getGeometryType()))
                AddGeometry(*linear, layer);
            break;
        }
    }
}

}  // namespace

std::string LoadBackground(const std::string& path, BackgroundLayer& layer) {
    // A named pipe or a device would make GDAL wait or read forever: only files and folders
    // (a folder of shapefiles) are opened.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return "The background file cannot be read: " + std::generic_category().message(errno);
    if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
        return "The background file is not a regular file";
    RegisterDrivers();
    CPLErrorReset();
    GDALDatasetUniquePtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY,
                                                   nullptr, nullptr, nullptr));
    if (dataset == nullptr) return "The background file cannot be read" + LastGdalMessage();
    OGRSpatialReference wgs84;
    if (wgs84.importFromEPSG(4326) != OGRERR_NONE)
        return "WGS 84 is not known to GDAL" + LastGdalMessage();
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    BackgroundLayer loaded;
    for (OGRLayer* source : dataset->GetLayers()) {
        std::unique_ptr<OGRCoordinateTransformation> transform;
        if (const OGRSpatialReference* crs = source->GetSpatialRef(); crs != nullptr) {
            transform.reset(OGRCreateCoordinateTransformation(crs, &wgs84));
            if (transform == nullptr)
                return "The background's coordinate system cannot be transformed to WGS 84" +
                       LastGdalMessage();
        }
        for (const auto& feature : *source) {
            OGRGeometry* geometry = feature->GetGeometryRef();
            if (geometry == nullptr) continue;
            if (transform != nullptr && geometry->transform(transform.get()) != OGRERR_NONE)
                return "A background feature cannot be transformed to WGS 84" + LastGdalMessage();
            AddGeometry(*geometry, loaded);
        }
    }
    loaded.name = path.substr(path.find_last_of('/') + 1);
    layer = std::move(loaded);
    return {};
}

}  // namespace varistrum
