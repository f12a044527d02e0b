// SPDX-License-Identifier: GPL-3.0-or-later
// The cells into a tiled, sparse GeoTIFF beside the output, tile by tile, then GDAL's COG
// driver copies it into the output (overviews, tile order, compression).
#include "bins/coverage_raster.h"

#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>

#include "base/resource_error.h"
#include "bins/bin_files.h"
#include "bins/bin_styles.h"
#include "export/gdal_support.h"

namespace varistrum {

namespace {

constexpr int kTile = 256;
// GDAL's block cache while a raster is written (by default it may grow to a twentieth of the
// machine's memory).
constexpr GIntBig kRasterCacheBytes = 2 << 20;

struct BandInfo {
    std::string description;
    std::string unit;
    std::string statistic;
};

struct RasterShape {
    const BinGrid* grid = nullptr;
    std::vector<BandInfo> bands;
    std::string channel;  // the CHANNEL metadata of every band
    // Fills one value per band for a cell.
    std::function<void(CellIndex, double*)> values;
};

std::string MetresText(double metres) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, metres);
    return std::string(text, result.ptr);
}

bool Failed(std::string* error, const GdalErrorTrap& trap, const std::string& fallback) {
    *error = trap.LastError().empty() ? fallback : trap.LastError();
    return false;
}

// Writes the cells into `target` as a COG, through a tiled GeoTIFF `source` beside it; `firstBand`
// gets the lowest and highest value of band 1.
bool WriteCells(const std::string& target, const std::string& source, std::vector<CellIndex>& cells,
                const RasterShape& shape, std::pair<double, double>* firstBand,
                std::string* error) {
    RegisterGdalDrivers();
    GdalErrorTrap trap;
    const GdalCacheLimit cache(kRasterCacheBytes);
    const BinGrid& grid = *shape.grid;
    std::int32_t minX = cells.front().x, maxX = minX, minY = cells.front().y, maxY = minY;
    for (const CellIndex c : cells) {
        minX = std::min(minX, c.x);
        maxX = std::max(maxX, c.x);
        minY = std::min(minY, c.y);
        maxY = std::max(maxY, c.y);
    }
    const std::int64_t width = std::int64_t{maxX} - minX + 1;
    const std::int64_t height = std::int64_t{maxY} - minY + 1;
    if (width * height > kMaxRasterCells) {
        *error = "the drive spans " + std::to_string(width) + " x " + std::to_string(height) +
                 " cells of " + MetresText(grid.cellMetres) +
                 " m, more than a raster of this program holds (" +
                 std::to_string(kMaxRasterCells) +
                 " cells); choose a larger cell or write a GeoPackage";
        return false;
    }
    GDALDriver* gtiff = GetGDALDriverManager()->GetDriverByName("GTiff");
    GDALDriver* cog = GetGDALDriverManager()->GetDriverByName("COG");
    if (gtiff == nullptr || cog == nullptr) {
        *error = "GDAL lacks its GeoTIFF or COG driver";
        return false;
    }
    const int bandCount = static_cast<int>(shape.bands.size());
    CPLStringList sourceOptions;
    sourceOptions.SetNameValue("TILED", "YES");
    sourceOptions.SetNameValue("BLOCKXSIZE", std::to_string(kTile).c_str());
    sourceOptions.SetNameValue("BLOCKYSIZE", std::to_string(kTile).c_str());
    sourceOptions.SetNameValue("INTERLEAVE", "BAND");
    sourceOptions.SetNameValue("SPARSE_OK", "TRUE");
    sourceOptions.SetNameValue("COMPRESS", "DEFLATE");
    sourceOptions.SetNameValue("ZLEVEL", "1");
    sourceOptions.SetNameValue("BIGTIFF", "IF_SAFER");
    GDALDatasetUniquePtr dataset(gtiff->Create(source.c_str(), static_cast<int>(width),
                                               static_cast<int>(height), bandCount, GDT_Float32,
                                               sourceOptions.List()));
    if (!dataset) return Failed(error, trap, "the raster cannot be created");
    double transform[6] = {
        minX * grid.cellMetres, grid.cellMetres, 0.0, (maxY + 1.0) * grid.cellMetres, 0.0,
        -grid.cellMetres};
    dataset->SetGeoTransform(transform);
    OGRSpatialReference srs;
    srs.importFromEPSG(grid.zone.Epsg());
    dataset->SetSpatialRef(&srs);
    dataset->SetMetadataItem("CELL_SIZE_M", MetresText(grid.cellMetres).c_str());
    dataset->SetMetadataItem("UTM_ZONE", grid.zone.Name().c_str());
    for (int b = 0; b < bandCount; ++b) {
        GDALRasterBand* band = dataset->GetRasterBand(b + 1);
        const BandInfo& info = shape.bands[static_cast<std::size_t>(b)];
        band->SetNoDataValue(kRasterNoData);
        band->SetDescription(info.description.c_str());
        band->SetUnitType(info.unit.c_str());
        band->SetMetadataItem("STATISTIC", info.statistic.c_str());
        band->SetMetadataItem("CHANNEL", shape.channel.c_str());
    }

    // The overviews (zoomed-out views), halving until one tile holds the raster: made here from
    // the cells, as GDAL's own would take memory in proportion to the raster's width.
    std::vector<int> factors;
    for (std::int64_t factor = 2; std::max(width, height) * 2 / factor > kTile; factor *= 2)
        factors.push_back(static_cast<int>(factor));
    if (!factors.empty() &&
        dataset->BuildOverviews("NONE", static_cast<int>(factors.size()), factors.data(), 0,
                                nullptr, nullptr, nullptr, nullptr) != CE_None)
        return Failed(error, trap, "the raster's overviews cannot be made");

    // Level 0 is the raster itself; level i > 0 the overview of factor 2^i, each pixel of which
    // shows the mean of the driven cells it covers.
    std::vector<float> sums(static_cast<std::size_t>(bandCount) * kTile * kTile);
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(kTile) * kTile);
    std::vector<float> tile(static_cast<std::size_t>(kTile) * kTile);
    std::vector<double> values(static_cast<std::size_t>(bandCount));
    double lowest = std::numeric_limits<double>::infinity(), highest = -lowest;
    for (std::size_t level = 0; level <= factors.size(); ++level) {
        const std::int64_t factor = level == 0 ? 1 : factors[level - 1];
        const auto pixelOf = [&](CellIndex c) {
            return std::pair<std::int64_t, std::int64_t>((std::int64_t{maxY} - c.y) / factor,
                                                         (std::int64_t{c.x} - minX) / factor);
        };
        const auto tileOf = [&](CellIndex c) {
            const auto [row, column] = pixelOf(c);
            return std::pair<std::int64_t, std::int64_t>(row / kTile, column / kTile);
        };
        std::sort(cells.begin(), cells.end(),
                  [&](CellIndex a, CellIndex b) { return tileOf(a) < tileOf(b); });
        for (std::size_t first = 0; first < cells.size();) {
            const auto where = tileOf(cells[first]);
            std::fill(sums.begin(), sums.end(), 0.0f);
            std::fill(counts.begin(), counts.end(), 0u);
            std::size_t next = first;
            for (; next < cells.size() && tileOf(cells[next]) == where; ++next) {
                const auto [row, column] = pixelOf(cells[next]);
                const std::size_t at =
                    static_cast<std::size_t>((row % kTile) * kTile + column % kTile);
                shape.values(cells[next], values.data());
                for (int b = 0; b < bandCount; ++b)
                    sums[static_cast<std::size_t>(b) * kTile * kTile + at] +=
                        static_cast<float>(values[static_cast<std::size_t>(b)]);
                ++counts[at];
                if (level == 0) {
                    lowest = std::min(lowest, values[0]);
                    highest = std::max(highest, values[0]);
                }
            }
            for (int b = 0; b < bandCount; ++b) {
                for (std::size_t at = 0; at < tile.size(); ++at)
                    tile[at] = counts[at] == 0
                                   ? static_cast<float>(kRasterNoData)
                                   : sums[static_cast<std::size_t>(b) * kTile * kTile + at] /
                                         static_cast<float>(counts[at]);
                GDALRasterBand* band = dataset->GetRasterBand(b + 1);
                if (level > 0) band = band->GetOverview(static_cast<int>(level) - 1);
                if (band == nullptr ||
                    band->WriteBlock(static_cast<int>(where.second), static_cast<int>(where.first),
                                     tile.data()) != CE_None)
                    return Failed(error, trap, "the raster cannot be written");
            }
            first = next;
        }
    }
    *firstBand = {lowest, highest};
    dataset->FlushCache(false);
    if (trap.Errors() > 0) return Failed(error, trap, "the raster cannot be written");

    CPLStringList options;
    options.SetNameValue("COMPRESS", "DEFLATE");
    options.SetNameValue("PREDICTOR", "YES");
    options.SetNameValue("BLOCKSIZE", std::to_string(kTile).c_str());
    options.SetNameValue("OVERVIEWS", "FORCE_USE_EXISTING");
    options.SetNameValue("SPARSE_OK", "TRUE");  // tiles without a driven cell take no room
    options.SetNameValue("BIGTIFF", "IF_SAFER");
    GDALDatasetUniquePtr copy(
        cog->CreateCopy(target.c_str(), dataset.get(), FALSE, options.List(), nullptr, nullptr));
    if (!copy || trap.Errors() > 0) return Failed(error, trap, "the raster cannot be written");
    copy.reset();
    dataset.reset();
    if (trap.Errors() > 0) return Failed(error, trap, "the raster cannot be written");
    return true;
}

// The raster in its work folder (with the tiled source it is copied from) and its style; the
// set puts both in place.
bool WriteRasterAndStyle(OutputSet& files, const CoverageFiles& added,
                         std::vector<CellIndex>& cells, const RasterShape& shape,
                         const std::function<std::string(double, double)>& style,
                         std::string* error) {
    try {
        StagedFile* raster = files.WorkFile(added.main);
        if (raster == nullptr) {
            *error = "'" + files.FailedPath() + "': " + files.FailureReason();
            return false;
        }
        const std::string source = raster->WorkFolder() + "/source.tif";
        struct RemoveSource {
            const std::string& path;
            ~RemoveSource() { std::remove(path.c_str()); }
        } removeSource{source};
        std::pair<double, double> range;
        if (!WriteCells(raster->WorkPath(), source, cells, shape, &range, error)) return false;
        return !added.style ||
               WriteStyleText(files, *added.style, style(range.first, range.second), error);
    } catch (const std::bad_alloc&) {
        *error = kNotEnoughMemory;
        return false;
    }
}

}  // namespace

bool WriteCoverageRaster(OutputSet& files, const CoverageFiles& added, const Binning& binning,
                         const CoverageRasterRequest& request, std::string* error) {
    if (binning.Empty()) {
        *error = "no cell to write: " + binning.WhyEmpty();
        return false;
    }
    if (request.statistics.empty()) {
        *error = "no statistic to write";
        return false;
    }
    const auto selection = binning.Select(request.channel, error);
    if (!selection) return false;
    std::vector<CellIndex> cells;
    try {
        binning.ForEachSelected(*selection, [&](CellIndex cell, int, const CellChannelStatistics&) {
            cells.push_back(cell);
        });
    } catch (const std::bad_alloc&) {
        *error = kNotEnoughMemory;
        return false;
    }
    RasterShape shape;
    shape.grid = &binning.Grid();
    const std::string channel = binning.SelectionName(*selection);
    shape.channel = selection->strongest
                        ? "strongest"
                        : std::to_string(binning.Channels()[selection->channel].channel);
    for (const BinStatistic statistic : request.statistics)
        shape.bands.push_back({std::string(StatisticName(statistic)) + ", " + channel,
                               std::string(StatisticUnit(statistic)),
                               std::string(StatisticName(statistic))});
    shape.values = [&](CellIndex cell, double* values) {
        const auto statistics = binning.FindSelected(cell, *selection);
        for (std::size_t i = 0; i < request.statistics.size(); ++i)
            values[i] = StatisticValue(*statistics, request.statistics[i]);
    };
    const bool level = IsLevelStatistic(request.statistics.front());
    return WriteRasterAndStyle(
        files, added, cells, shape,
        [&](double lowest, double highest) {
            return level ? LevelRasterStyle(request.ramp) : GradientRasterStyle(lowest, highest);
        },
        error);
}

bool WriteDifferenceRaster(OutputSet& files, const CoverageFiles& added,
                           const BinComparison& comparison, std::string* error) {
    std::vector<CellIndex> cells;
    try {
        comparison.ForEachCell([&](const DifferenceCell& d) { cells.push_back(d.cell); });
    } catch (const std::bad_alloc&) {
        *error = kNotEnoughMemory;
        return false;
    }
    if (cells.empty()) {
        *error = "no cell to write: the drives cover no cell in common";
        return false;
    }
    RasterShape shape;
    shape.grid = &comparison.Grid();
    const std::string channel = comparison.ChannelText();
    shape.channel = channel;
    shape.bands = {{"difference B - A (linear means), " + channel, "dB", "difference"},
                   {"count A, " + channel, "", "count-a"},
                   {"count B, " + channel, "", "count-b"}};
    shape.values = [&](CellIndex cell, double* values) {
        const auto d = comparison.Find(cell);
        values[0] = d->differenceDb;
        values[1] = static_cast<double>(d->countA);
        values[2] = static_cast<double>(d->countB);
    };
    return WriteRasterAndStyle(
        files, added, cells, shape, [](double, double) { return DifferenceRasterStyle(); }, error);
}

bool WriteCoverageRaster(const std::string& path, const Binning& binning,
                         const CoverageRasterRequest& request, std::string* error) {
    return WriteCoverageFilesAt(
        path, CoverageFormat::Raster,
        [&](OutputSet& files, const CoverageFiles& added, std::string* problem) {
            return WriteCoverageRaster(files, added, binning, request, problem);
        },
        error);
}

bool WriteDifferenceRaster(const std::string& path, const BinComparison& comparison,
                           std::string* error) {
    return WriteCoverageFilesAt(
        path, CoverageFormat::Raster,
        [&](OutputSet& files, const CoverageFiles& added, std::string* problem) {
            return WriteDifferenceRaster(files, added, comparison, problem);
        },
        error);
}

}  // namespace varistrum
