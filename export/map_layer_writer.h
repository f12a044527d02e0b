// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the samples and route layers into a GeoPackage, GeoJSON, FlatGeobuf or KML file
// through GDAL's vector library.
#pragma once

#include <gdal_priv.h>
#include <ogr_feature.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "export/map_format.h"
#include "geodata/level_ramp.h"
#include "geodata/sample_layer.h"

namespace varistrum {

class GdalErrorTrap;

struct MapExportOptions {
    MapFormat format = MapFormat::GeoPackage;
    LevelRamp ramp;
    // Stored in a GeoPackage's dataset metadata when not empty (the conversion's provenance).
    std::string metadataJson;
    // When set: asked once every feature is written (with their count and the data records
    // dropped in GPS outages) for the metadata text that replaces metadataJson, so that it can
    // hold the run's counts.
    std::function<std::string(std::int64_t features, std::int64_t droppedInOutages)> metadataAtEnd;
    // Every feature carries the name of the log it came from (several logs in one file).
    bool sourceFileField = false;
};

// The dataset is written under a temporary name beside the output and put in place by Commit;
// a failure, a cancel or a writer destroyed uncommitted removes what was written, so a
// half-written map layer never shows under the output name. One writer is used on one thread.
class MapLayerWriter : public SampleLayerConsumer {
  public:
    static constexpr std::int64_t kFeaturesPerTransaction = 20000;
    static constexpr std::int64_t kKmlPlacemarksWarning = 100000;

    explicit MapLayerWriter(MapExportOptions options);
    ~MapLayerWriter() override;
    MapLayerWriter(const MapLayerWriter&) = delete;
    MapLayerWriter& operator=(const MapLayerWriter&) = delete;

    // Creates the output (GeoJSON: also its route file); false with Error() when it cannot.
    bool Open(const std::string& path);
    // The `source_file` value of the features that follow.
    void SetSourceFile(std::string name) { sourceFile_ = std::move(name); }

    void BeginScan(int scan, ScanKind kind) override;
    void AcceptPoint(const SamplePoint& point) override;
    void AcceptRoute(const RouteLine& route) override;
    bool Failed() const override { return failed_; }

    // Finishes the file(s) and puts them in place; false with Error() when that fails (nothing
    // is left then).
    bool Commit();
    // The GeoPackage's metadata text, stored by Commit (other formats have no metadata).
    void SetMetadata(std::string json) { options_.metadataJson = std::move(json); }
    // Removes everything written.
    void Abandon();

    // GDAL's message of the failure, or ours when GDAL gave none.
    const std::string& Error() const { return error_; }
    std::int64_t Points() const { return points_; }
    // The files a committed export consists of.
    std::vector<std::string> OutputFiles() const;

  private:
    struct KeptRoute {
        int scan;
        ScanKind kind;
        std::string start, end;
        std::int64_t fixes;
        double lengthM;
        std::vector<GeoPosition> points;
    };

    bool Fail(const std::string& fallback);
    const char* CText(std::string_view text);
    bool CreateSamplesLayer(GDALDataset& dataset, const std::string& name);
    bool CreateRouteLayer(GDALDataset& dataset, const std::string& name);
    bool WriteRoute(const KeptRoute& route);
    bool NextTransaction();
    void CloseDatasets();
    void RemoveTemporaries();

    MapExportOptions options_;
    std::unique_ptr<GdalErrorTrap> trap_;
    std::string path_, routePath_;            // the outputs
    std::string temporary_, routeTemporary_;  // written meanwhile
    GDALDatasetUniquePtr dataset_, routeDataset_;
    OGRLayer* samples_ = nullptr;
    OGRLayer* route_ = nullptr;
    OGRFeatureUniquePtr point_, line_;  // reused from feature to feature
    std::vector<KeptRoute> kmlRoutes_;  // a KML's routes go into its last folder
    std::string sourceFile_;
    std::string scratch_;
    std::string error_;
    bool failed_ = false;
    bool inTransaction_ = false;
    std::int64_t points_ = 0;
    std::int64_t sinceCommit_ = 0;
};

}  // namespace varistrum
