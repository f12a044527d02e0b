// SPDX-License-Identifier: GPL-3.0-or-later
// The channels a map shows, with their frequencies; entry 0 is the strongest channel of a row.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace varistrum {

struct MapChannel {
    int channel = 0;
    double frequencyMHz = 0.0;
};

class MapChannels {
  public:
    static constexpr std::uint16_t kStrongest = 0;
    // Channels beyond this many share the last entry's slot: the chooser stays usable.
    static constexpr std::size_t kMaxChannels = 65535;

    MapChannels();
    // The entry of a channel at a frequency, added when new.
    std::uint16_t IdOf(int channel, double frequencyMHz);
    std::size_t Size() const { return entries_.size(); }
    const MapChannel& Entry(std::uint16_t id) const { return entries_[id]; }
    // "Strongest channel" or "Channel 12 (869.3875 MHz)".
    std::string Label(std::uint16_t id) const;
    // The ids in the chooser's order: the strongest first, then by channel and frequency.
    std::vector<std::uint16_t> ChooserOrder() const;

  private:
    std::vector<MapChannel> entries_;
    std::map<std::pair<int, double>, std::uint16_t> ids_;
};

// "869.375", "800.15": a frequency in its shortest exact text.
std::string FrequencyText(double frequencyMHz);

}  // namespace varistrum
