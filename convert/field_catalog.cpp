// SPDX-License-Identifier: GPL-3.0-or-later
// Names of the output fields and the offered subset.
#include "convert/field_catalog.h"

namespace varistrum {
namespace {

constexpr std::array<std::string_view, kNamedFields> kFieldNames = {
    "<< DATA >>",
    "<< FLEX DATA >>",
    "<< POCSAG DATA >>",
    "BER",
    "CR / LF",
    "Latitude (Decimal Degrees)",
    "Latitude (Degrees)",
    "Latitude (Minutes)",
    "Latitude (Decimal Minutes)",
    "Latitude (Seconds)",
    "Latitude Hemisphere",
    "Longitude (Decimal Degrees)",
    "Longitude (Degrees)",
    "Longitude (Minutes)",
    "Longitude (Decimal Minutes)",
    "Longitude (Seconds)",
    "Longitude Hemisphere",
    "GPS Status",
    "GPS Time (HH:MM:SS)",
    "GPS Hour (HH)",
    "GPS Minute (MM)",
    "GPS Second (SS)",
    "GPS Date (MM/DD/YY)",
    "GPS Month (MM)",
    "GPS Day (DD)",
    "GPS Year (YY)",
    "GPS Altitude (Meters)",
    "GPS Velocity (MPH)",
    "GPS Heading",
    "Marker Value",
    "Measurement Type",
    "Odometer Reading",
    "Record Number",
    "RTC Date (MM-DD-YY)",
    "RTC Month (MM)",
    "RTC Day (DD)",
    "RTC Year (YY)",
    "RTC Time (HH:MM:SS)",
    "RTC Hour (HH)",
    "RTC Minute (MM)",
    "RTC Second (SS)",
    "Speed (BPS)",
    "X Coordinate",
    "Y_Coordinate",
    "Scan Mode",
    "Ext. Navigation Status",
    "Min. Frequency (MHz)",
    "Max. Frequency (MHz)",
    "Step Size (KHz)",
    "Receiver",
    "TP Latitude (Dec Deg)",
    "TP Longitude (Dec Deg)",
    "TP Date (MM-DD-YY)",
    "TP Time (HH:MM:SS)",
    "TP Speed (km/h)",
    "TP Direction (deg from N)",
};

}  // namespace

std::string_view FieldName(int tag) {
    if (tag < 0 || tag >= kNamedFields) return {};
    return kFieldNames[static_cast<std::size_t>(tag)];
}

int FieldTagOf(std::string_view name) {
    for (int tag = 0; tag < kNamedFields; ++tag) {
        if (kFieldNames[static_cast<std::size_t>(tag)] == name) return tag;
    }
    return -1;
}

const std::vector<int>& OfferedFields() {
    static const std::vector<int> offered = {
        0,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 18, 19, 20, 21, 22, 23, 24, 25,
        26, 27, 17, 29, 33, 36, 34, 35, 37, 38, 39, 40, 46, 47, 48, 49, 32, 50, 51, 52, 53};
    return offered;
}

std::vector<std::string_view> OfferedFieldNames() {
    std::vector<std::string_view> names;
    for (int tag : OfferedFields()) names.push_back(FieldName(tag));
    return names;
}

}  // namespace varistrum
