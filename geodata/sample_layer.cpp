// SPDX-License-Identifier: GPL-3.0-or-later
// Names of the map layers' values.
#include "geodata/sample_layer.h"

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

}  // namespace varistrum
