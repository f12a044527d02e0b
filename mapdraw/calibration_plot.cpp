// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing the calibration plot.
#include "mapdraw/calibration_plot.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "base/number_format.h"
#include "calibration/residual_layer.h"
#include "mapdraw/map_picture_file.h"

namespace varistrum {

namespace {

const QColor kText(30, 30, 30);
const QColor kAxis(120, 120, 120);
const QColor kGrid(225, 225, 225);
constexpr int kMargin = 8, kTitleHeight = 22, kLeftLabels = 58, kBottomLabels = 38;
constexpr int kLegendLine = 16;

QString Text(double value, int precision) {
    std::string out;
    AppendFixed(out, value, precision);
    return QString::fromStdString(out);
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

double LogKm(double distanceM) {
    return std::log10(distanceM / 1000.0);
}

// "200 m", "1 km", "20 km".
QString DistanceLabel(double km) {
    if (km < 1.0) return Text(km * 1000.0, 0) + " m";
    return Text(km, km < 10.0 && km != std::floor(km) ? 1 : 0) + " km";
}

// The lines a fit draws: per intercept the fitted line, Hata as it stands and Hata tuned
// (value = constant + slope * log10(d / 1 km)).
struct PlotLine {
    double constant = 0.0, slope = 0.0;
    QRgb colour = 0;
};

std::vector<PlotLine> LinesOf(const CalibrationResult& result, const CalibrationFit& fit) {
    std::vector<PlotLine> lines;
    if (fit.hata) {
        const CalibrationOptions& o = result.options;
        for (std::size_t g = 0; g < fit.rows.size(); ++g) {
            const SiteRow& row = result.sites.rows[fit.rows[g]];
            const auto terms =
                HataTermsFor(fit.frequenciesMHz[g], row.antennaHeightM, o.rxHeightM, o.environment);
            if (!terms) continue;
            lines.push_back(
                {terms->constant + terms->other, terms->distanceSlope, kPlotHataColour});
            if (fit.hata->k1Db && fit.hata->k2DbPerDecade)
                lines.push_back(
                    {*fit.hata->k1Db + terms->other, *fit.hata->k2DbPerDecade, kPlotTunedColour});
        }
    }
    if (fit.logDistance)
        for (const double a : fit.logDistance->intercepts)
            lines.push_back({a, fit.logDistance->slope, kPlotFitColour});
    return lines;
}

void DrawLegend(QPainter& painter, const QRect& area, const CalibrationFit& fit) {
    struct Entry {
        QRgb colour;
        QString text;
        int width;
    };
    std::vector<Entry> entries{
        {kPlotPointColour, "local means (" + Text(static_cast<double>(fit.points), 0) + ")", 4}};
    if (fit.logDistance) entries.push_back({kPlotFitColour, "log-distance fit", 3});
    if (fit.hata) {
        entries.push_back({kPlotHataColour, "Hata as it stands", 2});
        if (fit.hata->k1Db) entries.push_back({kPlotTunedColour, "Hata tuned", 6});
    }
    int y = area.top();
    for (const Entry& e : entries) {
        const int middle = y + kLegendLine / 2;
        painter.fillRect(QRect(area.left(), middle - e.width / 2, 22, e.width), QColor(e.colour));
        painter.setPen(kText);
        painter.drawText(QRect(area.left() + 28, y, area.width() - 28, kLegendLine),
                         Qt::AlignLeft | Qt::AlignVCenter, e.text);
        y += kLegendLine;
    }
}

void DrawHistogram(QPainter& painter, const QRect& area, const CalibrationFit& fit) {
    painter.setPen(kAxis);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    if (!fit.logDistance || fit.logDistance->residuals.empty()) return;
    const std::vector<double>& residuals = fit.logDistance->residuals;
    const auto [low, high] = std::minmax_element(residuals.begin(), residuals.end());
    // 1 dB bins, 2 dB when the residuals spread over more than 60 dB, within -60..60 dB.
    const double width = *high - *low > 60.0 ? 2.0 : 1.0;
    const double first = std::max(std::floor(*low / width) * width, -60.0);
    const double last = std::min(std::ceil(*high / width) * width, 60.0);
    const int bins = std::max(1, static_cast<int>(std::lround((last - first) / width)));
    std::vector<std::int64_t> counts(static_cast<std::size_t>(bins), 0);
    for (const double r : residuals) {
        const int bin = static_cast<int>(std::floor((r - first) / width));
        ++counts[static_cast<std::size_t>(std::clamp(bin, 0, bins - 1))];
    }
    const std::int64_t tallest = *std::max_element(counts.begin(), counts.end());
    const QRect inside = area.adjusted(1, 1, -2, -2);
    const double barWidth = static_cast<double>(inside.width()) / bins;
    for (int i = 0; i < bins; ++i) {
        const double height = static_cast<double>(counts[static_cast<std::size_t>(i)]) /
                              static_cast<double>(tallest) * inside.height();
        const RgbColour c = ResidualBandColour(ResidualBand(first + (i + 0.5) * width));
        painter.fillRect(QRectF(inside.left() + i * barWidth, inside.bottom() + 1 - height,
                                std::max(barWidth - 1.0, 1.0), height),
                         QColor(c.red, c.green, c.blue));
    }
    if (first < 0.0 && last > 0.0) {
        const double x = inside.left() + (0.0 - first) / (last - first) * inside.width();
        painter.setPen(QPen(kText, 1.0, Qt::DashLine));
        painter.drawLine(QPointF(x, inside.top()), QPointF(x, inside.bottom()));
    }
    painter.setPen(kText);
    const QFontMetrics metrics = painter.fontMetrics();
    const int y = area.bottom() + metrics.ascent() + 4;
    painter.drawText(QPointF(area.left(), y), Text(first, 0));
    const QString right = Text(last, 0);
    painter.drawText(QPointF(area.right() - metrics.horizontalAdvance(right), y), right);
    painter.drawText(QRect(area.left(), y + 2, area.width(), metrics.height()),
                     Qt::AlignHCenter | Qt::AlignTop, "residual (dB)");
}

}  // namespace

CalibrationPlotFrame::CalibrationPlotFrame(const CalibrationResult& result,
                                           const CalibrationFit& fit, QSize size) {
    const int right = std::max(170, size.width() * 28 / 100);
    chart_ = QRect(
        QPoint(kMargin + kLeftLabels, kMargin + kTitleHeight + 6),
        QPoint(std::max(size.width() - kMargin - right - 18, kMargin + kLeftLabels + 40),
               std::max(size.height() - kMargin - kBottomLabels, kMargin + kTitleHeight + 46)));
    legend_ = QRect(chart_.right() + 18, chart_.top(), right, 4 * kLegendLine);
    histogram_ = QRect(QPoint(legend_.left(), legend_.bottom() + 16),
                       QPoint(legend_.right(), chart_.bottom()));

    double nearest = std::numeric_limits<double>::infinity(), farthest = -nearest;
    double lowest = nearest, highest = -nearest;
    for (const std::uint32_t i : fit.pointIndices) {
        const CalibrationPoint& p = result.points[i];
        nearest = std::min(nearest, LogKm(p.distanceM));
        farthest = std::max(farthest, LogKm(p.distanceM));
        lowest = std::min(lowest, p.pathLossDb);
        highest = std::max(highest, p.pathLossDb);
    }
    if (!std::isfinite(nearest)) return;
    const double pad = std::max(0.05, 0.05 * (farthest - nearest));
    minLog_ = nearest - pad;
    maxLog_ = farthest + pad;
    for (const PlotLine& line : LinesOf(result, fit)) {
        for (const double x : {minLog_, maxLog_}) {
            lowest = std::min(lowest, line.constant + line.slope * x);
            highest = std::max(highest, line.constant + line.slope * x);
        }
    }
    minDb_ = std::floor((lowest - 2.0) / 10.0) * 10.0;
    maxDb_ = std::ceil((highest + 2.0) / 10.0) * 10.0;
}

QPointF CalibrationPlotFrame::ToPixel(double distanceM, double pathLossDb) const {
    const double x = (LogKm(distanceM) - minLog_) / (maxLog_ - minLog_);
    const double y = (pathLossDb - minDb_) / (maxDb_ - minDb_);
    return {chart_.left() + x * (chart_.width() - 1), chart_.bottom() - y * (chart_.height() - 1)};
}

void DrawCalibrationPlot(QPainter& painter, const QRect& area, const CalibrationResult& result,
                         const CalibrationFit& fit) {
    painter.save();
    painter.translate(area.topLeft());
    const CalibrationPlotFrame frame(result, fit, area.size());
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(QPoint(0, 0), area.size()), Qt::white);
    const QFontMetrics metrics = painter.fontMetrics();

    // Title: the fit.
    std::string title = fit.site;
    if (!fit.pooled && !fit.frequenciesMHz.empty()) {
        std::string mhz;
        AppendFixed(mhz, fit.frequenciesMHz.front(), 3);
        title += ", " + mhz + " MHz";
    } else {
        title += ", pooled";
    }
    if (fit.logDistance) {
        std::string figures;
        AppendFixed(figures, fit.logDistance->slope, 1);
        title += ": B = " + figures + " dB/decade, RMS ";
        figures.clear();
        AppendFixed(figures, fit.logDistance->errors.rms, 1);
        title += figures + " dB";
    }
    painter.setPen(kText);
    painter.drawText(QRect(kMargin, kMargin, area.width() - 2 * kMargin, kTitleHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, Text(title));

    // Grid and axes.
    const QRect chart = frame.Chart();
    const double dbStep = frame.MaxDb() - frame.MinDb() > 150.0 ? 20.0 : 10.0;
    for (double db = frame.MinDb(); db <= frame.MaxDb() + 1e-9; db += dbStep) {
        const double y = frame.ToPixel(1000.0, db).y();
        painter.setPen(kGrid);
        painter.drawLine(QPointF(chart.left(), y), QPointF(chart.right(), y));
        painter.setPen(kText);
        const QString label = Text(db, 0);
        painter.drawText(QPointF(chart.left() - 6 - metrics.horizontalAdvance(label),
                                 y + metrics.ascent() / 2.0 - 1),
                         label);
    }
    for (int decade = static_cast<int>(std::floor(frame.MinLogKm()));
         decade <= static_cast<int>(std::ceil(frame.MaxLogKm())); ++decade) {
        for (const double step : {1.0, 2.0, 5.0}) {
            const double km = step * std::pow(10.0, decade);
            const double log = std::log10(km);
            if (log < frame.MinLogKm() || log > frame.MaxLogKm()) continue;
            const double x = frame.ToPixel(km * 1000.0, frame.MinDb()).x();
            painter.setPen(step == 1.0 ? kAxis.lighter(150) : kGrid);
            painter.drawLine(QPointF(x, chart.top()), QPointF(x, chart.bottom()));
            painter.setPen(kText);
            const QString label = DistanceLabel(km);
            painter.drawText(QPointF(x - metrics.horizontalAdvance(label) / 2.0,
                                     chart.bottom() + metrics.ascent() + 4),
                             label);
        }
    }
    painter.setPen(kAxis);
    painter.drawRect(chart.adjusted(0, 0, -1, -1));
    painter.setPen(kText);
    painter.drawText(
        QRect(chart.left(), chart.bottom() + metrics.height() + 6, chart.width(), metrics.height()),
        Qt::AlignHCenter | Qt::AlignTop, "distance (log scale)");
    painter.save();
    painter.translate(kMargin + metrics.ascent(), chart.center().y());
    painter.rotate(-90.0);
    painter.drawText(
        QRect(-chart.height() / 2, -metrics.ascent(), chart.height(), metrics.height()),
        Qt::AlignHCenter | Qt::AlignTop, "path loss (dB)");
    painter.restore();

    // Points, then the lines: Hata as it stands, Hata tuned (wide, under the fit, which it
    // equals for one site and channel) and the fit on top.
    painter.setClipRect(chart.adjusted(1, 1, -1, -1));
    for (const std::uint32_t i : fit.pointIndices) {
        const CalibrationPoint& p = result.points[i];
        const QPointF at = frame.ToPixel(p.distanceM, p.pathLossDb);
        painter.fillRect(QRectF(at.x() - 1.0, at.y() - 1.0, 3.0, 3.0), QColor(kPlotPointColour));
    }
    const std::vector<PlotLine> lines = LinesOf(result, fit);
    const double farM = 1000.0 * std::pow(10.0, frame.MaxLogKm());
    const double nearM = 1000.0 * std::pow(10.0, frame.MinLogKm());
    for (const QRgb colour : {kPlotHataColour, kPlotTunedColour, kPlotFitColour}) {
        for (const PlotLine& line : lines) {
            if (line.colour != colour) continue;
            QPen pen(QColor(colour), colour == kPlotTunedColour ? 7.0
                                     : colour == kPlotFitColour ? 3.0
                                                                : 2.0);
            if (colour == kPlotHataColour) pen.setStyle(Qt::DashLine);
            pen.setCapStyle(Qt::FlatCap);
            painter.setPen(pen);
            painter.drawLine(frame.ToPixel(nearM, line.constant + line.slope * frame.MinLogKm()),
                             frame.ToPixel(farM, line.constant + line.slope * frame.MaxLogKm()));
        }
    }
    painter.setClipping(false);

    DrawLegend(painter, frame.Legend(), fit);
    DrawHistogram(painter, frame.Histogram(), fit);
    painter.restore();
}

QImage RenderCalibrationPlot(const CalibrationResult& result, const CalibrationFit& fit,
                             QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    DrawCalibrationPlot(painter, QRect(QPoint(0, 0), size), result, fit);
    painter.end();
    return image;
}

namespace {

// Drawing needs an application object: without one (the command line) one is made on the
// offscreen platform for the call.
template <class Draw>
bool WithApplication(Draw&& draw) {
    std::unique_ptr<QGuiApplication> application;
    static int argc = 1;
    static char name[] = "varistrum-cli";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    }
    return draw();
}

std::string PlotTitle(const CalibrationFit& fit) {
    return "Path loss of " + fit.site;
}

}  // namespace

bool EncodeCalibrationPlot(const CalibrationResult& result, const CalibrationFit& fit, int width,
                           int height, std::string& png, std::string& reason) {
    return WithApplication([&] {
        return EncodePng(RenderCalibrationPlot(result, fit, QSize(width, height)), PlotTitle(fit),
                         png, reason);
    });
}

bool WriteCalibrationPlot(const CalibrationResult& result, const CalibrationFit& fit, int width,
                          int height, const std::string& path, std::string& reason) {
    return WithApplication([&] {
        return WritePng(RenderCalibrationPlot(result, fit, QSize(width, height)), path,
                        PlotTitle(fit), reason);
    });
}

}  // namespace varistrum
