// SPDX-License-Identifier: GPL-3.0-or-later
// Reduction to the best server.
#include "filters/best_server_stage.h"

namespace varistrum {

int BestListSlot(const OutputRow& row) {
    int best = -1;
    for (int j = 0; j < 10; ++j) {
        const int rssi = row.LevelAt(j);
        if (row.CodeAt(j) == 0 || rssi <= -150) continue;
        if (best < 0 || rssi > row.LevelAt(best)) best = j;
    }
    return best < 0 ? 0 : best;
}

bool BestServerStage::Pass(OutputRow& row) {
    switch (row.dataMode) {
        case DataKind::List:
            row.bestSlot = BestListSlot(row);
            return true;
        case DataKind::Table:
            row.bestTableEntry = true;
            return row.sweepEnded;
        default:
            return true;  // single-frequency samples: every point stays
    }
}

}  // namespace varistrum
