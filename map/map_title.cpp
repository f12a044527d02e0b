// SPDX-License-Identifier: GPL-3.0-or-later
// The saved map picture's title line.
#include "map/map_title.h"

#include <algorithm>
#include <vector>

#include "base/number_format.h"

namespace varistrum {

namespace {

constexpr std::size_t kNamedRanges = 12;

std::string ScansText(const MapData& data) {
    std::vector<int> numbers;
    for (const MapScan& scan : data.scans) numbers.push_back(scan.number);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    if (numbers.empty()) return "no scans";
    std::string text = numbers.size() == 1 ? "scan " : "scans ";
    std::size_t ranges = 0;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
        if (ranges == kNamedRanges) {
            text += ", ... (";
            AppendInt(text, static_cast<std::int64_t>(numbers.size()));
            return text + " scans)";
        }
        if (ranges > 0) text += ", ";
        AppendInt(text, numbers[i]);
        if (j > i) {
            text += '-';
            AppendInt(text, numbers[j]);
        }
        ++ranges;
        i = j + 1;
    }
    return text;
}

}  // namespace

std::string MapTitle(const std::string& logName, const MapData& data, std::uint16_t channel,
                     const ConversionSettings& settings) {
    std::string title = logName + " | " + ScansText(data) + " | " + data.channels.Label(channel);
    switch (settings.averageType) {
        case kAverageLambda:
            title += settings.averageLinearPower ? " | 40-lambda averaging (mW)"
                                                 : " | 40-lambda averaging (dBm)";
            break;
        case kAverageBestServer:
            title += " | best server";
            break;
        default:
            title += " | no averaging";
            break;
    }
    title += settings.receivers.Selected() == 0 ? " | receiver 1" : " | receiver 2";
    if (settings.dropOutages) {
        title += " | GPS outages of ";
        AppendInt(title, settings.outageSeconds);
        title += " s or more dropped";
    }
    if (settings.dropStandingStill) {
        title += " | standing still dropped (";
        title += ShortestText(settings.standStill.distance);
        switch (settings.standStill.unit) {
            case DistanceUnit::Degrees:
                title += " deg, ";
                break;
            case DistanceUnit::Minutes:
                title += " min, ";
                break;
            default:
                title += " m, ";
                break;
        }
        AppendInt(title, settings.standStill.seconds);
        title += " s)";
    }
    if (settings.threshold) title += " | " + settings.thresholdRule.Text();
    return title;
}

}  // namespace varistrum
