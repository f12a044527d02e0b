// SPDX-License-Identifier: GPL-3.0-or-later
// The channel list of a map.
#include "map/map_channels.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/number_format.h"

namespace varistrum {

MapChannels::MapChannels() {
    entries_.push_back({});  // the strongest channel
}

std::uint16_t MapChannels::IdOf(int channel, double frequencyMHz) {
    if (std::isnan(frequencyMHz)) frequencyMHz = 0.0;  // NaN would break the map's order
    const auto key = std::make_pair(channel, frequencyMHz);
    if (const auto found = ids_.find(key); found != ids_.end()) return found->second;
    if (entries_.size() >= kMaxChannels) return static_cast<std::uint16_t>(entries_.size() - 1);
    const auto id = static_cast<std::uint16_t>(entries_.size());
    entries_.push_back({channel, frequencyMHz});
    ids_.emplace(key, id);
    return id;
}

std::string MapChannels::Label(std::uint16_t id) const {
    if (id == kStrongest) return "Strongest channel";
    const MapChannel& entry = entries_[id];
    std::string text = "Channel ";
    AppendInt(text, entry.channel);
    text += " (" + FrequencyText(entry.frequencyMHz) + " MHz)";
    return text;
}

std::vector<std::uint16_t> MapChannels::ChooserOrder() const {
    std::vector<std::uint16_t> order;
    for (const auto& [key, id] : ids_) order.push_back(id);
    order.insert(order.begin(), kStrongest);
    return order;
}

std::string FrequencyText(double frequencyMHz) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, frequencyMHz);
    return std::string(text, result.ptr);
}

}  // namespace varistrum
