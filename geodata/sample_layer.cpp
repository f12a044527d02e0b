// SPDX-License-Identifier: GPL-3.0-or-later
// Names of the map layers' values.
#include "geodata/sample_layer.h"

#include "convert/field_catalog.h"

namespace varistrum {

std::string_view ScanKindName(ScanKind kind) {
    switch (kind) {
        case ScanKind::SingleFrequency:
            return "single";
        case ScanKind::List:
            return "list";
        case ScanKind::Table:
            return "table";
        default:
            return "";
    }
}

std::string_view TimeSourceName(TimeSource source) {
    switch (source) {
        case TimeSource::Gps:
            return "gps";
        case TimeSource::Rtc:
            return "rtc";
        default:
            return "";
    }
}

std::string_view FixName(int statusCode) {
    const int code = statusCode & 7;
    if (code == static_cast<int>(GpsFixStatus::ThreeDFix)) return "3D";
    if (code == static_cast<int>(GpsFixStatus::TwoDFix)) return "2D";
    return ReceiverStatusTexts[static_cast<std::size_t>(code)];
}

}  // namespace varistrum
