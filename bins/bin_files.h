// SPDX-License-Identifier: GPL-3.0-or-later
// The binning's files on the one output writer: a raster with its style, or a GeoPackage, as
// one set of outputs checked before anything is written and put in place together.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/output_set.h"

namespace varistrum {

inline constexpr OutputKind kCoverageRasterOutput{"a GeoTIFF", false, ".tif"};
inline constexpr OutputKind kCoverageLayerOutput{"a GeoPackage", false, ".gpkg"};
inline constexpr OutputKind kQgisStyleOutput{"a QGIS style", false, ""};

enum class CoverageFormat { Raster, GeoPackage };

// ".tif" or ".tiff": a raster; ".gpkg": a GeoPackage (any letter case); nullopt otherwise.
std::optional<CoverageFormat> CoverageFormatOfPath(const std::string& path);

// "cov.tif" -> "cov.qml": the style file QGIS loads with a file of the same base name.
std::string StylePathFor(const std::string& path);

// The files of one coverage output as registered in its set: the raster or GeoPackage, and a
// raster's style beside it.
struct CoverageFiles {
    std::size_t main = 0;
    std::optional<std::size_t> style;
};
CoverageFiles AddCoverageFiles(OutputSet& files, const std::string& path, CoverageFormat format);

// Writes a style (a small text) into a file of the set, its lines ended with CR LF.
bool WriteStyleText(OutputSet& files, std::size_t index, std::string_view text, std::string* error);

// Writes the output `path` names (a link: its target) and its side files in a set of their own:
// checked before anything is written (a folder, device, pipe or socket of that name is
// refused), filled by `write`, then put in place together. When `write` or a later step
// fails, nothing replaces anything, no temporary stays, and `error` says why.
using CoverageWrite =
    std::function<bool(OutputSet& files, const CoverageFiles& added, std::string* error)>;
bool WriteCoverageFilesAt(const std::string& path, CoverageFormat format,
                          const CoverageWrite& write, std::string* error);

}  // namespace varistrum
