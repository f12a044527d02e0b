// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the samples and route layers into a GeoPackage, GeoJSON, FlatGeobuf or CSV file
// through GDAL's vector library, into work files of the output's set, or as a KML document
// into the set's stream.
#pragma once

#include <gdal_priv.h>
#include <ogr_feature.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "base/output_target.h"
#include "convert/job_runner.h"
#include "export/kml_document.h"
#include "export/map_format.h"
#include "geodata/level_ramp.h"
#include "geodata/sample_layer.h"

namespace varistrum {

class GdalErrorTrap;
class OutputSet;
class StagedFile;

// Features of a FlatGeobuf file indexed at most: GDAL's index of them stays within the memory
// a conversion may use.
inline constexpr std::int64_t kFlatGeobufIndexedAtMost = 100000;

struct MapExportOptions {
    MapFormat format = MapFormat::GeoPackage;
    LevelRamp ramp;
    // Stored in a GeoPackage's dataset metadata when not empty (the conversion's provenance).
    std::string metadataJson;
    // When set: asked once every feature is written (with their count and how the last input's
    // pass went) for the metadata text that replaces metadataJson, so that it can hold the
    // run's counts.
    std::function<std::string(std::int64_t features, const FilePass& pass)> metadataAtEnd;
    // The metadata text is also written beside the layer, as its provenance record
    // (ProvenancePathOf), put in place with it.
    bool provenanceRecord = false;
    // Every feature carries the name of the log it came from (several logs in one file).
    bool sourceFileField = false;
    // FlatGeobuf: a spatial index. GDAL holds it in memory until the file closes (a few hundred
    // bytes a feature), so the layer is written as a stream in little memory and indexed
    // afterwards when it holds at most `spatialIndexAtMost` features; a larger one keeps none
    // (Unindexed()).
    bool spatialIndex = true;
    std::int64_t spatialIndexAtMost = kFlatGeobufIndexedAtMost;
    // KML: a coloured track (the default) or a placemark per point, of the channel shown (the
    // strongest of each row when none is chosen). The points form stops at the point after its
    // limit and leaves no file.
    KmlForm kmlForm = KmlForm::Track;
    std::optional<int> kmlChannel;
    std::int64_t kmlPointLimit = 100000;
};

// "The FlatGeobuf file has no spatial index: ..." for files left without one.
std::string UnindexedText(std::int64_t files);

// What a map layer file is, for the rules of where it may be written ("a GeoPackage").
const OutputKind& LayerOutputKind(MapFormat format);

// A map layer file and its side files (GeoJSON's route file, the provenance record), as they
// are registered in the output's set: first the layer, then the route file.
struct MapLayerFiles {
    std::size_t layer = 0;
    std::optional<std::size_t> route;
    std::optional<std::size_t> record;
};
MapLayerFiles AddMapLayerFiles(OutputSet& files, const std::string& path,
                               const MapExportOptions& options);

// The datasets are created by GDAL in work files of an output set (private folders beside the
// outputs) and made complete by Finish; the set then puts them in place. A failure, a stop
// request or a writer destroyed unfinished abandons them: nothing of them stays. One writer
// is used on one thread.
class MapLayerWriter : public SampleLayerConsumer {
  public:
    static constexpr std::int64_t kFeaturesPerTransaction = 20000;

    explicit MapLayerWriter(MapExportOptions options, std::stop_token stop = {});
    ~MapLayerWriter() override;
    MapLayerWriter(const MapLayerWriter&) = delete;
    MapLayerWriter& operator=(const MapLayerWriter&) = delete;

    // Creates the datasets in the set's work files; false with Error() when it cannot.
    bool Open(OutputSet& files, const MapLayerFiles& layerFiles);
    // The `source_file` value of the features that follow.
    void SetSourceFile(std::string name);

    void BeginScan(int scan, ScanKind kind) override;
    void AcceptPoint(const SamplePoint& point) override;
    void AcceptRoute(const RouteLine& route) override;
    bool Failed() const override { return failed_; }

    // Finishes the datasets (the KML's last folders, the metadata, the closing of every file) so
    // that the set can put them in place; false with Error() when that fails or a stop was
    // requested meanwhile (everything is abandoned then).
    bool Finish();
    // The GeoPackage's metadata text, stored by Finish (other formats have no metadata).
    void SetMetadata(std::string json) { options_.metadataJson = std::move(json); }
    // Drops the datasets without letting GDAL finish them (no spatial index is built) and
    // removes their work files.
    void Abandon();

    // GDAL's message of the failure, or ours when GDAL gave none.
    const std::string& Error() const { return error_; }
    // The stop request ended the export (between two features).
    bool Stopped() const { return stopped_; }
    // The KML's points form reached its limit; Error() says so, to follow the output's name.
    bool LimitReached() const { return limitReached_; }
    std::int64_t Points() const { return points_; }
    // The FlatGeobuf file was asked for with a spatial index but holds too many features for one.
    bool Unindexed() const { return unindexed_; }

  private:
    bool Fail(const std::string& fallback);
    const char* CText(std::string_view text);
    bool CreateDataset(GDALDriver& driver, StagedFile& file, char** creation,
                       GDALDatasetUniquePtr& dataset);
    bool CreateSamplesLayer(GDALDataset& dataset, const std::string& name);
    bool CreateRouteLayer(GDALDataset& dataset, const std::string& name);
    bool OpenKml(OutputSet& files, const MapLayerFiles& layerFiles);
    void SetTime(int field, const CivilTime& time, std::string_view text);
    bool NextTransaction();
    void CloseDatasets();
    bool IndexFlatGeobuf();
    bool WriteEmptyFlatGeobuf();

    MapExportOptions options_;
    std::stop_token stop_;
    std::unique_ptr<GdalErrorTrap> trap_;
    OutputSet* files_ = nullptr;
    StagedFile* layerFile_ = nullptr;
    StagedFile* routeFile_ = nullptr;
    GDALDatasetUniquePtr dataset_, routeDataset_;
    OGRLayer* samples_ = nullptr;
    OGRLayer* route_ = nullptr;
    OGRFeatureUniquePtr point_, line_;  // reused from feature to feature
    std::unique_ptr<KmlDocument> kml_;  // a KML is written by our own writer
    std::string sourceFile_;
    std::string scratch_;
    std::string error_;
    bool failed_ = false;
    bool stopped_ = false;
    bool limitReached_ = false;
    bool unindexed_ = false;
    bool streamFlatGeobuf_ = true;  // its layer is created without a spatial index
    bool inTransaction_ = false;
    std::int64_t points_ = 0;
    std::int64_t sinceCommit_ = 0;
};

}  // namespace varistrum
