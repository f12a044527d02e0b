// SPDX-License-Identifier: GPL-3.0-or-later
// The statistics panel's drawing.
#include "mapdraw/statistics_chart.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainterPath>
#include <algorithm>

namespace varistrum {

namespace {

const QColor kText(30, 30, 30);
const QColor kAxis(120, 120, 120);
const QColor kCurve(40, 40, 160);

QColor QColourOf(RgbColour colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

void DrawTextLine(QPainter& painter, int left, int& y, int width, const std::string& text) {
    const int height = painter.fontMetrics().height();
    painter.drawText(QRect(left, y, width, height), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(text));
    y += height + 2;
}

void DrawChart(QPainter& painter, const QRect& chart, const LevelSummary& summary,
               const LevelRamp& ramp) {
    painter.setPen(kAxis);
    painter.drawRect(chart.adjusted(0, 0, -1, -1));
    const auto bins = static_cast<int>(summary.bins.size());
    if (bins == 0) return;
    const std::int64_t tallest = *std::max_element(summary.bins.begin(), summary.bins.end());
    const double binWidth = static_cast<double>(chart.width()) / bins;
    const auto xOfDbm = [&](double dbm) {
        return chart.left() + (dbm - summary.firstBinDbm) * binWidth;
    };
    for (int i = 0; i < bins; ++i) {
        const double height = static_cast<double>(summary.bins[static_cast<std::size_t>(i)]) /
                              static_cast<double>(tallest) * (chart.height() - 2);
        const QRectF bar(chart.left() + i * binWidth, chart.bottom() - height,
                         std::max(binWidth - 1.0, 1.0), height);
        painter.fillRect(bar, QColourOf(ramp.ColourOf(summary.firstBinDbm + i)));
    }
    // The cumulative distribution over the bars, from 0 at the bottom to 1 at the top.
    QPainterPath curve;
    curve.moveTo(chart.left(), chart.bottom());
    for (int i = 0; i < bins; ++i) {
        const double share = static_cast<double>(summary.cumulative[static_cast<std::size_t>(i)]) /
                             static_cast<double>(summary.points);
        curve.lineTo(chart.left() + (i + 1) * binWidth,
                     chart.bottom() - share * (chart.height() - 2));
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(kCurve, 1.5));
    painter.drawPath(curve);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(kText, 1.0, Qt::DashLine));
    const std::pair<const char*, std::int16_t> marks[] = {
        {"P10", summary.p10}, {"P50", summary.p50}, {"P90", summary.p90}};
    for (const auto& [name, deci] : marks) {
        const double x = xOfDbm(deci / 10.0);
        painter.drawLine(QPointF(x, chart.top()), QPointF(x, chart.bottom()));
        painter.drawText(QPointF(x + 2, chart.top() + painter.fontMetrics().ascent() + 1), name);
    }
    painter.setPen(kText);
    const int axisY = chart.bottom() + painter.fontMetrics().ascent() + 3;
    painter.drawText(QPointF(chart.left(), axisY), QString::number(summary.firstBinDbm));
    const QString last = QString::number(summary.firstBinDbm + bins) + " dBm";
    painter.drawText(QPointF(chart.right() - painter.fontMetrics().horizontalAdvance(last), axisY),
                     last);
}

}  // namespace

void DrawStatistics(QPainter& painter, const QRect& area, const LevelSummary& summary,
                    const LevelRamp& ramp, const std::vector<std::string>& areaLines) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(12);
    painter.setFont(font);
    painter.fillRect(area, Qt::white);
    painter.setPen(kText);
    const int margin = 8, left = area.left() + margin, width = area.width() - 2 * margin;
    int y = area.top() + margin;
    DrawTextLine(painter, left, y, width, summary.CountLine());
    const int lineHeight = painter.fontMetrics().height() + 2;
    // The figures by area at the bottom, in the order given.
    const int areaHeight =
        areaLines.empty() ? 0 : lineHeight * static_cast<int>(areaLines.size()) + margin;
    if (!areaLines.empty()) {
        int areaY = area.bottom() - areaHeight + margin / 2;
        for (const std::string& line : areaLines) DrawTextLine(painter, left, areaY, width, line);
    }
    if (summary.points == 0) return;
    DrawTextLine(painter, left, y, width, summary.PercentileLine());
    y += 4;
    const int sharesHeight = lineHeight * LevelRamp::kBounds + margin + areaHeight;
    const int axisHeight = lineHeight + 4;
    const QRect chart(left, y, width,
                      std::max(area.bottom() - y - sharesHeight - axisHeight - margin, 40));
    DrawChart(painter, chart, summary, ramp);
    painter.setPen(kText);
    y = chart.bottom() + axisHeight + 4;
    const std::vector<std::string> shares = summary.ShareLines();
    for (auto line = shares.rbegin(); line != shares.rend(); ++line)
        DrawTextLine(painter, left, y, width, *line);
}

}  // namespace varistrum
