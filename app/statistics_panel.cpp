// SPDX-License-Identifier: GPL-3.0-or-later
// The statistics panel: the shared chart drawing in a widget.
#include "app/statistics_panel.h"

#include <QPainter>

#include "mapdraw/statistics_chart.h"

namespace varistrum {

TStatisticsPanel::TStatisticsPanel(QWidget* parent) : QWidget(parent) {
    setMinimumWidth(320);
}

void TStatisticsPanel::SetSummary(LevelSummary summary, const LevelRamp& ramp) {
    summary_ = std::move(summary);
    ramp_ = ramp;
    update();
}

void TStatisticsPanel::SetAreaLines(std::vector<std::string> lines) {
    areaLines_ = std::move(lines);
    update();
}

void TStatisticsPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawStatistics(painter, rect(), summary_, ramp_, areaLines_);
}

}  // namespace varistrum
