// SPDX-License-Identifier: GPL-3.0-or-later
// What a simulated drive really was, as text files beside the log: the network's sites, the
// model its levels are drawn from, and the planned stops.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "tools/drive_simulator.h"

namespace varistrum::sim {

// site,latitude,longitude,antenna_height_m,eirp_dbm,frequency_mhz: one row for each site and
// channel the receivers measured (idle channels have no site), by site, then frequency.
std::string SitesCsv(const SimulationTruth& truth);
// The propagation model of the sites, as JSON.
std::string SiteModelJson(const SimulationOptions& options);
// first_gps_record,last_gps_record,latitude,longitude,seconds: one row for each planned stop.
std::string StopsCsv(const SimulationTruth& truth);

// The model file beside a sites file: ".csv" replaced by (or else followed by) ".model.json".
std::string ModelPathFor(const std::string& sitesPath);
// A site's index from its name (S1, S2, ...).
std::optional<std::size_t> SiteIndex(std::string_view name);
// Latitude or longitude in degrees from milliseconds of arc, as a reader of the log gets it.
double DegreesOfMas(std::int32_t mas);

// Writes a whole text file safely (never half a file under its name); false with a reason.
bool WriteTextFile(const std::string& path, std::string_view text, std::string* error);

}  // namespace varistrum::sim
