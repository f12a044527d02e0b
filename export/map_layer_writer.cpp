// SPDX-License-Identifier: GPL-3.0-or-later
// The map layers through OGR: one schema, four drivers.
#include "export/map_layer_writer.h"

#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "base/abandonable_step.h"
#include "base/number_format.h"
#include "base/output_set.h"
#include "base/utf8_text.h"
#include "export/gdal_support.h"
#include "report/provenance.h"

namespace varistrum {

namespace {

// Fields of the samples layer, in this order.
enum SampleField {
    kScan,
    kScanKind,
    kReceiver,
    kRow,
    kTime,
    kGpsStatus,
    kChannel,
    kFrequency,
    kRssi,
    kSamples,
    kRssiMin,
    kRssiMax,
    kAveraged,
    kSpeed,
    kAltitude,
    kSampleSource,
};
// Fields of the route layer, in this order.
enum RouteField { kRouteScan, kRouteKind, kStart, kEnd, kFixes, kLength, kRouteSource };

struct FieldShape {
    const char* name;
    OGRFieldType type;
    OGRFieldSubType subType;
};

constexpr std::array<FieldShape, 15> kSampleFields = {{
    {"scan", OFTInteger, OFSTNone},
    {"scan_kind", OFTString, OFSTNone},
    {"receiver", OFTInteger, OFSTNone},
    {"row", OFTInteger64, OFSTNone},
    {"time", OFTString, OFSTNone},
    {"gps_status", OFTString, OFSTNone},
    {"channel", OFTInteger, OFSTNone},
    {"frequency_mhz", OFTReal, OFSTNone},
    {"rssi_dbm", OFTReal, OFSTNone},
    {"samples", OFTInteger, OFSTNone},
    {"rssi_min_dbm", OFTReal, OFSTNone},
    {"rssi_max_dbm", OFTReal, OFSTNone},
    {"averaged", OFTInteger, OFSTBoolean},
    {"speed_kmh", OFTReal, OFSTNone},
    {"altitude_m", OFTReal, OFSTNone},
}};
constexpr std::array<FieldShape, 6> kRouteFields = {{
    {"scan", OFTInteger, OFSTNone},
    {"scan_kind", OFTString, OFSTNone},
    {"start", OFTString, OFSTNone},
    {"end", OFTString, OFSTNone},
    {"fixes", OFTInteger64, OFSTNone},
    {"length_m", OFTReal, OFSTNone},
}};
constexpr FieldShape kSourceField = {"source_file", OFTString, OFSTNone};

const char* DriverName(MapFormat format) {
    switch (format) {
        case MapFormat::GeoPackage:
            return "GPKG";
        case MapFormat::GeoJson:
            return "GeoJSON";
        case MapFormat::FlatGeobuf:
            return "FlatGeobuf";
        case MapFormat::Kml:
            return "LIBKML";  // the only KML writer of GDAL that colours points
        default:
            return "";
    }
}

// Text for a KML: valid UTF-8 without the control characters XML forbids, and without "]]>",
// which would end the CDATA section GDAL's KML writer puts names and values in.
std::string KmlText(std::string_view text) {
    std::string out;
    for (const char c : ValidUtf8(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r')
            out += "\xEF\xBF\xBD";
        else
            out.push_back(c);
        if (out.size() >= 3 && out.compare(out.size() - 3, 3, "]]>") == 0)
            out.insert(out.size() - 1, " ");
    }
    return out;
}

std::string StyleName(int band) {
    return "band" + std::to_string(band);
}

// The document's description: the level colours, strongest first.
std::string KmlLegend(const LevelRamp& ramp) {
    std::string html = "<b>RSSI (dBm)</b><br/>";
    for (int band = LevelRamp::kBands - 1; band >= 0; --band) {
        html += "<font color=\"" + LevelRamp::HexText(LevelRamp::BandColour(band)) +
                "\">&#9679;</font> " + ramp.BandLabel(band) + "<br/>";
    }
    return html;
}

OGRSpatialReference Wgs84() {
    OGRSpatialReference srs;
    srs.importFromEPSG(4326);
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);  // longitude first, as GIS files have
    return srs;
}

// Whether the file ends with `closing` (trailing white space aside). GDAL's GeoJSON and KML
// writers do not report a failed write (a full disk): a file that lacks its closing text was
// cut short.
bool EndsWithText(const std::string& path, std::string_view closing) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    char tail[64] = {};
    std::size_t length = 0;
    if (std::fseek(file, -static_cast<long>(sizeof tail), SEEK_END) != 0) std::rewind(file);
    length = std::fread(tail, 1, sizeof tail, file);
    std::fclose(file);
    std::string_view text(tail, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.remove_suffix(1);
    return text.size() >= closing.size() && text.substr(text.size() - closing.size()) == closing;
}

constexpr OutputKind kGeoPackageOutput{"a GeoPackage", false, ".gpkg"};
constexpr OutputKind kGeoJsonOutput{"a GeoJSON file", false, ".geojson"};
constexpr OutputKind kFlatGeobufOutput{"a FlatGeobuf file", false, ".fgb"};
constexpr OutputKind kKmlOutput{"a KML file", false, ".kml"};

}  // namespace

const OutputKind& LayerOutputKind(MapFormat format) {
    switch (format) {
        case MapFormat::GeoJson:
            return kGeoJsonOutput;
        case MapFormat::FlatGeobuf:
            return kFlatGeobufOutput;
        case MapFormat::Kml:
            return kKmlOutput;
        default:
            return kGeoPackageOutput;
    }
}

MapLayerFiles AddMapLayerFiles(OutputSet& files, const std::string& path,
                               const MapExportOptions& options) {
    MapLayerFiles added;
    added.layer = files.Add(path, LayerOutputKind(options.format));
    // The side files are named after the layer: never written through a link.
    if (options.format == MapFormat::GeoJson) {
        added.route = files.Add(RouteFileOf(path), LayerOutputKind(options.format),
                                OutputSet::Naming::Derived);
    }
    if (options.provenanceRecord) {
        added.record =
            files.Add(ProvenancePathOf(path), kJsonRecordOutput, OutputSet::Naming::Derived);
    }
    return added;
}

MapLayerWriter::MapLayerWriter(MapExportOptions options, std::stop_token stop)
    : options_(std::move(options)), stop_(std::move(stop)) {}

MapLayerWriter::~MapLayerWriter() {
    if (dataset_ || routeDataset_) Abandon();
}

void MapLayerWriter::SetSourceFile(std::string name) {
    sourceFile_ = options_.format == MapFormat::Kml ? KmlText(name) : ValidUtf8(name);
}

// GDAL takes texts as C strings and copies them at once: one buffer serves every field.
const char* MapLayerWriter::CText(std::string_view text) {
    scratch_.assign(text);
    return scratch_.c_str();
}

bool MapLayerWriter::Fail(const std::string& fallback) {
    failed_ = true;
    if (error_.empty())
        error_ = trap_ && !trap_->LastError().empty() ? trap_->LastError() : fallback;
    return false;
}

bool MapLayerWriter::CreateDataset(GDALDriver& driver, StagedFile& file, char** creation,
                                   GDALDatasetUniquePtr& dataset) {
    dataset.reset(driver.Create(file.WorkPath().c_str(), 0, 0, 0, GDT_Unknown, creation));
    return dataset != nullptr;
}

bool MapLayerWriter::Open(OutputSet& files, const MapLayerFiles& layerFiles) {
    RegisterGdalDrivers();
    trap_ = std::make_unique<GdalErrorTrap>();
    files_ = &files;
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(DriverName(options_.format));
    if (driver == nullptr)
        return Fail(std::string("GDAL has no ") + DriverName(options_.format) + " driver");
    layerFile_ = files.WorkFile(layerFiles.layer);
    if (layerFile_ == nullptr) return Fail(files.FailureReason());
    CPLStringList creation;
    if (options_.format == MapFormat::Kml) {
        // Extended data as <Data> elements: with a schema GDAL's KML writer slows down with
        // the square of the placemarks.
        CPLSetThreadLocalConfigOption("LIBKML_USE_SIMPLEFIELD", "NO");
        const std::string name = std::filesystem::path(files.PathOf(layerFiles.layer)).stem();
        creation.SetNameValue("NAME", KmlText(name).c_str());
        creation.SetNameValue("DESCRIPTION", KmlLegend(options_.ramp).c_str());
    }
    if (!CreateDataset(*driver, *layerFile_, creation.List(), dataset_))
        return Fail("The output cannot be created.");
    switch (options_.format) {
        case MapFormat::GeoPackage:
            if (!options_.metadataJson.empty() &&
                dataset_->SetMetadataItem("PROVENANCE", options_.metadataJson.c_str()) != CE_None)
                return Fail("The metadata cannot be stored.");
            if (!CreateSamplesLayer(*dataset_, "samples") || !CreateRouteLayer(*dataset_, "route"))
                return false;
            return NextTransaction();
        case MapFormat::GeoJson: {
            if (!CreateSamplesLayer(*dataset_, "samples")) return false;
            if (!layerFiles.route) return Fail("The route file is missing.");
            routeFile_ = files.WorkFile(*layerFiles.route);
            if (routeFile_ == nullptr) return Fail(files.FailureReason());
            if (!CreateDataset(*driver, *routeFile_, nullptr, routeDataset_))
                return Fail("The route file cannot be created.");
            return CreateRouteLayer(*routeDataset_, "route");
        }
        case MapFormat::FlatGeobuf:
            return CreateSamplesLayer(*dataset_, "samples");
        case MapFormat::Kml: {
            OGRStyleTable styles;
            for (int band = 0; band < LevelRamp::kBands; ++band) {
                // An empty icon id: the viewer's own point icon, tinted.
                styles.AddStyle(
                    StyleName(band).c_str(),
                    ("SYMBOL(id:\"\",c:" + LevelRamp::HexText(LevelRamp::BandColour(band)) + "ff)")
                        .c_str());
            }
            dataset_->SetStyleTable(&styles);
            return true;  // a folder per scan follows
        }
        default:
            return Fail("Not a map layer format.");
    }
}

bool MapLayerWriter::CreateSamplesLayer(GDALDataset& dataset, const std::string& name) {
    CPLStringList options;
    if (options_.format == MapFormat::GeoJson) {
        options.SetNameValue("RFC7946", "YES");
        options.SetNameValue("COORDINATE_PRECISION", "6");  // as the text output
    }
    if (options_.format == MapFormat::GeoPackage) options.SetNameValue("SPATIAL_INDEX", "YES");
    if (options_.format == MapFormat::FlatGeobuf) {
        options.SetNameValue("SPATIAL_INDEX", options_.spatialIndex ? "YES" : "NO");
        // Its features wait in a file beside the layer until the index is built.
        options.SetNameValue("TEMPORARY_DIR", layerFile_->WorkFolder().c_str());
    }
    if (options_.format == MapFormat::Kml) options.SetNameValue("FOLDER", "YES");
    OGRSpatialReference srs = Wgs84();
    samples_ = dataset.CreateLayer(name.c_str(), &srs, wkbPoint, options.List());
    if (samples_ == nullptr) return Fail("The samples layer cannot be created.");
    for (const FieldShape& shape : kSampleFields) {
        OGRFieldDefn field(shape.name, shape.type);
        field.SetSubType(shape.subType);
        if (samples_->CreateField(&field) != OGRERR_NONE)
            return Fail(std::string("The field ") + shape.name + " cannot be created.");
    }
    if (options_.sourceFileField) {
        OGRFieldDefn field(kSourceField.name, kSourceField.type);
        if (samples_->CreateField(&field) != OGRERR_NONE)
            return Fail("The field source_file cannot be created.");
    }
    point_.reset(OGRFeature::CreateFeature(samples_->GetLayerDefn()));
    point_->SetGeometryDirectly(new OGRPoint(0.0, 0.0));
    return true;
}

bool MapLayerWriter::CreateRouteLayer(GDALDataset& dataset, const std::string& name) {
    CPLStringList options;
    if (options_.format == MapFormat::GeoJson) {
        options.SetNameValue("RFC7946", "YES");
        options.SetNameValue("COORDINATE_PRECISION", "6");  // as the text output
    }
    if (options_.format == MapFormat::GeoPackage) options.SetNameValue("SPATIAL_INDEX", "YES");
    if (options_.format == MapFormat::Kml) options.SetNameValue("FOLDER", "YES");
    OGRSpatialReference srs = Wgs84();
    route_ = dataset.CreateLayer(name.c_str(), &srs, wkbLineString, options.List());
    if (route_ == nullptr) return Fail("The route layer cannot be created.");
    for (const FieldShape& shape : kRouteFields) {
        OGRFieldDefn field(shape.name, shape.type);
        if (route_->CreateField(&field) != OGRERR_NONE)
            return Fail(std::string("The field ") + shape.name + " cannot be created.");
    }
    if (options_.sourceFileField) {
        OGRFieldDefn field(kSourceField.name, kSourceField.type);
        if (route_->CreateField(&field) != OGRERR_NONE)
            return Fail("The field source_file cannot be created.");
    }
    line_.reset(OGRFeature::CreateFeature(route_->GetLayerDefn()));
    return true;
}

// GeoPackage features go in transactions of kFeaturesPerTransaction: one per feature would
// make SQLite sync the file for each.
bool MapLayerWriter::NextTransaction() {
    if (options_.format != MapFormat::GeoPackage) return true;
    if (inTransaction_) {
        inTransaction_ = false;
        if (dataset_->CommitTransaction() != OGRERR_NONE)
            return Fail("The features cannot be stored.");
    }
    if (dataset_->StartTransaction() != OGRERR_NONE) return Fail("The features cannot be stored.");
    inTransaction_ = true;
    sinceCommit_ = 0;
    return true;
}

void MapLayerWriter::BeginScan(int scan, ScanKind /*kind*/) {
    if (failed_ || options_.format != MapFormat::Kml) return;
    // KML: one folder per scan, written one after the other.
    CreateSamplesLayer(*dataset_, "scan " + std::to_string(scan));
}

void MapLayerWriter::AcceptPoint(const SamplePoint& p) {
    if (failed_ || samples_ == nullptr) return;
    // A single record can release millions of rows (those waiting for a fix): the stop request
    // is looked at before every feature.
    if (stop_.stop_requested()) {
        stopped_ = failed_ = true;
        return;
    }
    if (options_.format == MapFormat::Kml && points_ >= options_.kmlPlacemarkLimit) {
        limitReached_ = failed_ = true;
        std::string limit = std::to_string(options_.kmlPlacemarkLimit);
        for (std::size_t at = limit.size(); at > 3; at -= 3) limit.insert(at - 3, ",");
        error_ = "would hold more than " + limit +
                 " placemarks, the most a KML export writes: 40-lambda averaging gives far fewer "
                 "points (--average 40-lambda, or 40 Lambda in the window).";
        return;
    }
    OGRFeature& f = *point_;
    f.SetFID(OGRNullFID);
    auto* geometry = f.GetGeometryRef()->toPoint();
    geometry->setX(p.longitude);
    geometry->setY(p.latitude);
    f.SetField(kScan, p.scan);
    f.SetField(kScanKind, CText(ScanKindName(p.scanKind)));
    f.SetField(kReceiver, p.receiver);
    f.SetField(kRow, static_cast<GIntBig>(p.row));
    f.SetField(kTime, CText(p.time));
    f.SetField(kGpsStatus, CText(p.gpsStatus));
    f.SetField(kChannel, p.channel);
    f.SetField(kFrequency, p.frequencyMHz);
    f.SetField(kRssi, p.rssiDbm);
    if (p.averaged) {
        // A 40-lambda bin's sample count and spread are not kept: null, never a made-up value.
        f.SetFieldNull(kSamples);
        f.SetFieldNull(kRssiMin);
        f.SetFieldNull(kRssiMax);
    } else {
        f.SetField(kSamples, p.samples);
        f.SetField(kRssiMin, p.rssiMinDbm);
        f.SetField(kRssiMax, p.rssiMaxDbm);
    }
    f.SetField(kAveraged, p.averaged ? 1 : 0);
    f.SetField(kSpeed, p.speedKmh);
    f.SetField(kAltitude, p.altitudeM);
    if (options_.sourceFileField) f.SetField(kSampleSource, sourceFile_.c_str());
    if (options_.format == MapFormat::Kml)
        f.SetStyleString(CText("@" + StyleName(options_.ramp.BandOf(p.rssiDbm))));
    if (samples_->CreateFeature(&f) != OGRERR_NONE) {
        Fail("A feature cannot be written.");
        return;
    }
    ++points_;
    if (++sinceCommit_ >= kFeaturesPerTransaction) NextTransaction();
}

void MapLayerWriter::AcceptRoute(const RouteLine& route) {
    if (failed_) return;
    KeptRoute kept{route.scan,
                   route.scanKind,
                   std::string(route.start),
                   std::string(route.end),
                   route.fixes,
                   route.lengthM,
                   {route.points.begin(), route.points.end()}};
    if (options_.format == MapFormat::Kml) {
        kmlRoutes_.push_back(std::move(kept));  // after the scans' folders
        return;
    }
    WriteRoute(kept);
}

bool MapLayerWriter::WriteRoute(const KeptRoute& route) {
    if (route_ == nullptr) return true;  // FlatGeobuf holds the samples only
    OGRFeature& f = *line_;
    f.SetFID(OGRNullFID);
    auto* line = new OGRLineString;
    line->setNumPoints(static_cast<int>(route.points.size()), false);
    for (std::size_t i = 0; i < route.points.size(); ++i)
        line->setPoint(static_cast<int>(i), route.points[i].longitude, route.points[i].latitude);
    f.SetGeometryDirectly(line);
    f.SetField(kRouteScan, route.scan);
    f.SetField(kRouteKind, CText(ScanKindName(route.kind)));
    f.SetField(kStart, route.start.c_str());
    f.SetField(kEnd, route.end.c_str());
    f.SetField(kFixes, static_cast<GIntBig>(route.fixes));
    f.SetField(kLength, route.lengthM);
    if (options_.sourceFileField) f.SetField(kRouteSource, sourceFile_.c_str());
    if (route_->CreateFeature(&f) != OGRERR_NONE) return Fail("A route cannot be written.");
    return true;
}

bool MapLayerWriter::Finish() {
    if (failed_ || !dataset_ || stop_.stop_requested()) {
        stopped_ = stopped_ || stop_.stop_requested();
        Abandon();
        return Fail("The output cannot be finished.");
    }
    if (options_.format == MapFormat::Kml && !kmlRoutes_.empty()) {
        if (CreateRouteLayer(*dataset_, "routes")) {
            for (const KeptRoute& route : kmlRoutes_) {
                if (!WriteRoute(route)) break;
            }
        }
    }
    if (!failed_ && inTransaction_) {
        inTransaction_ = false;
        if (dataset_->CommitTransaction() != OGRERR_NONE) Fail("The features cannot be stored.");
    }
    if (!failed_ && options_.format == MapFormat::GeoPackage && !options_.metadataJson.empty() &&
        dataset_->SetMetadataItem("PROVENANCE", options_.metadataJson.c_str()) != CE_None)
        Fail("The metadata cannot be stored.");
    if (failed_ || stop_.stop_requested()) {
        stopped_ = stopped_ || stop_.stop_requested();
        Abandon();
        return false;
    }
    const int errorsBefore = trap_->Errors();
    {
        // FlatGeobuf builds its index, GeoPackage its R-tree: seconds for a large layer, and
        // no way to interrupt it but to end the process.
        AbandonableStep step({layerFile_->WorkFolder(),
                              routeFile_ != nullptr ? routeFile_->WorkFolder() : std::string()});
        CloseDatasets();
    }
    if (!failed_ && trap_->Errors() > errorsBefore) Fail("The output cannot be finished.");
    if (!failed_ && options_.format == MapFormat::GeoJson &&
        !(EndsWithText(layerFile_->WorkPath(), "}") && EndsWithText(routeFile_->WorkPath(), "}")))
        Fail("The output was cut short (is the disk full?).");
    if (!failed_ && options_.format == MapFormat::Kml &&
        !EndsWithText(layerFile_->WorkPath(), "</kml>"))
        Fail("The output was cut short (is the disk full?).");
    if (failed_) {
        Abandon();
        return false;
    }
    trap_.reset();
    return true;
}

void MapLayerWriter::Abandon() {
    // GDAL finishes a file when its dataset closes (FlatGeobuf sorts its features and builds
    // the index, GeoPackage commits and builds its R-tree, KML writes the whole document): the
    // transaction is rolled back, the dataset told not to, and its work files go first, so
    // that what is left of the closing fails at once.
    point_.reset();
    line_.reset();
    samples_ = route_ = nullptr;
    if (!trap_) trap_ = std::make_unique<GdalErrorTrap>();  // the closing's complaints
    // A GeoPackage would commit its open transaction on closing, spatial index and all.
    if (inTransaction_ && dataset_) dataset_->RollbackTransaction();
    inTransaction_ = false;
    for (GDALDatasetUniquePtr* dataset : {&dataset_, &routeDataset_}) {
        if (*dataset) (*dataset)->MarkSuppressOnClose();
    }
    for (StagedFile* file : {layerFile_, routeFile_}) {
        if (file != nullptr) file->Discard();
    }
    // A KML's document is freed on a thread of its own: a cancel does not wait for it.
    if (options_.format == MapFormat::Kml) DropInBackground(dataset_.release());
    CloseDatasets();
    layerFile_ = routeFile_ = nullptr;
    trap_.reset();
}

void MapLayerWriter::CloseDatasets() {
    point_.reset();
    line_.reset();
    samples_ = route_ = nullptr;
    dataset_.reset();
    routeDataset_.reset();
    if (options_.format == MapFormat::Kml)
        CPLSetThreadLocalConfigOption("LIBKML_USE_SIMPLEFIELD", nullptr);
}

}  // namespace varistrum
