// SPDX-License-Identifier: GPL-3.0-or-later
// A background drawn under the drive (roads, boundaries): any vector file GDAL reads, in
// WGS 84 once loaded. Read from the local file only; nothing comes from a network.
#pragma once

#include <string>
#include <vector>

#include "map/web_mercator.h"

namespace varistrum {

struct BackgroundLayer {
    // Lines, polygon rings and points (a point is a line of one position).
    std::vector<std::vector<FixedPoint>> lines;
    std::string name;  // the file's name, for the window's title
};

// Loads every layer of the file; the error text for the user when it cannot be read or
// transformed ("" on success).
std::string LoadBackground(const std::string& path, BackgroundLayer& layer);

}  // namespace varistrum
