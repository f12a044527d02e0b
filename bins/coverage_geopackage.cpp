// SPDX-License-Identifier: GPL-3.0-or-later
// The cells' squares through OGR's GeoPackage driver, plus the `layer_styles` row QGIS applies
// when it opens the layer.
#include "bins/coverage_geopackage.h"

#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogr_feature.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <charconv>
#include <functional>
#include <memory>
#include <vector>

#include "base/resource_error.h"
#include "bins/bin_files.h"
#include "bins/bin_styles.h"
#include "export/gdal_support.h"
#include "export/layer_styles.h"

namespace varistrum {

namespace {

constexpr std::int64_t kFeaturesPerTransaction = 20000;
constexpr const char* kGeometryColumn = "geom";

struct FieldShape {
    const char* name;
    OGRFieldType type;
    int width = 0;
    OGRFieldSubType subType = OFSTNone;
};

const std::vector<FieldShape> kCoverageFields = {
    {"easting_m", OFTReal},     {"northing_m", OFTReal},   {"channel", OFTInteger},
    {"frequency_mhz", OFTReal}, {"samples", OFTInteger64}, {"linear_mean_dbm", OFTReal},
    {"db_mean_dbm", OFTReal},   {"median_dbm", OFTReal},   {"std_db", OFTReal},
    {"min_dbm", OFTInteger},    {"max_dbm", OFTInteger},   {"first_time", OFTString},
    {"last_time", OFTString},
};
enum CoverageField {
    kEasting,
    kNorthing,
    kChannel,
    kFrequency,
    kSamples,
    kLinearMean,
    kDbMean,
    kMedian,
    kStd,
    kMin,
    kMax,
    kFirstTime,
    kLastTime
};

const std::vector<FieldShape> kDifferenceFields = {
    {"easting_m", OFTReal},    {"northing_m", OFTReal},     {"channel_a", OFTInteger},
    {"channel_b", OFTInteger}, {"difference_db", OFTReal},  {"mean_a_dbm", OFTReal},
    {"mean_b_dbm", OFTReal},   {"samples_a", OFTInteger64}, {"samples_b", OFTInteger64},
};
enum DifferenceField {
    kDEasting,
    kDNorthing,
    kChannelA,
    kChannelB,
    kDifference,
    kMeanA,
    kMeanB,
    kSamplesA,
    kSamplesB
};

std::string MetresText(double metres) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, metres);
    return std::string(text, result.ptr);
}

bool AddFields(OGRLayer& layer, const std::vector<FieldShape>& fields) {
    for (const FieldShape& shape : fields) {
        OGRFieldDefn field(shape.name, shape.type);
        field.SetWidth(shape.width);
        field.SetSubType(shape.subType);
        if (layer.CreateField(&field) != OGRERR_NONE) return false;
    }
    return true;
}

// The layer `bins` of cells written in `fill`, then its stored style.
bool WriteLayer(const std::string& temporary, const BinGrid& grid,
                const std::vector<FieldShape>& fields, const std::string& description,
                const std::string& style,
                const std::function<bool(const std::function<bool(CellIndex)>&)>& cells,
                const std::function<void(CellIndex, OGRFeature&)>& fill, std::string* error) {
    RegisterGdalDrivers();
    GdalErrorTrap trap;
    const auto failed = [&](const std::string& fallback) {
        *error = trap.LastError().empty() ? fallback : trap.LastError();
        return false;
    };
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    if (driver == nullptr) {
        *error = "GDAL lacks its GeoPackage driver";
        return false;
    }
    GDALDatasetUniquePtr dataset(driver->Create(temporary.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!dataset) return failed("the GeoPackage cannot be created");
    OGRSpatialReference srs;
    srs.importFromEPSG(grid.zone.Epsg());
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    CPLStringList options;
    options.SetNameValue("GEOMETRY_NAME", kGeometryColumn);
    options.SetNameValue("FID", "fid");
    options.SetNameValue("DESCRIPTION", description.c_str());
    OGRLayer* layer = dataset->CreateLayer(kBinsLayer, &srs, wkbPolygon, options.List());
    if (layer == nullptr || !AddFields(*layer, fields))
        return failed("the GeoPackage's layer cannot be created");
    dataset->SetMetadataItem("CELL_SIZE_M", MetresText(grid.cellMetres).c_str());
    dataset->SetMetadataItem("UTM_ZONE", grid.zone.Name().c_str());

    if (dataset->StartTransaction() != OGRERR_NONE)
        return failed("the GeoPackage cannot be written");
    OGRFeature feature(layer->GetLayerDefn());
    std::int64_t written = 0;
    const bool complete = cells([&](CellIndex cell) {
        feature.Reset();
        auto ring = std::make_unique<OGRLinearRing>();
        ring->addPoint(grid.West(cell), grid.South(cell));
        ring->addPoint(grid.East(cell), grid.South(cell));
        ring->addPoint(grid.East(cell), grid.North(cell));
        ring->addPoint(grid.West(cell), grid.North(cell));
        ring->addPoint(grid.West(cell), grid.South(cell));
        auto square = std::make_unique<OGRPolygon>();
        square->addRingDirectly(ring.release());
        feature.SetGeometryDirectly(square.release());
        fill(cell, feature);
        if (layer->CreateFeature(&feature) != OGRERR_NONE) return false;
        if (++written % kFeaturesPerTransaction == 0 &&
            (dataset->CommitTransaction() != OGRERR_NONE ||
             dataset->StartTransaction() != OGRERR_NONE))
            return false;
        return true;
    });
    if (!complete || dataset->CommitTransaction() != OGRERR_NONE)
        return failed("the GeoPackage cannot be written");

    std::string styleError;
    if (!StoreLayerStyle(*dataset, {kBinsLayer, kGeometryColumn, kBinsLayer, style, description},
                         &styleError))
        return failed("the GeoPackage's style cannot be stored: " + styleError);
    dataset.reset();
    if (trap.Errors() > 0) return failed("the GeoPackage cannot be written");
    return true;
}

// The layer in its work folder; the set puts it in place.
bool WriteLayerFile(OutputSet& files, const CoverageFiles& added, const BinGrid& grid,
                    const std::vector<FieldShape>& fields, const std::string& description,
                    const std::string& style,
                    const std::function<bool(const std::function<bool(CellIndex)>&)>& cells,
                    const std::function<void(CellIndex, OGRFeature&)>& fill, std::string* error) {
    try {
        StagedFile* layer = files.WorkFile(added.main);
        if (layer == nullptr) {
            *error = "'" + files.FailedPath() + "': " + files.FailureReason();
            return false;
        }
        return WriteLayer(layer->WorkPath(), grid, fields, description, style, cells, fill, error);
    } catch (const std::bad_alloc&) {
        *error = kNotEnoughMemory;
        return false;
    }
}

void SetTime(OGRFeature& feature, int field, const BinTime& time) {
    if (time.known)
        feature.SetField(field, IsoTimeText(time).c_str());
    else
        feature.SetFieldNull(field);
}

}  // namespace

bool WriteCoverageGeoPackage(OutputSet& files, const CoverageFiles& added, const Binning& binning,
                             const CoverageLayerRequest& request, std::string* error) {
    if (binning.Empty()) {
        *error = "no cell to write: " + binning.WhyEmpty();
        return false;
    }
    const auto selection = binning.Select(request.channel, error);
    if (!selection) return false;
    const std::string description =
        "coverage in cells of " + MetresText(binning.Grid().cellMetres) + " m, UTM zone " +
        binning.Grid().zone.Name() + ", " + binning.SelectionName(*selection);
    struct Kept {
        int channel;
        CellChannelStatistics statistics;
    } kept{};
    const auto cells = [&](const std::function<bool(CellIndex)>& write) {
        bool ok = true;
        binning.ForEachSelected(*selection,
                                [&](CellIndex cell, int channel, const CellChannelStatistics& s) {
                                    if (!ok) return;
                                    kept = {channel, s};
                                    ok = write(cell);
                                });
        return ok;
    };
    const auto fill = [&](CellIndex cell, OGRFeature& f) {
        const BinGrid& grid = binning.Grid();
        const CellChannelStatistics& s = kept.statistics;
        const ChannelKey& key = binning.Channels()[static_cast<std::size_t>(kept.channel)];
        f.SetField(kEasting, grid.West(cell));
        f.SetField(kNorthing, grid.South(cell));
        f.SetField(kChannel, key.channel);
        f.SetField(kFrequency, key.frequencyMHz);
        f.SetField(kSamples, static_cast<GIntBig>(s.count));
        f.SetField(kLinearMean, s.linearMeanDbm);
        f.SetField(kDbMean, s.dbMeanDbm);
        f.SetField(kMedian, s.medianDbm);
        f.SetField(kStd, s.stdDb);
        f.SetField(kMin, s.minDbm);
        f.SetField(kMax, s.maxDbm);
        SetTime(f, kFirstTime, s.first);
        SetTime(f, kLastTime, s.last);
    };
    const std::string style = LevelPolygonStyle(request.ramp, "linear_mean_dbm");
    return WriteLayerFile(files, added, binning.Grid(), kCoverageFields, description, style, cells,
                          fill, error);
}

bool WriteDifferenceGeoPackage(OutputSet& files, const CoverageFiles& added,
                               const BinComparison& comparison, std::string* error) {
    if (comparison.Summary().cellsBoth == 0) {
        *error = "no cell to write: the drives cover no cell in common";
        return false;
    }
    const std::string description = "drive B minus drive A in cells of " +
                                    MetresText(comparison.Grid().cellMetres) + " m, UTM zone " +
                                    comparison.Grid().zone.Name() + ", " + comparison.ChannelText();
    DifferenceCell kept;
    const auto cells = [&](const std::function<bool(CellIndex)>& write) {
        bool ok = true;
        comparison.ForEachCell([&](const DifferenceCell& d) {
            if (!ok) return;
            kept = d;
            ok = write(d.cell);
        });
        return ok;
    };
    const auto fill = [&](CellIndex cell, OGRFeature& f) {
        const BinGrid& grid = comparison.Grid();
        f.SetField(kDEasting, grid.West(cell));
        f.SetField(kDNorthing, grid.South(cell));
        f.SetField(kChannelA,
                   comparison.A().Channels()[static_cast<std::size_t>(kept.channelA)].channel);
        f.SetField(kChannelB,
                   comparison.B().Channels()[static_cast<std::size_t>(kept.channelB)].channel);
        f.SetField(kDifference, kept.differenceDb);
        f.SetField(kMeanA, kept.meanADbm);
        f.SetField(kMeanB, kept.meanBDbm);
        f.SetField(kSamplesA, static_cast<GIntBig>(kept.countA));
        f.SetField(kSamplesB, static_cast<GIntBig>(kept.countB));
    };
    const std::string style = DifferencePolygonStyle("difference_db");
    return WriteLayerFile(files, added, comparison.Grid(), kDifferenceFields, description, style,
                          cells, fill, error);
}

bool WriteCoverageGeoPackage(const std::string& path, const Binning& binning,
                             const CoverageLayerRequest& request, std::string* error) {
    return WriteCoverageFilesAt(
        path, CoverageFormat::GeoPackage,
        [&](OutputSet& files, const CoverageFiles& added, std::string* problem) {
            return WriteCoverageGeoPackage(files, added, binning, request, problem);
        },
        error);
}

bool WriteDifferenceGeoPackage(const std::string& path, const BinComparison& comparison,
                               std::string* error) {
    return WriteCoverageFilesAt(
        path, CoverageFormat::GeoPackage,
        [&](OutputSet& files, const CoverageFiles& added, std::string* problem) {
            return WriteDifferenceGeoPackage(files, added, comparison, problem);
        },
        error);
}

}  // namespace varistrum
