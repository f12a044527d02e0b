// SPDX-License-Identifier: GPL-3.0-or-later
// The residual layer read back through GDAL, its bands, and what a failed write leaves.
#include "calibration/residual_layer.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <filesystem>

#include "export/gdal_support.h"
#include "tests/calibration/synthetic_drive.h"

namespace varistrum {
namespace {

TEST(ResidualLayer, BandsSplitAtFiveDecibelSteps) {
    const std::pair<double, int> cases[] = {{-25.0, 0},  {-10.0, 1}, {-5.01, 1}, {-5.0, 2},
                                            {-0.001, 2}, {0.0, 3},   {4.99, 3},  {5.0, 4},
                                            {10.0, 5},   {40.0, 5}};
    for (const auto& [residual, band] : cases) EXPECT_EQ(ResidualBand(residual), band) << residual;
    EXPECT_EQ(ResidualBandLabel(0), "below -10 dB");
    EXPECT_EQ(ResidualBandLabel(2), "-5 to 0 dB");
    EXPECT_EQ(ResidualBandLabel(5), "10 dB and above");
    // More signal than predicted is green, less red: the map's strongest and weakest colours.
    EXPECT_EQ(ResidualBandColour(0), LevelRamp::BandColour(5));
    EXPECT_EQ(ResidualBandColour(5), LevelRamp::BandColour(0));
}

CalibrationResult SmallCalibration() {
    SiteRow site = test::MakeSite("North", 900.2, 43.0);
    CalibrationCollector collector({"sites.csv", {site}}, {});
    collector.BeginLog("drive.klf", {});
    test::Gaussian gauss(4);
    for (const LocalMean& m :
         test::RadialDrive(site, 50.0, 2000.0, 25.0, 7, [&](double d, std::size_t) {
             return 120.0 + 35.0 * std::log10(d / 1000.0) + 8.0 * gauss();
         }))
        collector.Add(m);
    return collector.Finish();
}

TEST(ResidualLayer, OnePointPerFittedLocalMeanWithItsStyle) {
    const CalibrationResult result = SmallCalibration();
    const CalibrationFit& fit = result.fits.front();
    ASSERT_FALSE(fit.pooled);
    test::ScratchDir dir;
    const std::string path = dir.File("residuals.gpkg");
    ASSERT_EQ(WriteResidualLayer(result, path), "");
    // Nothing of the writing is left beside it.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"residuals.gpkg"});

    RegisterGdalDrivers();
    GDALDatasetUniquePtr dataset(
        GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr));
    ASSERT_TRUE(dataset);
    OGRLayer* layer = dataset->GetLayerByName("residuals");
    ASSERT_NE(layer, nullptr);
    // The pooled fit of the one-channel site is not written again.
    ASSERT_EQ(layer->GetFeatureCount(), fit.points);
    std::size_t k = 0;
    for (const auto& feature : *layer) {
        const CalibrationPoint& p = result.points[fit.pointIndices[k]];
        const double residual = fit.logDistance->residuals[k];
        EXPECT_DOUBLE_EQ(feature->GetFieldAsDouble("distance_m"), p.distanceM);
        EXPECT_DOUBLE_EQ(feature->GetFieldAsDouble("path_loss_db"), p.pathLossDb);
        EXPECT_NEAR(feature->GetFieldAsDouble("predicted_db"),
                    fit.logDistance->intercepts[0] +
                        fit.logDistance->slope * std::log10(p.distanceM / 1000.0),
                    1e-9);
        EXPECT_DOUBLE_EQ(feature->GetFieldAsDouble("residual_db"), residual);
        EXPECT_EQ(std::string(feature->GetFieldAsString("residual_band")),
                  ResidualBandLabel(ResidualBand(residual)));
        EXPECT_STREQ(feature->GetFieldAsString("site"), "North");
        EXPECT_STREQ(feature->GetFieldAsString("log"), "drive.klf");
        const OGRPoint* point = feature->GetGeometryRef()->toPoint();
        EXPECT_DOUBLE_EQ(point->getY(), p.latitude);
        EXPECT_DOUBLE_EQ(point->getX(), p.longitude);
        ++k;
    }
    OGRLayer* styles = dataset->GetLayerByName("layer_styles");
    ASSERT_NE(styles, nullptr);
    ASSERT_EQ(styles->GetFeatureCount(), 1);
    const auto style = OGRFeatureUniquePtr(styles->GetNextFeature());
    EXPECT_STREQ(style->GetFieldAsString("f_table_name"), "residuals");
    const std::string qml = style->GetFieldAsString("styleQML");
    EXPECT_NE(qml.find("attr=\"residual_band\""), std::string::npos);
    EXPECT_NE(qml.find("value=\"10 dB and above\""), std::string::npos);
}

TEST(ResidualLayer, AFailedWriteLeavesNothing) {
    const CalibrationResult result = SmallCalibration();
    test::ScratchDir dir;
    const std::string path = dir.File("no-such-folder/residuals.gpkg");
    const std::string error = WriteResidualLayer(result, path);
    EXPECT_EQ(error.rfind(path + ": the residual layer cannot be created", 0), 0u) << error;
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace varistrum
