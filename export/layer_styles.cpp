// SPDX-License-Identifier: GPL-3.0-or-later
// QML documents of categorised renderers and the `layer_styles` row that makes one a layer's
// default in QGIS.
#include "export/layer_styles.h"

#include <gdal_priv.h>
#include <ogr_feature.h>
#include <ogrsf_frmts.h>

#include <span>
#include <vector>

#include "base/xml_text.h"
#include "export/gdal_support.h"

namespace varistrum {

namespace {

std::string CommaColour(RgbColour c) {
    return std::to_string(c.red) + "," + std::to_string(c.green) + "," + std::to_string(c.blue) +
           ",255";
}

struct FieldShape {
    const char* name;
    OGRFieldType type;
    int width = 0;
    OGRFieldSubType subType = OFSTNone;
};

// QGIS's table of stored styles, as QGIS itself creates it in a GeoPackage.
const std::vector<FieldShape> kStyleFields = {
    {"f_table_catalog", OFTString, 256},
    {"f_table_schema", OFTString, 256},
    {"f_table_name", OFTString, 256},
    {"f_geometry_column", OFTString, 256},
    {"styleName", OFTString, 30},
    {"styleQML", OFTString},
    {"styleSLD", OFTString},
    {"useAsDefault", OFTInteger, 0, OFSTBoolean},
    {"description", OFTString},
    {"owner", OFTString, 30},
    {"ui", OFTString, 30},
    {"update_time", OFTDateTime},
};
constexpr const char* kStyleTable = "layer_styles";

struct SymbolProperty {
    const char* name;
    const char* value;  // none: the category's colour
};

constexpr SymbolProperty kFillProperties[] = {
    {"color", nullptr}, {"outline_style", "no"}, {"style", "solid"}};
constexpr SymbolProperty kMarkerProperties[] = {{"color", nullptr},
                                                {"name", "circle"},
                                                {"outline_style", "no"},
                                                {"size", "2"},
                                                {"size_unit", "MM"}};

// The symbol layer of one category: its properties as options, then again as the older props.
void AppendSymbolLayer(std::string& qml, const std::string& colour, StyleSymbol symbol) {
    const bool fill = symbol == StyleSymbol::Fill;
    const std::span<const SymbolProperty> properties =
        fill ? std::span<const SymbolProperty>(kFillProperties) : kMarkerProperties;
    qml += std::string("    <layer class=\"") + (fill ? "SimpleFill" : "SimpleMarker") +
           "\" enabled=\"1\" locked=\"0\" pass=\"0\">\n";
    qml += "     <Option type=\"Map\">\n";
    for (const SymbolProperty& p : properties) {
        qml += std::string("      <Option type=\"QString\" name=\"") + p.name + "\" value=\"" +
               (p.value != nullptr ? p.value : colour) + "\"/>\n";
    }
    qml += "     </Option>\n";
    for (const SymbolProperty& p : properties)
        qml += std::string("     <prop k=\"") + p.name + "\" v=\"" +
               (p.value != nullptr ? p.value : colour) + "\"/>\n";
    qml += "    </layer>\n";
}

bool AddFields(OGRLayer& layer) {
    for (const FieldShape& shape : kStyleFields) {
        OGRFieldDefn field(shape.name, shape.type);
        field.SetWidth(shape.width);
        field.SetSubType(shape.subType);
        if (layer.CreateField(&field) != OGRERR_NONE) return false;
    }
    return true;
}

}  // namespace

std::string CategorisedStyle(std::string_view expression, std::span<const StyleCategory> categories,
                             StyleSymbol symbol) {
    std::string qml = kQmlHead;
    qml += " <renderer-v2 type=\"categorizedSymbol\" attr=\"" + XmlEscaped(expression) +
           "\" forceraster=\"0\" symbollevels=\"0\" enableorderby=\"0\">\n  <categories>\n";
    for (std::size_t i = 0; i < categories.size(); ++i) {
        const std::string n = std::to_string(i);
        qml += "   <category render=\"true\" symbol=\"" + n + "\" value=\"" + n + "\" label=\"" +
               XmlEscaped(categories[i].label) + "\"/>\n";
    }
    qml += "  </categories>\n  <symbols>\n";
    const char* type = symbol == StyleSymbol::Fill ? "fill" : "marker";
    for (std::size_t i = 0; i < categories.size(); ++i) {
        qml += "   <symbol type=\"" + std::string(type) + "\" name=\"" + std::to_string(i) +
               "\" alpha=\"1\" clip_to_extent=\"1\" force_rhr=\"0\">\n";
        AppendSymbolLayer(qml, CommaColour(categories[i].colour), symbol);
        qml += "   </symbol>\n";
    }
    qml += "  </symbols>\n </renderer-v2>\n <blendMode>0</blendMode>\n</qgis>\n";
    return qml;
}

std::string LevelBandPointStyle(const LevelRamp& ramp, std::string_view bandField) {
    std::vector<StyleCategory> categories;
    for (int band = 0; band < LevelRamp::kBands; ++band)
        categories.push_back({LevelRamp::BandColour(band), ramp.BandLabel(band)});
    return CategorisedStyle(bandField, categories, StyleSymbol::Marker);
}

bool StoreLayerStyle(GDALDataset& dataset, const StoredLayerStyle& style, std::string* error) {
    GdalErrorTrap trap;
    const auto failed = [&](const std::string& fallback) {
        *error = trap.LastError().empty() ? fallback : trap.LastError();
        return false;
    };
    OGRLayer* styles = dataset.GetLayerByName(kStyleTable);
    if (styles == nullptr) {
        CPLStringList options;
        options.SetNameValue("FID", "id");
        options.SetNameValue("ASPATIAL_VARIANT", "GPKG_ATTRIBUTES");
        styles = dataset.CreateLayer(kStyleTable, nullptr, wkbNone, options.List());
        if (styles == nullptr || !AddFields(*styles))
            return failed("the style table cannot be created");
    }
    OGRFeature row(styles->GetLayerDefn());
    row.SetField("f_table_catalog", "");
    row.SetField("f_table_schema", "");
    row.SetField("f_table_name", style.layer.c_str());
    row.SetField("f_geometry_column", style.geometryColumn.c_str());
    row.SetField("styleName", style.name.c_str());
    row.SetField("styleQML", style.qml.c_str());
    row.SetField("styleSLD", "");
    row.SetField("useAsDefault", 1);
    row.SetField("description", style.description.c_str());
    row.SetField("owner", "");
    if (styles->CreateFeature(&row) != OGRERR_NONE) return failed("the style cannot be stored");
    return true;
}

}  // namespace varistrum
