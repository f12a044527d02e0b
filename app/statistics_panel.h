// SPDX-License-Identifier: GPL-3.0-or-later
// The level statistics beside the map.
#pragma once

#include <QWidget>

#include "geodata/level_ramp.h"
#include "map/level_statistics.h"

namespace varistrum {

class TStatisticsPanel : public QWidget {
    Q_OBJECT
  public:
    explicit TStatisticsPanel(QWidget* parent = nullptr);
    void SetSummary(LevelSummary summary, const LevelRamp& ramp);
    const LevelSummary& Summary() const { return summary_; }
    // Figures by area below the shares of points (empty: none).
    void SetAreaLines(std::vector<std::string> lines);
    const std::vector<std::string>& AreaLines() const { return areaLines_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    LevelSummary summary_;
    LevelRamp ramp_;
    std::vector<std::string> areaLines_;
};

}  // namespace varistrum
