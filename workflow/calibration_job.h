// SPDX-License-Identifier: GPL-3.0-or-later
// A calibration as both front ends ask for it: the logs of a drive (or a campaign) with their
// data choices, the sites file and the fit's options; then the files it writes, as one set.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/job_files.h"
#include "base/output_target.h"
#include "calibration/calibration.h"
#include "convert/conversion_settings.h"
#include "convert/job_runner.h"

namespace varistrum {

// One log of a calibration with the data choices it is read with (receiver, scans, outage
// drop, typed frequencies); the calibration's own settings are derived from them.
struct CalibrationInput {
    std::string path;
    ConversionSettings settings;
};

struct CalibrationRequest {
    std::vector<CalibrationInput> inputs;  // pooled, in this order
    std::string sites;                     // the sites file
    CalibrationOptions options;
};

// How a calibration ended: Completed with its result; Failed (the result too when the drive
// was read but nothing could be fitted: its channels without a site); Cancelled.
struct CalibrationRun {
    JobOutcome outcome = JobOutcome::NotRun;
    std::optional<CalibrationResult> result;
};

// What a calibration writes; an empty path writes nothing of that kind.
struct CalibrationFiles {
    std::string report;     // the report as text, or as JSON when `json`
    bool json = false;      //
    std::string plot;       // the plot of one fit as PNG
    std::string plotSite;   // the site the plot shows; empty: the site with most points
    std::string residuals;  // the residual layer (GeoPackage)
    int plotWidth = 1200, plotHeight = 700;

    bool Any() const { return !report.empty() || !plot.empty() || !residuals.empty(); }
};

inline constexpr OutputKind kCalibrationReportOutput{"a calibration report", true, ""};

// Draws the plot of one fit into the bytes of a PNG file; false with the reason. The front ends
// give the map's renderer.
using PlotEncoder = std::function<bool(const CalibrationResult&, const CalibrationFit&, int width,
                                       int height, std::string& png, std::string& reason)>;

// The files a calibration would write, checked before anything is read: each suits its kind and
// is named once, none is a log or the sites file. The first refusal.
std::optional<FilesRefusal> CheckCalibrationFiles(const CalibrationFiles& files,
                                                  const std::vector<std::string>& logs,
                                                  const std::string& sites);

// The fit a plot shows: that of `site` (empty: the site with the most fitted points, the first
// of them on a tie), pooled when the site has several channels, else its one channel's. Null
// when the site has no fit.
const CalibrationFit* PlottedFit(const CalibrationResult& result, const std::string& site);

// Why a calibration's files could not be written: the message, the file and the system's
// reason.
struct CalibrationFilesFailure {
    std::string message;
    std::string path;
    std::string reason;
};

// Writes the report, the plot and the residual layer as one set through the one output writer:
// put in place together once all are complete, or none (earlier files stay).
std::optional<CalibrationFilesFailure> WriteCalibrationFiles(const CalibrationResult& result,
                                                             const CalibrationFiles& files,
                                                             const PlotEncoder& plot);

}  // namespace varistrum
