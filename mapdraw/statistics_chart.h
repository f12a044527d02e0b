// SPDX-License-Identifier: GPL-3.0-or-later
// The level statistics beside the map: histogram, cumulative distribution with percentiles,
// counts and shares at or above the thresholds.
#pragma once

#include <QPainter>
#include <QRect>
#include <string>
#include <vector>

#include "geodata/level_ramp.h"
#include "map/level_statistics.h"

namespace varistrum {

// `areaLines`: figures by area (shares of cells, a comparison's figures), below the shares of
// points.
void DrawStatistics(QPainter& painter, const QRect& area, const LevelSummary& summary,
                    const LevelRamp& ramp, const std::vector<std::string>& areaLines = {});

}  // namespace varistrum
