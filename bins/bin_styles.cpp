// SPDX-License-Identifier: GPL-3.0-or-later
// QML documents written by hand: a raster pseudocolour renderer or a categorised polygon
// renderer whose classes come from an expression, so that class edges match ours exactly.
#include "bins/bin_styles.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "base/xml_text.h"
#include "export/layer_styles.h"

namespace varistrum {

namespace {

constexpr std::array<RgbColour, kDifferenceClasses> kDifferenceColours = {{
    {0xb2, 0x18, 0x2b},
    {0xef, 0x8a, 0x62},
    {0xfd, 0xdb, 0xc7},
    {0xff, 0xff, 0xff},
    {0xd1, 0xe5, 0xf0},
    {0x67, 0xa9, 0xcf},
    {0x21, 0x66, 0xac},
}};

// A discrete raster class takes the values up to and including its item's value; a class that
// starts at a bound (holds it) ends this far below the next bound.
constexpr double kBelowBound = 0.0001;

std::string Number(double value) {
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

struct RasterItem {
    double value;  // the class takes the values up to this one
    RgbColour colour;
    std::string label;
};

std::string RasterStyle(const char* type, const std::vector<RasterItem>& items, double minimum,
                        double maximum) {
    std::string qml = kQmlHead;
    qml += " <pipe>\n";
    qml +=
        "  <rasterrenderer type=\"singlebandpseudocolor\" band=\"1\" opacity=\"1\" "
        "alphaBand=\"-1\" nodataColor=\"\" classificationMin=\"" +
        Number(minimum) + "\" classificationMax=\"" + Number(maximum) + "\">\n";
    qml += "   <rasterTransparency/>\n";
    qml +=
        "   <minMaxOrigin>\n    <limits>None</limits>\n    <extent>WholeRaster</extent>\n"
        "    <statAccuracy>Estimated</statAccuracy>\n"
        "    <cumulativeCutLower>0.02</cumulativeCutLower>\n"
        "    <cumulativeCutUpper>0.98</cumulativeCutUpper>\n"
        "    <stdDevFactor>2</stdDevFactor>\n   </minMaxOrigin>\n";
    qml += "   <rastershader>\n    <colorrampshader colorRampType=\"" + std::string(type) +
           "\" classificationMode=\"1\" clip=\"0\" minimumValue=\"" + Number(minimum) +
           "\" maximumValue=\"" + Number(maximum) + "\">\n";
    for (const RasterItem& item : items) {
        qml += "     <item value=\"" + Number(item.value) + "\" color=\"" +
               LevelRamp::HexText(item.colour) + "\" alpha=\"255\" label=\"" +
               XmlEscaped(item.label) + "\"/>\n";
    }
    qml += "    </colorrampshader>\n   </rastershader>\n  </rasterrenderer>\n";
    qml += "  <brightnesscontrast brightness=\"0\" contrast=\"0\" gamma=\"1\"/>\n";
    qml +=
        "  <huesaturation saturation=\"0\" grayscaleMode=\"0\" colorizeOn=\"0\" "
        "colorizeRed=\"255\" colorizeGreen=\"128\" colorizeBlue=\"128\" "
        "colorizeStrength=\"100\" invertColors=\"0\"/>\n";
    qml += "  <rasterresampler maxOversampling=\"2\"/>\n";
    qml += " </pipe>\n <blendMode>0</blendMode>\n</qgis>\n";
    return qml;
}

std::string Field(std::string_view field) {
    return "\"" + std::string(field) + "\"";
}

}  // namespace

int DifferenceClassOf(double d) {
    if (d < -6.0) return 0;
    if (d < -3.0) return 1;
    if (d < -1.0) return 2;
    if (d <= 1.0) return 3;
    if (d <= 3.0) return 4;
    if (d <= 6.0) return 5;
    return 6;
}

RgbColour DifferenceColour(int differenceClass) {
    return kDifferenceColours[static_cast<std::size_t>(differenceClass < 0 ? 0
                                                       : differenceClass >= kDifferenceClasses
                                                           ? kDifferenceClasses - 1
                                                           : differenceClass)];
}

std::string DifferenceLabel(int differenceClass) {
    switch (differenceClass) {
        case 0:
            return "B more than 6 dB weaker";
        case 1:
            return "B 3 to 6 dB weaker";
        case 2:
            return "B 1 to 3 dB weaker";
        case 3:
            return "within 1 dB";
        case 4:
            return "B 1 to 3 dB stronger";
        case 5:
            return "B 3 to 6 dB stronger";
        default:
            return "B more than 6 dB stronger";
    }
}

std::string LevelRasterStyle(const LevelRamp& ramp) {
    const LevelRamp::Bounds& bounds = ramp.Thresholds();
    std::vector<RasterItem> items;
    for (int band = 0; band < LevelRamp::kBands; ++band) {
        const double upTo = band < LevelRamp::kBounds ? bounds[band] - kBelowBound
                                                      : std::numeric_limits<double>::infinity();
        items.push_back({upTo, LevelRamp::BandColour(band), ramp.BandLabel(band)});
    }
    return RasterStyle("DISCRETE", items, bounds[0] - 10.0, bounds[LevelRamp::kBounds - 1] + 10.0);
}

std::string GradientRasterStyle(double minimum, double maximum) {
    if (!(maximum > minimum)) maximum = minimum + 1.0;
    const std::vector<RasterItem> items = {
        {minimum, {0xf7, 0xfb, 0xff}, Number(minimum)},
        {maximum, {0x08, 0x30, 0x6b}, Number(maximum)},
    };
    return RasterStyle("INTERPOLATED", items, minimum, maximum);
}

std::string DifferenceRasterStyle() {
    const std::array<double, kDifferenceClasses> upTo = {-6.0 - kBelowBound,
                                                         -3.0 - kBelowBound,
                                                         -1.0 - kBelowBound,
                                                         1.0,
                                                         3.0,
                                                         6.0,
                                                         std::numeric_limits<double>::infinity()};
    std::vector<RasterItem> items;
    for (int c = 0; c < kDifferenceClasses; ++c)
        items.push_back(
            {upTo[static_cast<std::size_t>(c)], DifferenceColour(c), DifferenceLabel(c)});
    return RasterStyle("DISCRETE", items, -10.0, 10.0);
}

std::string LevelPolygonStyle(const LevelRamp& ramp, std::string_view field) {
    const LevelRamp::Bounds& bounds = ramp.Thresholds();
    std::string expression = "CASE";
    for (int band = LevelRamp::kBands - 1; band >= 1; --band)
        expression += " WHEN " + Field(field) + " >= " + Number(bounds[band - 1]) + " THEN " +
                      std::to_string(band);
    expression += " ELSE 0 END";
    std::vector<StyleCategory> categories;
    for (int band = 0; band < LevelRamp::kBands; ++band)
        categories.push_back({LevelRamp::BandColour(band), ramp.BandLabel(band)});
    return CategorisedStyle(expression, categories, StyleSymbol::Fill);
}

std::string DifferencePolygonStyle(std::string_view field) {
    const std::string f = Field(field);
    const std::string expression = "CASE WHEN " + f + " < -6 THEN 0 WHEN " + f +
                                   " < -3 THEN 1 WHEN " + f + " < -1 THEN 2 WHEN " + f +
                                   " <= 1 THEN 3 WHEN " + f + " <= 3 THEN 4 WHEN " + f +
                                   " <= 6 THEN 5 ELSE 6 END";
    std::vector<StyleCategory> categories;
    for (int c = 0; c < kDifferenceClasses; ++c)
        categories.push_back({DifferenceColour(c), DifferenceLabel(c)});
    return CategorisedStyle(expression, categories, StyleSymbol::Fill);
}

}  // namespace varistrum
