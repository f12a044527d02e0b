// SPDX-License-Identifier: GPL-3.0-or-later
// The map layers through OGR: one schema, four drivers.
#include "export/map_layer_writer.h"

#include <gdal_utils.h>
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
#include "export/layer_styles.h"
#include "report/provenance.h"

namespace varistrum {

namespace {

// Fields of the samples layer, in this order (a CSV file starts with the position's two).
enum SampleField {
    kScan,
    kScanKind,
    kReceiver,
    kRow,
    kTimeUtc,
    kClockTime,
    kTimeSource,
    kFix,
    kChannel,
    kFrequency,
    kRssi,
    kLevelBand,
    kSamples,
    kRssiMin,
    kRssiMax,
    kAveraged,
    kSpeed,
    kAltitude,
    kSampleSource,
};
// Fields of the route layer, in this order.
enum RouteField { kRouteScan, kRouteKind, kFirstFix, kLastFix, kFixes, kLength, kRouteSource };

struct FieldShape {
    const char* name;
    OGRFieldType type;
    OGRFieldSubType subType;
    // A CSV file writes the field with these decimals (0: as many as it takes), so that a
    // whole number still reads back as a real number ("-87.00", not "-87").
    int csvDecimals = 0;
};

constexpr std::array<FieldShape, 18> kSampleFields = {{
    {"scan", OFTInteger, OFSTNone},
    {"scan_kind", OFTString, OFSTNone},
    {"receiver", OFTInteger, OFSTNone},
    {"row", OFTInteger64, OFSTNone},
    {"time_utc", OFTDateTime, OFSTNone},
    {"clock_time", OFTString, OFSTNone},
    {"time_source", OFTString, OFSTNone},
    {"fix", OFTString, OFSTNone},
    {"channel", OFTInteger, OFSTNone},
    {"frequency_mhz", OFTReal, OFSTNone, 5},
    {"rssi_dbm", OFTReal, OFSTNone, 2},
    {"level_band", OFTInteger, OFSTNone},
    {"samples", OFTInteger, OFSTNone},
    {"rssi_min_dbm", OFTReal, OFSTNone, 2},
    {"rssi_max_dbm", OFTReal, OFSTNone, 2},
    {"averaged", OFTInteger, OFSTBoolean},
    {"speed_kmh", OFTReal, OFSTNone, 3},
    {"altitude_m", OFTReal, OFSTNone, 2},
}};
// The route's times are named so that no driver takes them for its own time fields.
constexpr std::array<FieldShape, 6> kRouteFields = {{
    {"scan", OFTInteger, OFSTNone},
    {"scan_kind", OFTString, OFSTNone},
    {"first_fix_utc", OFTDateTime, OFSTNone},
    {"last_fix_utc", OFTDateTime, OFSTNone},
    {"fixes", OFTInteger64, OFSTNone},
    {"length_m", OFTReal, OFSTNone},
}};
constexpr FieldShape kSourceField = {"source_file", OFTString, OFSTNone};
// A CSV file's first two columns.
constexpr std::array<FieldShape, 2> kCsvPosition = {{
    {"latitude", OFTReal, OFSTNone},
    {"longitude", OFTReal, OFSTNone},
}};
constexpr int kCsvFieldsBefore = static_cast<int>(kCsvPosition.size());
constexpr int kCsvWidth = 24;
constexpr const char* kGeometryColumn = "geom";
constexpr const char* kSamplesLayer = "samples";
// GDAL's time zone flag of UTC.
constexpr int kUtcFlag = 100;

const char* DriverName(MapFormat format) {
    switch (format) {
        case MapFormat::GeoPackage:
            return "GPKG";
        case MapFormat::GeoJson:
            return "GeoJSON";
        case MapFormat::FlatGeobuf:
            return "FlatGeobuf";
        case MapFormat::Csv:
            return "CSV";
        default:
            return "";
    }
}

OGRSpatialReference Wgs84() {
    OGRSpatialReference srs;
    srs.importFromEPSG(4326);
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);  // longitude first, as GIS files have
    return srs;
}

// Whether the file ends with `closing` (trailing white space aside). GDAL's GeoJSON writer does
// not report a failed write (a full disk): a file that lacks its closing text was cut short.
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
constexpr OutputKind kKmlOutput{"a KML file", false, ""};
constexpr OutputKind kCsvOutput{"a CSV file", false, ".csv"};

}  // namespace

const OutputKind& LayerOutputKind(MapFormat format) {
    switch (format) {
        case MapFormat::GeoJson:
            return kGeoJsonOutput;
        case MapFormat::FlatGeobuf:
            return kFlatGeobufOutput;
        case MapFormat::Kml:
            return kKmlOutput;
        case MapFormat::Csv:
            return kCsvOutput;
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
    if (dataset_ || routeDataset_ || kml_) Abandon();
}

void MapLayerWriter::SetSourceFile(std::string name) {
    sourceFile_ = ValidUtf8(name);
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
    files_ = &files;
    if (options_.format == MapFormat::Kml) return OpenKml(files, layerFiles);
    RegisterGdalDrivers();
    trap_ = std::make_unique<GdalErrorTrap>();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(DriverName(options_.format));
    if (driver == nullptr)
        return Fail(std::string("GDAL has no ") + DriverName(options_.format) + " driver");
    layerFile_ = files.WorkFile(layerFiles.layer);
    if (layerFile_ == nullptr) return Fail(files.FailureReason());
    if (!CreateDataset(*driver, *layerFile_, nullptr, dataset_))
        return Fail("The output cannot be created.");
    switch (options_.format) {
        case MapFormat::GeoPackage: {
            if (!options_.metadataJson.empty() &&
                dataset_->SetMetadataItem("PROVENANCE", options_.metadataJson.c_str()) != CE_None)
                return Fail("The metadata cannot be stored.");
            if (!CreateSamplesLayer(*dataset_, kSamplesLayer) ||
                !CreateRouteLayer(*dataset_, "route"))
                return false;
            // QGIS opens the samples coloured as the map and the KML are.
            std::string error;
            if (!StoreLayerStyle(*dataset_,
                                 {kSamplesLayer, kGeometryColumn, "level bands",
                                  LevelBandPointStyle(options_.ramp, "level_band"),
                                  "RSSI in the level bands " + options_.ramp.Text() + " dBm"},
                                 &error))
                return Fail(error);
            return NextTransaction();
        }
        case MapFormat::GeoJson: {
            if (!CreateSamplesLayer(*dataset_, kSamplesLayer)) return false;
            if (!layerFiles.route) return Fail("The route file is missing.");
            routeFile_ = files.WorkFile(*layerFiles.route);
            if (routeFile_ == nullptr) return Fail(files.FailureReason());
            if (!CreateDataset(*driver, *routeFile_, nullptr, routeDataset_))
                return Fail("The route file cannot be created.");
            return CreateRouteLayer(*routeDataset_, "route");
        }
        case MapFormat::FlatGeobuf:
        case MapFormat::Csv:
            return CreateSamplesLayer(*dataset_, kSamplesLayer);
        default:
            return Fail("Not a map layer format.");
    }
}

bool MapLayerWriter::OpenKml(OutputSet& files, const MapLayerFiles& layerFiles) {
    OutputFile* stream = files.Stream(layerFiles.layer);
    if (stream == nullptr) return Fail(files.FailureReason());
    KmlOptions kml;
    kml.form = options_.kmlForm;
    kml.channel = options_.kmlChannel;
    kml.ramp = options_.ramp;
    kml.pointLimit = options_.kmlPointLimit;
    kml_ = std::make_unique<KmlDocument>(kml, stop_);
    const std::string name = std::filesystem::path(files.PathOf(layerFiles.layer)).stem();
    if (!kml_->Open(*stream, name)) return Fail(kml_->Error());
    return true;
}

bool MapLayerWriter::CreateSamplesLayer(GDALDataset& dataset, const std::string& name) {
    CPLStringList options;
    if (options_.format == MapFormat::GeoJson) {
        options.SetNameValue("RFC7946", "YES");
        options.SetNameValue("COORDINATE_PRECISION", "6");  // as the text output
    }
    if (options_.format == MapFormat::GeoPackage) {
        options.SetNameValue("SPATIAL_INDEX", "YES");
        options.SetNameValue("GEOMETRY_NAME", kGeometryColumn);  // as the stored style names it
    }
    if (options_.format == MapFormat::FlatGeobuf) {
        // Written as a stream; the index, if any, is built once the features are counted.
        options.SetNameValue("SPATIAL_INDEX", streamFlatGeobuf_ ? "NO" : "YES");
    }
    const bool csv = options_.format == MapFormat::Csv;
    if (csv) {
        options.SetNameValue("LINEFORMAT", "CRLF");  // as every text file we write
        options.SetNameValue("STRING_QUOTING", "IF_NEEDED");
    }
    OGRSpatialReference srs = Wgs84();
    samples_ = csv ? dataset.CreateLayer(name.c_str(), nullptr, wkbNone, options.List())
                   : dataset.CreateLayer(name.c_str(), &srs, wkbPoint, options.List());
    if (samples_ == nullptr) return Fail("The samples layer cannot be created.");
    const auto create = [&](const FieldShape& shape) {
        // A CSV file holds its times as ISO 8601 text (GDAL's own would not be) and its
        // booleans as "true" and "false" (GDAL's are 0 and 1, which pandas reads as numbers).
        const bool asText = csv && (shape.type == OFTDateTime || shape.subType == OFSTBoolean);
        OGRFieldDefn field(shape.name, asText ? OFTString : shape.type);
        if (!asText) field.SetSubType(shape.subType);
        if (csv && shape.csvDecimals > 0) {
            field.SetWidth(kCsvWidth);  // GDAL keeps the decimals of fields with a width
            field.SetPrecision(shape.csvDecimals);
        }
        if (samples_->CreateField(&field) == OGRERR_NONE) return true;
        return Fail(std::string("The field ") + shape.name + " cannot be created.");
    };
    if (csv) {
        for (const FieldShape& shape : kCsvPosition) {
            if (!create(shape)) return false;
        }
    }
    for (const FieldShape& shape : kSampleFields) {
        if (!create(shape)) return false;
    }
    if (options_.sourceFileField && !create(kSourceField)) return false;
    point_.reset(OGRFeature::CreateFeature(samples_->GetLayerDefn()));
    if (!csv) point_->SetGeometryDirectly(new OGRPoint(0.0, 0.0));
    return true;
}

bool MapLayerWriter::CreateRouteLayer(GDALDataset& dataset, const std::string& name) {
    CPLStringList options;
    if (options_.format == MapFormat::GeoJson) {
        options.SetNameValue("RFC7946", "YES");
        options.SetNameValue("COORDINATE_PRECISION", "6");  // as the text output
    }
    if (options_.format == MapFormat::GeoPackage) options.SetNameValue("SPATIAL_INDEX", "YES");
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

void MapLayerWriter::BeginScan(int scan, ScanKind kind) {
    if (failed_ || !kml_) return;
    kml_->BeginScan(scan, kind);
    if (kml_->Failed()) Fail(kml_->Error());
}

// A time field: a date and time in UTC where the format has them, its ISO 8601 text in a CSV
// file; null when the time is not known.
void MapLayerWriter::SetTime(int field, const CivilTime& time, std::string_view text) {
    OGRFeature& f = *point_;
    if (!time.known) {
        f.SetFieldNull(field);
    } else if (options_.format == MapFormat::Csv) {
        f.SetField(field, CText(text));
    } else {
        f.SetField(field, time.year, time.month, time.day, time.hours, time.minutes,
                   static_cast<float>(time.seconds), kUtcFlag);
    }
}

void MapLayerWriter::AcceptPoint(const SamplePoint& p) {
    if (failed_) return;
    // A single record can release millions of rows (those waiting for a fix): the stop request
    // is looked at before every feature.
    if (stop_.stop_requested()) {
        stopped_ = failed_ = true;
        return;
    }
    if (kml_) {
        kml_->AcceptPoint(p);
        if (kml_->Failed()) {
            limitReached_ = kml_->LimitReached();
            Fail(kml_->Error());
            return;
        }
        ++points_;
        return;
    }
    if (samples_ == nullptr) return;
    OGRFeature& f = *point_;
    f.SetFID(OGRNullFID);
    // The CSV file's fields follow its two position columns.
    const int at = options_.format == MapFormat::Csv ? kCsvFieldsBefore : 0;
    if (options_.format == MapFormat::Csv) {
        f.SetField(0, p.latitude);
        f.SetField(1, p.longitude);
    } else {
        auto* geometry = f.GetGeometryRef()->toPoint();
        geometry->setX(p.longitude);
        geometry->setY(p.latitude);
    }
    f.SetField(at + kScan, p.scan);
    f.SetField(at + kScanKind, CText(ScanKindName(p.scanKind)));
    f.SetField(at + kReceiver, p.receiver);
    f.SetField(at + kRow, static_cast<GIntBig>(p.row));
    SetTime(at + kTimeUtc, p.utc, p.utcText);
    if (p.clock.known) {
        f.SetField(at + kClockTime, CText(p.clockText));
    } else {
        f.SetFieldNull(at + kClockTime);
    }
    if (p.timeSource == TimeSource::None) {
        f.SetFieldNull(at + kTimeSource);
    } else {
        f.SetField(at + kTimeSource, CText(TimeSourceName(p.timeSource)));
    }
    f.SetField(at + kFix, CText(p.fix));
    f.SetField(at + kChannel, p.channel);
    f.SetField(at + kFrequency, p.frequencyMHz);
    f.SetField(at + kRssi, p.rssiDbm);
    f.SetField(at + kLevelBand, options_.ramp.BandOf(p.rssiDbm));
    f.SetField(at + kSamples, p.samples);
    f.SetField(at + kRssiMin, p.rssiMinDbm);
    f.SetField(at + kRssiMax, p.rssiMaxDbm);
    if (options_.format == MapFormat::Csv) {
        f.SetField(at + kAveraged, p.averaged ? "true" : "false");
    } else {
        f.SetField(at + kAveraged, p.averaged ? 1 : 0);
    }
    // Speed and height only where the GPS record vouches for them.
    if (p.speedKnown) {
        f.SetField(at + kSpeed, p.speedKmh);
    } else {
        f.SetFieldNull(at + kSpeed);
    }
    if (p.altitudeKnown) {
        f.SetField(at + kAltitude, p.altitudeM);
    } else {
        f.SetFieldNull(at + kAltitude);
    }
    if (options_.sourceFileField) f.SetField(at + kSampleSource, sourceFile_.c_str());
    if (samples_->CreateFeature(&f) != OGRERR_NONE) {
        Fail("A feature cannot be written.");
        return;
    }
    ++points_;
    if (++sinceCommit_ >= kFeaturesPerTransaction) NextTransaction();
}

void MapLayerWriter::AcceptRoute(const RouteLine& route) {
    if (failed_) return;
    if (kml_) {
        kml_->AcceptRoute(route);
        if (kml_->Failed()) Fail(kml_->Error());
        return;
    }
    if (route_ == nullptr) return;  // FlatGeobuf and CSV hold the samples only
    OGRFeature& f = *line_;
    f.SetFID(OGRNullFID);
    auto* line = new OGRLineString;
    line->setNumPoints(static_cast<int>(route.points.size()), false);
    for (std::size_t i = 0; i < route.points.size(); ++i)
        line->setPoint(static_cast<int>(i), route.points[i].longitude, route.points[i].latitude);
    f.SetGeometryDirectly(line);
    f.SetField(kRouteScan, route.scan);
    f.SetField(kRouteKind, CText(ScanKindName(route.scanKind)));
    for (const auto& [field, time] : {std::pair{kFirstFix, route.first}, {kLastFix, route.last}}) {
        if (time.known) {
            f.SetField(field, time.year, time.month, time.day, time.hours, time.minutes,
                       static_cast<float>(time.seconds), kUtcFlag);
        } else {
            f.SetFieldNull(field);
        }
    }
    f.SetField(kFixes, static_cast<GIntBig>(route.fixes));
    f.SetField(kLength, route.lengthM);
    if (options_.sourceFileField) f.SetField(kRouteSource, sourceFile_.c_str());
    if (route_->CreateFeature(&f) != OGRERR_NONE) Fail("A route cannot be written.");
}

bool MapLayerWriter::Finish() {
    if (kml_) {
        if (failed_ || stop_.stop_requested() || !kml_->Finish()) {
            stopped_ = stopped_ || stop_.stop_requested() || kml_->Stopped();
            if (kml_->Failed()) Fail(kml_->Error());
            Abandon();
            return Fail("The output cannot be finished.");
        }
        kml_.reset();
        return true;
    }
    if (failed_ || !dataset_ || stop_.stop_requested()) {
        stopped_ = stopped_ || stop_.stop_requested();
        Abandon();
        return Fail("The output cannot be finished.");
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
    if (!failed_ && options_.format == MapFormat::FlatGeobuf) {
        if (points_ == 0) {
            WriteEmptyFlatGeobuf();
        } else if (options_.spatialIndex) {
            IndexFlatGeobuf();
        }
    }
    if (failed_) {
        Abandon();
        return false;
    }
    trap_.reset();
    return true;
}

namespace {

int StopRequested(double, const char*, void* stop) {
    return static_cast<const std::stop_token*>(stop)->stop_requested() ? FALSE : TRUE;
}

}  // namespace

// GDAL writes a streamed layer's header with its first feature: a layer without features is
// made anew as an indexed one (whose index of nothing takes no memory), so that the file holds
// its fields and reads back.
bool MapLayerWriter::WriteEmptyFlatGeobuf() {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(DriverName(options_.format));
    const int errorsBefore = trap_->Errors();
    streamFlatGeobuf_ = false;
    std::error_code error;
    std::filesystem::remove(layerFile_->WorkPath(), error);
    if (driver == nullptr || error || !CreateDataset(*driver, *layerFile_, nullptr, dataset_) ||
        !CreateSamplesLayer(*dataset_, kSamplesLayer))
        return Fail("The output cannot be finished.");
    CloseDatasets();
    if (trap_->Errors() > errorsBefore) return Fail("The output cannot be finished.");
    return true;
}

// GDAL builds a FlatGeobuf index in memory, so the streamed layer is copied into an indexed
// one only when its features are few enough; the copy then replaces it in the work folder.
bool MapLayerWriter::IndexFlatGeobuf() {
    if (points_ > options_.spatialIndexAtMost) {
        unindexed_ = true;
        return true;
    }
    const std::string& streamed = layerFile_->WorkPath();
    const std::string indexed = layerFile_->WorkFolder() + "/indexed.fgb";
    GDALDatasetUniquePtr source(
        GDALDataset::Open(streamed.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    if (!source) return Fail("The output cannot be finished.");
    const std::string temporary = "TEMPORARY_DIR=" + layerFile_->WorkFolder();
    const char* arguments[] = {"-f",   "FlatGeobuf",        "-nln", kSamplesLayer,
                               "-lco", "SPATIAL_INDEX=YES", "-lco", temporary.c_str(),
                               nullptr};
    GDALVectorTranslateOptions* translate =
        GDALVectorTranslateOptionsNew(const_cast<char**>(arguments), nullptr);
    if (translate == nullptr) return Fail("The output cannot be finished.");
    GDALVectorTranslateOptionsSetProgress(translate, StopRequested, &stop_);
    GDALDatasetH sources[] = {GDALDataset::ToHandle(source.get())};
    const int errorsBefore = trap_->Errors();
    GDALDatasetH copy =
        GDALVectorTranslate(indexed.c_str(), nullptr, 1, sources, translate, nullptr);
    GDALVectorTranslateOptionsFree(translate);
    source.reset();
    if (copy != nullptr) {
        // Sorting the features and writing the index: no way to interrupt it but to end the
        // process.
        AbandonableStep step({layerFile_->WorkFolder()});
        GDALClose(copy);
    }
    if (stop_.stop_requested()) {
        stopped_ = true;
        return Fail("The output cannot be finished.");
    }
    if (copy == nullptr || trap_->Errors() > errorsBefore)
        return Fail("The output cannot be finished.");
    std::error_code error;
    std::filesystem::rename(indexed, streamed, error);
    if (error) return Fail("The output cannot be finished.");
    return true;
}

std::string UnindexedText(std::int64_t files) {
    std::string text;
    if (files == 1) {
        text = "The FlatGeobuf file has no spatial index";
    } else {
        AppendInt(text, files);
        text += " FlatGeobuf files have no spatial index";
    }
    text += ": with more than ";
    AppendInt(text, kFlatGeobufIndexedAtMost);
    text +=
        " features, GDAL would need more memory to build one than a conversion may take "
        "(a few hundred bytes a feature).";
    return text;
}

void MapLayerWriter::Abandon() {
    if (kml_) {
        // The document's stream is the set's: discarded with it.
        kml_->Abandon();
        kml_.reset();
        return;
    }
    // GDAL finishes a file when its dataset closes (FlatGeobuf sorts its features and builds
    // the index, GeoPackage commits and builds its R-tree): the transaction is rolled back, the
    // dataset told not to, and its work files go first, so that what is left of the closing
    // fails at once.
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
}

}  // namespace varistrum
