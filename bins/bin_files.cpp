// SPDX-License-Identifier: GPL-3.0-or-later
// The coverage outputs' files registered, checked and committed through the one output writer.
#include "bins/bin_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace varistrum {

namespace {

std::string LowerExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

}  // namespace

std::optional<CoverageFormat> CoverageFormatOfPath(const std::string& path) {
    const std::string extension = LowerExtension(path);
    if (extension == ".tif" || extension == ".tiff") return CoverageFormat::Raster;
    if (extension == ".gpkg") return CoverageFormat::GeoPackage;
    return std::nullopt;
}

std::string StylePathFor(const std::string& path) {
    return std::filesystem::path(path).replace_extension(".qml").string();
}

CoverageFiles AddCoverageFiles(OutputSet& files, const std::string& path, CoverageFormat format) {
    CoverageFiles added;
    if (format == CoverageFormat::GeoPackage) {
        added.main = files.Add(path, kCoverageLayerOutput);
        return added;
    }
    added.main = files.Add(path, kCoverageRasterOutput);
    // Named after the raster: never written through a link.
    added.style = files.Add(StylePathFor(path), kQgisStyleOutput, OutputSet::Naming::Derived);
    return added;
}

bool WriteStyleText(OutputSet& files, std::size_t index, std::string_view text,
                    std::string* error) {
    // Output text files end their lines with CR LF.
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 32);
    for (const char c : text) {
        if (c == '\n' && (crlf.empty() || crlf.back() != '\r')) crlf += '\r';
        crlf += c;
    }
    OutputFile* file = files.Stream(index);
    if (file == nullptr) {
        *error = "'" + files.FailedPath() + "': " + files.FailureReason();
        return false;
    }
    file->Write(crlf);
    return true;
}

bool WriteCoverageFilesAt(const std::string& path, CoverageFormat format,
                          const CoverageWrite& write, std::string* error) {
    OutputSet files;
    const CoverageFiles added = AddCoverageFiles(files, path, format);
    if (const auto refusal = files.Check()) {
        *error = refusal->message;
        return false;
    }
    if (!write(files, added, error)) {
        files.Discard();
        return false;
    }
    if (!files.Commit()) {
        *error = "'" + files.FailedPath() + "': " + files.FailureReason();
        return false;
    }
    return true;
}

}  // namespace varistrum
