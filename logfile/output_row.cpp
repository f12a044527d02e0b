// SPDX-License-Identifier: GPL-3.0-or-later
// Frequencies of a row's slots.
#include "logfile/output_row.h"

#include <algorithm>

namespace varistrum {

double OutputRow::SlotFrequencyMHz(int j) const {
    const auto slot = static_cast<std::size_t>(std::max(j, 0));
    if (dataMode == DataKind::Table) {
        if (tableChannels.empty()) return 0.0;
        const std::size_t at = std::min(slot, tableChannels.size() - 1);
        return plan.CodeToMHz(plan.CodeOfChannel(tableChannels[at]));
    }
    if (channelCodes.empty()) return 0.0;
    return plan.CodeToMHz(channelCodes[std::min(slot, channelCodes.size() - 1)]);
}

}  // namespace varistrum
