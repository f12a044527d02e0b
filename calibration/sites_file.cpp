// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a sites file through OGR and matching channels to its rows.
#include "calibration/sites_file.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <string_view>
#include <variant>

#include "base/number_format.h"
#include "export/gdal_support.h"

namespace varistrum {

namespace {

// A value that cannot be used: the message's end ("is missing", "'abc' is not a number").
struct Bad {
    std::string what;
};

std::string Trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// A number from a text field, without the locale: "43", "-7.5", "1e3".
std::optional<double> ParseNumber(const std::string& text) {
    std::string_view view(text);
    if (!view.empty() && view.front() == '+') view.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (error != std::errc() || end != view.data() + view.size() || view.empty() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

class Row {
  public:
    Row(OGRFeature& feature) : feature_(feature) {}

    // The field's number; Bad when it is empty, not a number or of another type.
    std::variant<double, Bad> Number(int index) const {
        if (!feature_.IsFieldSetAndNotNull(index)) return Bad{"is missing"};
        const OGRFieldDefn* defn = feature_.GetFieldDefnRef(index);
        switch (defn->GetType()) {
            case OFTInteger:
                if (defn->GetSubType() == OFSTBoolean)
                    return Bad{"is a true/false value, not a number"};
                [[fallthrough]];
            case OFTInteger64:
            case OFTReal: {
                const double value = feature_.GetFieldAsDouble(index);
                if (!std::isfinite(value)) return Bad{"is not a finite number"};
                return value;
            }
            case OFTString: {
                const std::string text = Trimmed(feature_.GetFieldAsString(index));
                if (text.empty()) return Bad{"is missing"};
                if (const auto value = ParseNumber(text)) return *value;
                return Bad{"'" + text + "' is not a number"};
            }
            default:
                return Bad{"is not a number (" +
                           std::string(OGRFieldDefn::GetFieldTypeName(defn->GetType())) + ")"};
        }
    }

    std::variant<std::string, Bad> Text(int index) const {
        if (!feature_.IsFieldSetAndNotNull(index)) return Bad{"is missing"};
        std::string text = Trimmed(feature_.GetFieldAsString(index));
        if (text.empty()) return Bad{"is missing"};
        return text;
    }

    bool Empty(int index) const {
        if (!feature_.IsFieldSetAndNotNull(index)) return true;
        return Trimmed(feature_.GetFieldAsString(index)).empty();
    }

  private:
    OGRFeature& feature_;
};

std::string NumberText(double value) {
    std::string out;
    AppendFixed(out, value, 6);
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
    return out;
}

// No coordinate system, or GeoPackage's "undefined" ones (srs_id 0 and -1).
bool Undefined(const OGRSpatialReference* crs) {
    if (crs == nullptr) return true;
    const char* name = crs->GetName();
    return name != nullptr && std::string_view(name).starts_with("Undefined ");
}

OGRLayer* SitesLayer(GDALDataset& dataset) {
    for (OGRLayer* layer : dataset.GetLayers())
        if (layer->GetLayerDefn()->GetFieldIndex("site") >= 0) return layer;
    return nullptr;
}

}  // namespace

std::string ReadSitesFile(const std::string& path, SitesFile& sites) {
    RegisterGdalDrivers();
    GdalErrorTrap trap;
    const std::string file = path;
    const auto gdalSays = [&] {
        return trap.LastError().empty() ? std::string() : ": " + trap.LastError();
    };
    GDALDatasetUniquePtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY,
                                                   nullptr, nullptr, nullptr));
    if (dataset == nullptr) return file + ": the sites file cannot be read" + gdalSays();
    OGRLayer* layer = SitesLayer(*dataset);
    if (layer == nullptr) return file + ": no layer has a 'site' field";
    OGRFeatureDefn& defn = *layer->GetLayerDefn();
    const int siteField = defn.GetFieldIndex("site");
    const int heightField = defn.GetFieldIndex("antenna_height_m");
    const int eirpField = defn.GetFieldIndex("eirp_dbm");
    const int frequencyField = defn.GetFieldIndex("frequency_mhz");
    const int channelField = defn.GetFieldIndex("channel");
    const int latitudeField = defn.GetFieldIndex("latitude");
    const int longitudeField = defn.GetFieldIndex("longitude");
    if (heightField < 0) return file + ": the field antenna_height_m is missing";
    if (eirpField < 0) return file + ": the field eirp_dbm is missing";
    if (frequencyField < 0 && channelField < 0)
        return file + ": the fields frequency_mhz and channel are both missing (one is needed)";
    if ((latitudeField < 0) != (longitudeField < 0))
        return file + ": the field " + (latitudeField < 0 ? "latitude" : "longitude") +
               " is missing (its partner is there)";
    const bool fromFields = latitudeField >= 0;

    std::unique_ptr<OGRCoordinateTransformation> toWgs84;
    if (!fromFields) {
        if (defn.GetGeomFieldCount() == 0)
            return file + ": no position: give latitude and longitude fields or point geometry";
        const OGRSpatialReference* crs = layer->GetSpatialRef();
        if (Undefined(crs))
            return file +
                   ": the geometry has no coordinate system: give latitude and "
                   "longitude fields (WGS 84) or a file with a coordinate system";
        OGRSpatialReference wgs84;
        wgs84.importFromEPSG(4326);
        wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        toWgs84.reset(OGRCreateCoordinateTransformation(crs, &wgs84));
        if (toWgs84 == nullptr)
            return file + ": the coordinate system cannot be transformed to WGS 84" + gdalSays();
    }

    SitesFile loaded;
    loaded.path = path;
    int number = 0;
    std::map<double, int> rowOfFrequency;
    std::map<int, int> rowOfChannel;
    for (const auto& feature : *layer) {
        ++number;
        const Row row(*feature);
        const auto where = [&](const char* field) {
            return file + ": row " + std::to_string(number) + ", field " + field + ": ";
        };
        SiteRow site;
        site.row = number;
        {
            auto text = row.Text(siteField);
            if (auto* bad = std::get_if<Bad>(&text))
                return where("site") + "the value " + bad->what;
            site.site = std::get<std::string>(text);
        }
        const auto numberOf = [&](int field, const char* name, double low, double high,
                                  double& into) -> std::string {
            auto value = row.Number(field);
            if (auto* bad = std::get_if<Bad>(&value)) return where(name) + "the value " + bad->what;
            const double v = std::get<double>(value);
            if (v < low || v > high)
                return where(name) + NumberText(v) + " is outside " + NumberText(low) + " to " +
                       NumberText(high);
            into = v;
            return {};
        };
        if (auto e = numberOf(heightField, "antenna_height_m", 0.01, 10000.0, site.antennaHeightM);
            !e.empty())
            return e;
        if (auto e = numberOf(eirpField, "eirp_dbm", -30.0, 100.0, site.eirpDbm); !e.empty())
            return e;
        if (frequencyField >= 0 && !row.Empty(frequencyField)) {
            double f = 0.0;
            if (auto e = numberOf(frequencyField, "frequency_mhz", 0.001, 100000.0, f); !e.empty())
                return e;
            site.frequencyMHz = f;
        }
        if (channelField >= 0 && !row.Empty(channelField)) {
            double c = 0.0;
            if (auto e = numberOf(channelField, "channel", 0.0, 2147483647.0, c); !e.empty())
                return e;
            if (c != std::floor(c))
                return where("channel") + NumberText(c) + " is not a whole number";
            site.channel = static_cast<int>(c);
        }
        if (!site.frequencyMHz && !site.channel)
            return where(frequencyField >= 0 ? "frequency_mhz" : "channel") +
                   "the value is missing (a row needs frequency_mhz or channel)";
        if (fromFields) {
            if (auto e = numberOf(latitudeField, "latitude", -90.0, 90.0, site.latitude);
                !e.empty())
                return e;
            if (auto e = numberOf(longitudeField, "longitude", -180.0, 180.0, site.longitude);
                !e.empty())
                return e;
        } else {
            OGRGeometry* geometry = feature->GetGeometryRef();
            if (geometry == nullptr || geometry->IsEmpty())
                return where("geometry") + "the position is missing";
            if (wkbFlatten(geometry->getGeometryType()) != wkbPoint)
                return where("geometry") + "a " + geometry->getGeometryName() + " is not a point";
            OGRPoint point = *geometry->toPoint();
            if (point.transform(toWgs84.get()) != OGRERR_NONE)
                return where("geometry") + "the position cannot be transformed to WGS 84" +
                       gdalSays();
            site.longitude = point.getX();
            site.latitude = point.getY();
            if (!(std::fabs(site.latitude) <= 90.0) || !(std::fabs(site.longitude) <= 180.0))
                return where("geometry") + "the position lies outside the globe";
        }
        // Two rows of one frequency (or channel) would make the match ambiguous.
        if (site.frequencyMHz) {
            const auto [at, fresh] = rowOfFrequency.emplace(*site.frequencyMHz, number);
            if (!fresh)
                return where("frequency_mhz") + NumberText(*site.frequencyMHz) +
                       " MHz is also on row " + std::to_string(at->second) +
                       ": a channel must match one row";
        } else {
            const auto [at, fresh] = rowOfChannel.emplace(*site.channel, number);
            if (!fresh)
                return where("channel") + std::to_string(*site.channel) + " is also on row " +
                       std::to_string(at->second) + ": a channel must match one row";
        }
        loaded.rows.push_back(std::move(site));
    }
    if (trap.Errors() > 0) return file + ": the sites file cannot be read" + gdalSays();
    if (loaded.rows.empty()) return file + ": the sites file holds no rows";
    sites = std::move(loaded);
    return {};
}

std::optional<std::size_t> MatchSiteRow(const SitesFile& sites, double frequencyMHz, int channel,
                                        double channelStepKHz) {
    const double tolerance = (channelStepKHz > 0.0 ? channelStepKHz / 2.0 : 0.5) / 1000.0;
    std::optional<std::size_t> best;
    double bestGap = 0.0;
    for (std::size_t i = 0; i < sites.rows.size(); ++i) {
        const SiteRow& row = sites.rows[i];
        if (!row.frequencyMHz) continue;
        const double gap = std::fabs(*row.frequencyMHz - frequencyMHz);
        if (gap < tolerance && (!best || gap < bestGap)) {
            best = i;
            bestGap = gap;
        }
    }
    if (best) return best;
    // By number: rows without a frequency, or any row when the log gives no frequency.
    const bool known = frequencyMHz > 0.0;
    for (std::size_t i = 0; i < sites.rows.size(); ++i) {
        const SiteRow& row = sites.rows[i];
        if (row.channel && *row.channel == channel && (!row.frequencyMHz || !known)) return i;
    }
    return std::nullopt;
}

}  // namespace varistrum
