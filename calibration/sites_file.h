// SPDX-License-Identifier: GPL-3.0-or-later
// The transmitters of a calibration: a sites file (any vector file GDAL reads) with one row per
// site and channel, and the matching of the log's channels to its rows.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace varistrum {

struct SiteRow {
    int row = 0;  // 1-based data row of the file
    std::string site;
    double latitude = 0.0, longitude = 0.0;  // WGS 84
    double antennaHeightM = 0.0;             // above ground
    double eirpDbm = 0.0;
    std::optional<double> frequencyMHz;
    std::optional<int> channel;  // the log's channel number
};

struct SitesFile {
    std::string path;
    std::vector<SiteRow> rows;
};

// Reads a sites file: fields `site`, `antenna_height_m`, `eirp_dbm` and `frequency_mhz` or
// `channel` (names in any case), the position from `latitude` and `longitude` fields (WGS 84)
// when the layer has both, else from point geometry transformed to WGS 84. A file of several
// layers gives the first layer with a `site` field. Returns "" or the message for the user,
// which names the file and, for a bad value, the 1-based data row and the field.
std::string ReadSitesFile(const std::string& path, SitesFile& sites);

// The row a channel of the log matches: the row of the nearest frequency less than half a
// channel step away (0.5 kHz when the step is not known); else the first row of its channel
// number that gives no frequency, or any row of that number when the log gives no frequency
// (0). Nullopt when none matches.
std::optional<std::size_t> MatchSiteRow(const SitesFile& sites, double frequencyMHz, int channel,
                                        double channelStepKHz);

}  // namespace varistrum
