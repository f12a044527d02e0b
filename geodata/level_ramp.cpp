// SPDX-License-Identifier: GPL-3.0-or-later
// The stepped level colours and their thresholds.
#include "geodata/level_ramp.h"

#include <charconv>
#include <cmath>

namespace varistrum {
namespace {

constexpr std::array<RgbColour, LevelRamp::kBands> kColours = {{
    {0xa5, 0x00, 0x26},
    {0xf4, 0x6d, 0x43},
    {0xfd, 0xae, 0x61},
    {0xfe, 0xe0, 0x8b},
    {0xa6, 0xd9, 0x6a},
    {0x1a, 0x98, 0x50},
}};

// The shortest text that reads back as the same number: "-110", "-92.5".
std::string NumberText(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

}  // namespace

std::optional<LevelRamp> LevelRamp::FromBounds(const Bounds& bounds) {
    for (int i = 0; i < kBounds; ++i) {
        if (!std::isfinite(bounds[i])) return std::nullopt;
        if (i > 0 && !(bounds[i - 1] < bounds[i])) return std::nullopt;
    }
    return LevelRamp(bounds);
}

std::optional<LevelRamp> LevelRamp::Parse(std::string_view text, std::string* error) {
    Bounds bounds{};
    int count = 0;
    bool readable = true;
    while (readable) {
        const std::size_t comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
        if (item.size() > 1 && item[0] == '+' && item[1] != '-') item.remove_prefix(1);
        double value = 0.0;
        const auto result = std::from_chars(item.data(), item.data() + item.size(), value);
        if (item.empty() || result.ec != std::errc() || result.ptr != item.data() + item.size() ||
            count == kBounds) {
            readable = false;
            break;
        }
        bounds[count++] = value;
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    std::optional<LevelRamp> ramp;
    if (readable && count == kBounds) ramp = FromBounds(bounds);
    if (!ramp && error != nullptr) {
        *error = "give five increasing levels in dBm, such as -110,-100,-90,-80,-70";
    }
    return ramp;
}

int LevelRamp::BandOf(double dbm) const {
    int band = 0;
    while (band < kBounds && dbm >= bounds_[band]) ++band;
    return band;
}

RgbColour LevelRamp::BandColour(int band) {
    return kColours[static_cast<std::size_t>(band < 0 ? 0 : band >= kBands ? kBands - 1 : band)];
}

std::string LevelRamp::HexText(RgbColour colour) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "#";
    for (const std::uint8_t part : {colour.red, colour.green, colour.blue}) {
        text += kDigits[part >> 4];
        text += kDigits[part & 15];
    }
    return text;
}

std::string LevelRamp::BandLabel(int band) const {
    if (band <= 0) return "below " + NumberText(bounds_[0]) + " dBm";
    if (band >= kBounds) return NumberText(bounds_[kBounds - 1]) + " dBm and above";
    return NumberText(bounds_[band - 1]) + " to " + NumberText(bounds_[band]) + " dBm";
}

std::string LevelRamp::Text() const {
    std::string text;
    for (int i = 0; i < kBounds; ++i) {
        if (i > 0) text += ',';
        text += NumberText(bounds_[i]);
    }
    return text;
}

}  // namespace varistrum
