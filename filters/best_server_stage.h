// SPDX-License-Identifier: GPL-3.0-or-later
// Best server: a list row writes its strongest channel; a table row writes the strongest
// channel of the sweep that ended in its record, and a record in which no sweep ended writes
// nothing.
#pragma once

#include "filters/row_stage.h"

namespace varistrum {

class BestServerStage : public RowStage {
  public:
    bool Pass(OutputRow& row) override;
};

// The strongest slot of a list row that has a channel (levels above -150 dBm; the lower slot on
// a tie); slot 0 when none has.
int BestListSlot(const OutputRow& row);

}  // namespace varistrum
