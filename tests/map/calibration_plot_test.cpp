// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration plot drawn offscreen: the fitted line, Hata as it stands and tuned, the points
// and the histogram where the frame puts them, and a PNG written.
#include "mapdraw/calibration_plot.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <filesystem>

#include "calibration/residual_layer.h"
#include "tests/calibration/synthetic_drive.h"

namespace varistrum {
namespace {

// A site whose drive reads 15 dB more loss than Hata urban predicts, with 6 dB of noise.
CalibrationResult Drive() {
    const SiteRow site = test::MakeSite("North", 900.2, 43.0, 30.0);
    const auto hata = HataTermsFor(900.2, 30.0, 1.5, HataEnvironment::Urban);
    CalibrationCollector collector({"sites.csv", {site}}, {});
    collector.BeginLog("drive.klf", {});
    test::Gaussian gauss(8);
    for (const LocalMean& m : test::RadialDrive(
             site, 200.0, 12000.0, 13.0, 7,
             [&](double d, std::size_t) { return hata->PathLossDb(d) + 15.0 + 6.0 * gauss(); }))
        collector.Add(m);
    return collector.Finish();
}

QPoint PixelOf(const QPointF& at) {
    return {static_cast<int>(std::floor(at.x())), static_cast<int>(std::floor(at.y()))};
}

// Whether `colour` shows within `radius` pixels of `at`.
bool ColourNear(const QImage& image, const QPoint& at, QRgb colour, int radius) {
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (image.pixel(at.x() + dx, at.y() + dy) == colour) return true;
    return false;
}

TEST(CalibrationPlot, LinesPointsAndHistogramWhereTheFramePutsThem) {
    const CalibrationResult result = Drive();
    const CalibrationFit& fit = result.fits.front();
    ASSERT_TRUE(fit.logDistance && fit.hata);
    const QSize size(1000, 600);
    const QImage image = RenderCalibrationPlot(result, fit, size);
    const CalibrationPlotFrame frame(result, fit, size);
    const double a = fit.logDistance->intercepts[0], b = fit.logDistance->slope;
    const auto line = [&](double metres) { return a + b * std::log10(metres / 1000.0); };

    // The fit on top, at several distances; the tuned model (here the same line, drawn wider
    // beneath it) shows beside it.
    for (const double metres : {400.0, 1500.0, 6000.0}) {
        const QPoint on = PixelOf(frame.ToPixel(metres, line(metres)));
        EXPECT_EQ(image.pixel(on), kPlotFitColour) << metres;
        EXPECT_TRUE(ColourNear(image, on + QPoint(0, 3), kPlotTunedColour, 0) ||
                    ColourNear(image, on - QPoint(0, 3), kPlotTunedColour, 0))
            << metres;
    }
    // Hata as it stands lies 15 dB under the fit: its dashed line shows there, not the fit.
    const auto terms = HataTermsFor(900.2, 30.0, 1.5, HataEnvironment::Urban);
    for (const double metres : {800.0, 3000.0}) {
        const QPoint at = PixelOf(frame.ToPixel(metres, terms->PathLossDb(metres)));
        EXPECT_TRUE(ColourNear(image, at, kPlotHataColour, 4)) << metres;
        EXPECT_FALSE(ColourNear(image, at, kPlotFitColour, 4)) << metres;
    }
    // A local mean far off the lines: a point.
    std::size_t farthestOff = 0;
    double largest = 0.0;
    for (std::size_t k = 0; k < fit.pointIndices.size(); ++k)
        if (std::fabs(fit.logDistance->residuals[k]) > largest) {
            largest = std::fabs(fit.logDistance->residuals[k]);
            farthestOff = k;
        }
    const CalibrationPoint& p = result.points[fit.pointIndices[farthestOff]];
    EXPECT_EQ(image.pixel(PixelOf(frame.ToPixel(p.distanceM, p.pathLossDb))), kPlotPointColour);
    // The histogram beside the chart: along its base the residual bands' colours, the most
    // negative residuals (green) on the left, the most positive (red) on the right.
    const QRect histogram = frame.Histogram();
    EXPECT_GT(histogram.left(), frame.Chart().right());
    const auto bandOf = [](QRgb pixel) {
        for (int band = 0; band < kResidualBands; ++band) {
            const RgbColour c = ResidualBandColour(band);
            if (pixel == qRgb(c.red, c.green, c.blue)) return band;
        }
        return -1;
    };
    std::vector<int> bands;
    for (int x = histogram.left(); x <= histogram.right(); ++x)
        if (const int band = bandOf(image.pixel(x, histogram.bottom() - 3)); band >= 0)
            bands.push_back(band);
    EXPECT_GT(bands.size(), static_cast<std::size_t>(histogram.width() / 2));
    ASSERT_FALSE(bands.empty());
    EXPECT_EQ(bands.front(), 0);  // residuals reach below -10 dB
    EXPECT_EQ(bands.back(), kResidualBands - 1);
    EXPECT_TRUE(std::is_sorted(bands.begin(), bands.end()));
    // Axis ranges hold every point.
    EXPECT_LE(frame.MinLogKm(), std::log10(0.2));
    EXPECT_GE(frame.MaxLogKm(), std::log10(12.0));
}

TEST(CalibrationPlot, WrittenAsPng) {
    const CalibrationResult result = Drive();
    const std::string path =
        (std::filesystem::temp_directory_path() / "varistrum-calibration-plot.png").string();
    std::string reason;
    ASSERT_TRUE(WriteCalibrationPlot(result, result.fits.front(), 640, 400, path, reason));
    const QImage read(QString::fromStdString(path));
    std::filesystem::remove(path);
    EXPECT_EQ(read.size(), QSize(640, 400));
    EXPECT_FALSE(WriteCalibrationPlot(result, result.fits.front(), 640, 400,
                                      "/nonexistent-folder/plot.png", reason));
    EXPECT_FALSE(reason.empty());
}

}  // namespace
}  // namespace varistrum
