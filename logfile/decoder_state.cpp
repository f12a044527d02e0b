// SPDX-License-Identifier: GPL-3.0-or-later
// Table look-ups of the decoder state.
#include "logfile/decoder_state.h"

#include <algorithm>

namespace varistrum {

namespace {
std::size_t TableSlot(int slot) {
    return static_cast<std::size_t>(std::clamp(slot, 0, kChannelTableSize - 1));
}
}  // namespace

std::uint32_t DecoderState::ChannelValue(int receiver, int slot) const {
    return receiver == 1 ? channelValuesB[TableSlot(slot)] : channelValuesA[TableSlot(slot)];
}

std::uint16_t DecoderState::ChannelNumber(int slot) const {
    return channelNumbers[TableSlot(slot)];
}

int DecoderState::BestListSlot() const {
    int best = -1;
    for (int j = 0; j < 10; ++j) {
        const int rssi = levels[static_cast<std::size_t>(j)];
        if (ChannelValue(SelectedReceiver, j) == 0 || rssi <= -150) continue;
        if (best < 0 || rssi > levels[static_cast<std::size_t>(best)]) best = j;
    }
    return best < 0 ? 0 : best;
}

}  // namespace varistrum
