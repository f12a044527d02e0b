// SPDX-License-Identifier: GPL-3.0-or-later
// The level statistics beside the map: histogram, cumulative distribution with percentiles,
// counts and shares at or above the thresholds.
#pragma once

#include <QPainter>
#include <QRect>

#include "geodata/level_ramp.h"
#include "map/level_statistics.h"

namespace varistrum {

void DrawStatistics(QPainter& painter, const QRect& area, const LevelSummary& summary,
                    const LevelRamp& ramp);

}  // namespace varistrum
