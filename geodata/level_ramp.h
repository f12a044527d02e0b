// SPDX-License-Identifier: GPL-3.0-or-later
// The colours of signal levels: six stepped bands shared by the map view and the KML export.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varistrum {

struct RgbColour {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const RgbColour&, const RgbColour&) = default;
};

// Five increasing bounds split the levels into six bands, weakest first. A band holds its
// lower bound (-90 dBm is in "-90 to -80"); colours step, they are never blended.
class LevelRamp {
  public:
    static constexpr int kBounds = 5;
    static constexpr int kBands = kBounds + 1;
    using Bounds = std::array<double, kBounds>;

    LevelRamp() = default;  // -110, -100, -90, -80, -70 dBm
    // Bounds must be finite and strictly increasing.
    static std::optional<LevelRamp> FromBounds(const Bounds& bounds);
    // "a,b,c,d,e" in dBm; nullopt (with a message for the user) when the text is not five
    // increasing numbers.
    static std::optional<LevelRamp> Parse(std::string_view text, std::string* error = nullptr);

    const Bounds& Thresholds() const { return bounds_; }
    // 0 (weakest) to 5 (strongest).
    int BandOf(double dbm) const;
    RgbColour ColourOf(double dbm) const { return BandColour(BandOf(dbm)); }
    static RgbColour BandColour(int band);
    // "#rrggbb".
    static std::string HexText(RgbColour colour);
    // The band's range for a legend: "below -110 dBm", "-110 to -100 dBm", "-70 dBm and above".
    std::string BandLabel(int band) const;
    // The thresholds as the command line takes them: "-110,-100,-90,-80,-70".
    std::string Text() const;

  private:
    explicit LevelRamp(const Bounds& bounds) : bounds_(bounds) {}
    Bounds bounds_{-110.0, -100.0, -90.0, -80.0, -70.0};
};

}  // namespace varistrum
