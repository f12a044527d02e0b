// SPDX-License-Identifier: GPL-3.0-or-later
// The raster and GeoPackage writers: what they refuse, what a failure leaves, the style chosen
// for the first band, and the times in the layer.
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <filesystem>

#include "bins/bin_files.h"
#include "bins/coverage_geopackage.h"
#include "bins/coverage_raster.h"
#include "export/gdal_support.h"
#include "support/test_files.h"

namespace varistrum {
namespace {

using test::TempDir;

Binning SmallDrive() {
    Binner binner;
    for (int i = 0; i < 50; ++i) {
        BinSample s;
        s.latitude = 52.5 + i * 0.0001;
        s.longitude = 13.4;
        s.channel = 1 + i % 2;
        s.frequencyMHz = 851.0 + s.channel;
        s.levelDbm = -90 + i % 13;
        s.time = 1700000000 + i;
        s.timeKnown = true;
        s.timeIsGps = true;
        binner.Add(s);
    }
    return *binner.Finish();
}

std::vector<std::string> FolderEntries(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(BinOutputs, FailuresLeaveNoFileAndKeepAnEarlierOne) {
    TempDir dir;
    const Binning drive = SmallDrive();
    std::string error;
    // A folder of the output's name is refused.
    std::filesystem::create_directory(dir.File("cov.tif"));
    EXPECT_FALSE(WriteCoverageRaster(dir.File("cov.tif"), drive, {}, &error));
    EXPECT_NE(error.find("needs a regular file"), std::string::npos) << error;
    // So is a folder of the style's name, before the raster is written; and a link as the style
    // (a file named after the output) is not followed.
    std::filesystem::create_directory(dir.File("s.qml"));
    EXPECT_FALSE(WriteCoverageRaster(dir.File("s.tif"), drive, {}, &error));
    EXPECT_NE(error.find("s.qml"), std::string::npos) << error;
    std::filesystem::remove(dir.File("s.qml"));
    std::filesystem::create_symlink(dir.File("elsewhere.txt"), dir.File("s.qml"));
    EXPECT_FALSE(WriteCoverageRaster(dir.File("s.tif"), drive, {}, &error));
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    std::filesystem::remove(dir.File("s.qml"));
    // A channel the drive lacks: an earlier file stays as it was.
    test::WriteFile(dir.File("old.gpkg"), std::string("earlier"));
    EXPECT_FALSE(WriteCoverageGeoPackage(dir.File("old.gpkg"), drive,
                                         {ChannelChoice::Channel(3), {}}, &error));
    EXPECT_EQ(test::ReadFile(dir.File("old.gpkg")), "earlier");
    // A folder that does not exist.
    EXPECT_FALSE(WriteCoverageRaster(dir.File("none/cov.tif"), drive, {}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"cov.tif", "old.gpkg"}));
    // An empty drive says why.
    Binner nothing;
    EXPECT_FALSE(WriteCoverageRaster(dir.File("e.tif"), *nothing.Finish(), {}, &error));
    EXPECT_NE(error.find("no cell to write"), std::string::npos) << error;
}

TEST(BinOutputs, StyleOfTheFirstBandAndNoTemporariesLeft) {
    TempDir dir;
    const Binning drive = SmallDrive();
    std::string error;
    CoverageRasterRequest counts;
    counts.statistics = {BinStatistic::Count, BinStatistic::LinearMean};
    ASSERT_TRUE(WriteCoverageRaster(dir.File("n.tif"), drive, counts, &error)) << error;
    EXPECT_NE(test::ReadFile(dir.File("n.qml")).find("INTERPOLATED"), std::string::npos);
    CoverageRasterRequest levels;
    levels.statistics = {BinStatistic::Median};
    levels.ramp = *LevelRamp::Parse("-100,-95,-90,-85,-80");
    ASSERT_TRUE(WriteCoverageRaster(dir.File("m.tif"), drive, levels, &error)) << error;
    const std::string qml = test::ReadFile(dir.File("m.qml"));
    EXPECT_NE(qml.find("DISCRETE"), std::string::npos);
    EXPECT_NE(qml.find("label=\"-85 to -80 dBm\""), std::string::npos);
    EXPECT_NE(qml.find("\r\n"), std::string::npos);
    EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"m.qml", "m.tif", "n.qml", "n.tif"}));
}

TEST(BinOutputs, GeoPackageHoldsTimesAndTheChosenChannel) {
    TempDir dir;
    const Binning drive = SmallDrive();
    std::string error;
    ASSERT_TRUE(
        WriteCoverageGeoPackage(dir.File("c.gpkg"), drive, {ChannelChoice::Channel(2), {}}, &error))
        << error;
    RegisterGdalDrivers();
    GDALDatasetUniquePtr dataset(GDALDataset::Open(dir.File("c.gpkg").c_str(), GDAL_OF_VECTOR));
    ASSERT_TRUE(dataset);
    OGRLayer* layer = dataset->GetLayerByName(kBinsLayer);
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->GetSpatialRef()->GetEPSGGeogCS(), 4326);
    EXPECT_STREQ(layer->GetSpatialRef()->GetAuthorityCode(nullptr), "32633");
    std::size_t features = 0;
    for (auto& feature : *layer) {
        ++features;
        EXPECT_EQ(feature->GetFieldAsInteger("channel"), 2);
        const std::string first = feature->GetFieldAsString("first_time");
        EXPECT_EQ(first.size(), 20u);
        EXPECT_EQ(first.back(), 'Z');
    }
    std::size_t cells = 0;
    drive.ForEachSelected(*drive.Select(ChannelChoice::Channel(2)),
                          [&](CellIndex, int, const CellChannelStatistics&) { ++cells; });
    EXPECT_EQ(features, cells);
}

}  // namespace
}  // namespace varistrum
