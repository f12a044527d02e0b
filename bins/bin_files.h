// SPDX-License-Identifier: GPL-3.0-or-later
// Where the binning's files reach the disk: two small functions, so that every output goes
// through one writer that never leaves half a file under the output's name.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace varistrum {

// "/out/cov.tif" + "partial" -> "/out/.cov.partial.tif": beside the output (a rename puts it in
// place), with the output's extension (GDAL's drivers look at it), hidden while it is written.
std::string HiddenBeside(const std::string& path, std::string_view tag);

// Writes the file `path` names (a link: its target) through a temporary file beside it:
// `produce` writes the temporary, which is then flushed to disk and renamed into place. When
// `produce` or a later step fails, the temporary is removed, an earlier file of that name stays
// and `error` says why. A folder, device, pipe or socket of that name is refused.
bool WriteFileThroughTemporary(
    const std::string& path,
    const std::function<bool(const std::string& temporary, std::string* error)>& produce,
    std::string* error);

// Writes a small text file (a style) the same way, its lines ended with CR LF.
bool WriteTextOutput(const std::string& path, std::string_view text, std::string* error);

// "cov.tif" -> "cov.qml": the style file QGIS loads with a file of the same base name.
std::string StylePathFor(const std::string& path);

}  // namespace varistrum
