// SPDX-License-Identifier: GPL-3.0-or-later
// World files, GDAL's side file and the GeoTIFF of a map picture.
#include "map/picture_georeference.h"

#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <charconv>

#include "base/utf8_text.h"
#include "base/xml_text.h"
#include "export/gdal_support.h"

namespace varistrum {

namespace {

constexpr double kWorldMetres = 40075016.685578488;  // the Web Mercator square's side

// The shortest text that reads back as the same double, whatever the locale.
void AppendExact(std::string& out, double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

}  // namespace

PictureGeoreference GeoreferenceOf(const MapViewport& view) {
    return {(view.Origin().x - 0.5) * kWorldMetres, (0.5 - view.Origin().y) * kWorldMetres,
            kWorldMetres / view.Scale()};
}

std::string WorldFilePathOf(const std::string& picture) {
    // As GDAL looks for it: the extension's first and last letters and a w, or .wld in place
    // of an extension shorter than two letters.
    const std::size_t slash = picture.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = picture.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot >= nameStart;
    const std::string base = hasExtension ? picture.substr(0, dot) : picture;
    const std::string extension = hasExtension ? picture.substr(dot + 1) : std::string();
    if (extension.size() < 2) return base + ".wld";
    return base + "." + extension.front() + extension.back() + "w";
}

std::string WorldFileText(const PictureGeoreference& g) {
    std::string text;
    const double values[] = {
        g.pixelSize, 0.0, 0.0, -g.pixelSize, g.left + g.pixelSize / 2.0, g.top - g.pixelSize / 2.0};
    for (const double value : values) {
        AppendExact(text, value);
        text += "\r\n";
    }
    return text;
}

std::string AuxPathOf(const std::string& picture) {
    return picture + ".aux.xml";
}

std::string WebMercatorAuxXml() {
    OGRSpatialReference mercator;
    mercator.importFromEPSG(3857);
    char* wkt = nullptr;
    mercator.exportToWkt(&wkt);
    const std::string text = wkt != nullptr ? wkt : "";
    CPLFree(wkt);
    return "<PAMDataset>\r\n  <SRS dataAxisToSRSAxisMapping=\"1,2\">" + XmlEscaped(text) +
           "</SRS>\r\n</PAMDataset>\r\n";
}

bool WriteGeoTiff(const std::string& path, const PicturePixels& pixels,
                  const PictureGeoreference& g, const std::string& title, std::string& reason) {
    RegisterGdalDrivers();
    GdalErrorTrap trap;
    const auto fail = [&](const char* fallback) {
        ThrowIfOutOfMemory(trap.LastError());
        reason = trap.LastError().empty() ? fallback : trap.LastError();
        return false;
    };
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    if (driver == nullptr) return fail("GDAL has no GeoTIFF driver");
    CPLStringList options;
    options.SetNameValue("COMPRESS", "DEFLATE");
    options.SetNameValue("PREDICTOR", "2");
    options.SetNameValue("PHOTOMETRIC", "RGB");
    GDALDatasetUniquePtr dataset(
        driver->Create(path.c_str(), pixels.width, pixels.height, 3, GDT_Byte, options.List()));
    if (dataset == nullptr) return fail("The GeoTIFF cannot be created");
    double transform[6] = {g.left, g.pixelSize, 0.0, g.top, 0.0, -g.pixelSize};
    OGRSpatialReference mercator;
    mercator.importFromEPSG(3857);
    if (dataset->SetGeoTransform(transform) != CE_None ||
        dataset->SetSpatialRef(&mercator) != CE_None)
        return fail("The GeoTIFF's position cannot be stored");
    if (!title.empty())
        dataset->SetMetadataItem("TIFFTAG_IMAGEDESCRIPTION", ValidUtf8(title).c_str());
    dataset->SetMetadataItem("TIFFTAG_SOFTWARE",
                             (std::string("Varistrum CW ") + VARISTRUM_VERSION).c_str());
    const int offsets[] = {pixels.redByte, pixels.greenByte, pixels.blueByte};
    for (int band = 0; band < 3; ++band) {
        // GDAL reads the pixels and writes nothing into them.
        auto* first = const_cast<std::uint8_t*>(pixels.first) + offsets[band];
        if (dataset->GetRasterBand(band + 1)->RasterIO(GF_Write, 0, 0, pixels.width, pixels.height,
                                                       first, pixels.width, pixels.height, GDT_Byte,
                                                       4, pixels.stride, nullptr) != CE_None)
            return fail("The GeoTIFF cannot be written");
    }
    // Closing writes what is still buffered: a full disk shows here.
    dataset.reset();
    if (trap.Errors() > 0) return fail("The GeoTIFF cannot be written");
    return true;
}

}  // namespace varistrum
