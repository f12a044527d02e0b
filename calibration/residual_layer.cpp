// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the residual layer through OGR, with its style in the GeoPackage's layer_styles table.
#include "calibration/residual_layer.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <array>
#include <cmath>
#include <memory>

#include "base/number_format.h"
#include "base/output_set.h"
#include "export/gdal_support.h"

namespace varistrum {

namespace {

constexpr std::array<double, kResidualBands - 1> kResidualBounds = {-10.0, -5.0, 0.0, 5.0, 10.0};
constexpr const char* kLayerName = "residuals";

std::string Bound(double value) {
    std::string out;
    AppendInt(out, static_cast<std::int64_t>(value));
    return out;
}

// QGIS's layer style: points categorised by residual_band in the bands' colours.
std::string StyleQml() {
    std::string categories, symbols;
    for (int band = 0; band < kResidualBands; ++band) {
        const std::string id = std::to_string(band);
        const std::string label = ResidualBandLabel(band);
        const RgbColour c = ResidualBandColour(band);
        categories += "   <category render=\"true\" symbol=\"" + id + "\" value=\"" + label +
                      "\" label=\"" + label + "\"/>\n";
        const std::string colour = std::to_string(c.red) + "," + std::to_string(c.green) + "," +
                                   std::to_string(c.blue) + ",255";
        symbols += "   <symbol type=\"marker\" name=\"" + id +
                   "\" alpha=\"1\" clip_to_extent=\"1\" force_rhr=\"0\">\n"
                   "    <layer class=\"SimpleMarker\" enabled=\"1\" pass=\"0\" locked=\"0\">\n"
                   "     <prop k=\"color\" v=\"" +
                   colour +
                   "\"/>\n"
                   "     <prop k=\"name\" v=\"circle\"/>\n"
                   "     <prop k=\"outline_style\" v=\"no\"/>\n"
                   "     <prop k=\"size\" v=\"2\"/>\n"
                   "    </layer>\n"
                   "   </symbol>\n";
    }
    return "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n"
           "<qgis styleCategories=\"Symbology\" version=\"3.22.0\">\n"
           " <renderer-v2 type=\"categorizedSymbol\" attr=\"residual_band\" symbollevels=\"0\" "
           "enableorderby=\"0\" forceraster=\"0\">\n"
           "  <categories>\n" +
           categories +
           "  </categories>\n"
           "  <symbols>\n" +
           symbols +
           "  </symbols>\n"
           " </renderer-v2>\n"
           "</qgis>\n";
}

bool WriteStyle(GDALDataset& dataset) {
    OGRLayer* styles = dataset.CreateLayer("layer_styles", nullptr, wkbNone, nullptr);
    if (styles == nullptr) return false;
    const char* const textFields[] = {"f_table_catalog", "f_table_schema",
                                      "f_table_name",    "f_geometry_column",
                                      "styleName",       "styleQML",
                                      "styleSLD",        "description",
                                      "owner",           "ui"};
    for (const char* name : textFields) {
        OGRFieldDefn field(name, OFTString);
        if (styles->CreateField(&field) != OGRERR_NONE) return false;
    }
    OGRFieldDefn useAsDefault("useAsDefault", OFTInteger);
    useAsDefault.SetSubType(OFSTBoolean);
    OGRFieldDefn updated("update_time", OFTDateTime);
    if (styles->CreateField(&useAsDefault) != OGRERR_NONE ||
        styles->CreateField(&updated) != OGRERR_NONE)
        return false;
    OGRFeature style(styles->GetLayerDefn());
    style.SetField("f_table_catalog", "");
    style.SetField("f_table_schema", "");
    style.SetField("f_table_name", kLayerName);
    style.SetField("f_geometry_column", "geom");
    style.SetField("styleName", "residual_band");
    style.SetField("styleQML", StyleQml().c_str());
    style.SetField("styleSLD", "");
    style.SetField("description", "residuals coloured by band");
    style.SetField("useAsDefault", 1);
    return styles->CreateFeature(&style) == OGRERR_NONE;
}

enum Field {
    kSite,
    kFrequency,
    kChannel,
    kLog,
    kScan,
    kDistance,
    kPathLoss,
    kPredicted,
    kResidual,
    kBand,
    kWeight,
};

}  // namespace

int ResidualBand(double residualDb) {
    int band = 0;
    while (band < kResidualBands - 1 &&
           residualDb >= kResidualBounds[static_cast<std::size_t>(band)])
        ++band;
    return band;
}

std::string ResidualBandLabel(int band) {
    if (band <= 0) return "below " + Bound(kResidualBounds.front()) + " dB";
    if (band >= kResidualBands - 1) return Bound(kResidualBounds.back()) + " dB and above";
    return Bound(kResidualBounds[static_cast<std::size_t>(band - 1)]) + " to " +
           Bound(kResidualBounds[static_cast<std::size_t>(band)]) + " dB";
}

RgbColour ResidualBandColour(int band) {
    return LevelRamp::BandColour(kResidualBands - 1 - band);
}

std::string CreateResidualLayer(const CalibrationResult& result, const std::string& working,
                                const std::string& path) {
    RegisterGdalDrivers();
    GdalErrorTrap trap;
    std::unique_ptr<GDALDataset> dataset;
    const auto fail = [&](const std::string& what) {
        dataset.reset();
        return path + ": " + what + (trap.LastError().empty() ? "" : ": " + trap.LastError());
    };
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    if (driver == nullptr) return path + ": GDAL has no GeoPackage driver";
    dataset.reset(driver->Create(working.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!dataset) return fail("the residual layer cannot be created");
    OGRSpatialReference wgs84;
    wgs84.importFromEPSG(4326);
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    OGRLayer* layer = dataset->CreateLayer(kLayerName, &wgs84, wkbPoint, nullptr);
    if (layer == nullptr) return fail("the residual layer cannot be created");
    const std::pair<const char*, OGRFieldType> fields[] = {
        {"site", OFTString},          {"frequency_mhz", OFTReal}, {"channel", OFTInteger},
        {"log", OFTString},           {"scan", OFTInteger},       {"distance_m", OFTReal},
        {"path_loss_db", OFTReal},    {"predicted_db", OFTReal},  {"residual_db", OFTReal},
        {"residual_band", OFTString}, {"weight", OFTReal}};
    for (const auto& [name, type] : fields) {
        OGRFieldDefn field(name, type);
        if (layer->CreateField(&field) != OGRERR_NONE)
            return fail(std::string("the field ") + name + " cannot be created");
    }
    if (dataset->StartTransaction() != OGRERR_NONE) return fail("the layer cannot be written");
    OGRFeature feature(layer->GetLayerDefn());
    for (const CalibrationFit& fit : result.fits) {
        if (fit.pooled || !fit.logDistance) continue;
        const LineFit& line = *fit.logDistance;
        for (std::size_t k = 0; k < fit.pointIndices.size(); ++k) {
            const CalibrationPoint& p = result.points[fit.pointIndices[k]];
            const CalibrationSegment& segment =
                result.segments[static_cast<std::size_t>(p.segment)];
            feature.SetFID(OGRNullFID);
            feature.SetGeometryDirectly(new OGRPoint(p.longitude, p.latitude));
            feature.SetField(kSite, fit.site.c_str());
            feature.SetField(kFrequency, fit.frequenciesMHz.front());
            feature.SetField(kChannel, p.channel);
            feature.SetField(kLog, result.logs[static_cast<std::size_t>(segment.log)].c_str());
            feature.SetField(kScan, segment.scan);
            feature.SetField(kDistance, p.distanceM);
            feature.SetField(kPathLoss, p.pathLossDb);
            feature.SetField(kPredicted, p.pathLossDb - line.residuals[k]);
            feature.SetField(kResidual, line.residuals[k]);
            feature.SetField(kBand, ResidualBandLabel(ResidualBand(line.residuals[k])).c_str());
            feature.SetField(kWeight, line.weights[k]);
            if (layer->CreateFeature(&feature) != OGRERR_NONE)
                return fail("a feature cannot be written");
        }
    }
    if (dataset->CommitTransaction() != OGRERR_NONE) return fail("the layer cannot be written");
    if (!WriteStyle(*dataset)) return fail("the layer's style cannot be stored");
    dataset.reset();  // closes the file
    if (trap.Errors() > 0) return fail("the residual layer cannot be written");
    return {};
}

std::string WriteResidualLayer(const CalibrationResult& result, const std::string& path) {
    OutputSet files;
    const std::size_t layer = files.Add(path, kResidualLayerOutput);
    if (const auto refusal = files.Check()) return refusal->message;
    StagedFile* work = files.WorkFile(layer);
    if (work == nullptr)
        return path + ": the residual layer cannot be created: " + files.FailureReason();
    if (std::string error = CreateResidualLayer(result, work->WorkPath(), path); !error.empty())
        return error;
    if (!files.Commit())
        return path + ": the residual layer cannot be put in place: " + files.FailureReason();
    return {};
}

}  // namespace varistrum
