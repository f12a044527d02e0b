// SPDX-License-Identifier: GPL-3.0-or-later
// The output field catalog: 56 named fields indexed by tag, and the fields this reader offers.
#pragma once

#include <array>
#include <string_view>
#include <vector>

namespace varistrum {

inline constexpr int kCatalogSize = 60;  // text slots; tags 0-55 carry names
inline constexpr int kNamedFields = 56;
inline constexpr int kNoTag = -10;  // an empty row of the Selected Fields table
inline constexpr int kSelectedFieldRows = 100;

enum FieldTag : int {
    DataField = 0,
    LineBreakField = 4,
    LatitudeDecimalDegrees = 5,
    LatitudeDegrees = 6,
    LatitudeMinutes = 7,
    LatitudeDecimalMinutes = 8,
    LatitudeSeconds = 9,
    LatitudeHemisphere = 10,
    LongitudeDecimalDegrees = 11,
    LongitudeDegrees = 12,
    LongitudeMinutes = 13,
    LongitudeDecimalMinutes = 14,
    LongitudeSeconds = 15,
    LongitudeHemisphere = 16,
    GpsStatus = 17,
    GpsTime = 18,
    GpsHour = 19,
    GpsMinute = 20,
    GpsSecond = 21,
    GpsDate = 22,
    GpsMonth = 23,
    GpsDay = 24,
    GpsYear = 25,
    GpsAltitude = 26,
    GpsVelocity = 27,
    GpsHeading = 28,
    MarkerValue = 29,
    RecordNumber = 32,
    RtcDate = 33,
    RtcMonth = 34,
    RtcDay = 35,
    RtcYear = 36,
    RtcTime = 37,
    RtcHour = 38,
    RtcMinute = 39,
    RtcSecond = 40,
    MinFrequency = 46,
    MaxFrequency = 47,
    StepSize = 48,
    ReceiverField = 49,
    TpLatitude = 50,
    TpLongitude = 51,
    TpDate = 52,
    TpTime = 53,
    TpSpeed = 54,
    TpDirection = 55,
};

// Name of a catalog field; empty for tags without a name.
std::string_view FieldName(int tag);

// Tag of a catalog name; -1 when the name is not in the catalog.
int FieldTagOf(std::string_view name);

// The 43 tags offered as Available Fields, in display order.
const std::vector<int>& OfferedFields();

// Display names of OfferedFields(), in the same order.
std::vector<std::string_view> OfferedFieldNames();

// Texts of the GPS block's status codes and other small tables.
inline constexpr std::array<std::string_view, 8> ReceiverStatusTexts = {
    "Reserved",      "Reserved",       "Bad Geometry", "Acquiring Satellites",
    "Position Hold", "Propogate Mode", "2D Fix",       "3D Fix"};
inline constexpr std::array<std::string_view, 4> AntennaStatusTexts = {"OK", "Overcurrent",
                                                                       "Undercurrent", "NV"};
inline constexpr std::array<std::string_view, 17> CompassPointTexts = {
    "N",   "NNE", "NE",  "ENE", "E",   "ESE", "SE",  "SSE", "S",
    "SSW", "SW",  "WSW", "W",   "WNW", "NW",  "NNW", "N"};

}  // namespace varistrum
