// SPDX-License-Identifier: GPL-3.0-or-later
// The point under the cursor.
#include "map/map_query.h"

#include "base/number_format.h"
#include "map/time_code.h"

namespace varistrum {

std::optional<std::size_t> NearestPoint(const MapData& data, std::uint16_t group,
                                        const MapViewport& view, ScreenPoint at, double radius) {
    const ChannelPoints& points = data.points.Group(group);
    std::optional<std::size_t> nearest;
    double best = radius * radius;
    for (std::size_t i = 0; i < points.Size(); ++i) {
        const ScreenPoint p = view.ToScreen({points.x[i] * kFixedStep, points.y[i] * kFixedStep});
        const double d = (p.x - at.x) * (p.x - at.x) + (p.y - at.y) * (p.y - at.y);
        if (d <= best) {
            best = d;
            nearest = i;
        }
    }
    return nearest;
}

std::string PointDescription(const MapData& data, std::uint16_t group, std::size_t index) {
    const ChannelPoints& points = data.points.Group(group);
    if (index >= points.Size()) return {};
    std::string text = "Scan ";
    const std::uint16_t scan = points.scan[index];
    AppendInt(text, scan < data.scans.size() ? data.scans[scan].number : 0);
    const std::string time = UnpackTime(points.time[index]);
    text += "\nTime " + (time.empty() ? std::string("(none)") : time);
    const MapChannel& channel = data.channels.Entry(points.channel[index]);
    text += "\nChannel ";
    AppendInt(text, channel.channel);
    text += "\nFrequency " + FrequencyText(channel.frequencyMHz) + " MHz";
    text += "\nLevel ";
    AppendFixed(text, points.levelCentiDbm[index] / 100.0, 2);
    text += " dBm\nSamples ";
    AppendInt(text, points.samples[index]);
    return text;
}

std::string PositionText(GeoPosition position) {
    std::string text = "lat ";
    AppendFixed(text, position.latitude, 6);
    text += ", lon ";
    AppendFixed(text, position.longitude, 6);
    return text;
}

}  // namespace varistrum
