// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration plot: path loss against distance on a log axis with the fitted line and the
// Hata model as it stands and tuned, and a histogram of the fit's residuals beside it.
#pragma once

#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QRect>
#include <string>

#include "calibration/calibration.h"

namespace varistrum {

// The colours of the plot's marks.
inline constexpr QRgb kPlotPointColour = 0xff8ca5cd;  // the local means
inline constexpr QRgb kPlotFitColour = 0xffc81e1e;    // the log-distance fit
inline constexpr QRgb kPlotHataColour = 0xff00823c;   // Hata as it stands
inline constexpr QRgb kPlotTunedColour = 0xfff5b464;  // Hata tuned (drawn under the fit)

// Where things go in a plot of `size`: the chart's frame and value ranges, and the histogram's.
class CalibrationPlotFrame {
  public:
    CalibrationPlotFrame(const CalibrationResult& result, const CalibrationFit& fit, QSize size);

    QRect Chart() const { return chart_; }
    QRect Histogram() const { return histogram_; }
    QRect Legend() const { return legend_; }
    // The pixel of a distance (m) and a path loss (dB) in the chart.
    QPointF ToPixel(double distanceM, double pathLossDb) const;
    double MinLogKm() const { return minLog_; }
    double MaxLogKm() const { return maxLog_; }
    double MinDb() const { return minDb_; }
    double MaxDb() const { return maxDb_; }

  private:
    QRect chart_, histogram_, legend_;
    double minLog_ = -1.0, maxLog_ = 1.0, minDb_ = 60.0, maxDb_ = 180.0;
};

// Draws the plot of one fit (a site and channel, or a site pooled) into `area`.
void DrawCalibrationPlot(QPainter& painter, const QRect& area, const CalibrationResult& result,
                         const CalibrationFit& fit);
QImage RenderCalibrationPlot(const CalibrationResult& result, const CalibrationFit& fit,
                             QSize size);

// The plot as the bytes of a PNG file, titled with the fit's site; false with the reason. Without
// an application object (the command line) it makes one on the offscreen platform.
bool EncodeCalibrationPlot(const CalibrationResult& result, const CalibrationFit& fit, int width,
                           int height, std::string& png, std::string& reason);

// Renders and writes the plot as PNG through the one output writer, titled with the fit's site;
// false with the system's reason (and no file) when it cannot be written. Without an application
// object (the command line) it makes one on the offscreen platform.
bool WriteCalibrationPlot(const CalibrationResult& result, const CalibrationFit& fit, int width,
                          int height, const std::string& path, std::string& reason);

}  // namespace varistrum
