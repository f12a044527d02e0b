// SPDX-License-Identifier: GPL-3.0-or-later
// A calibration: the drive's local means turned into path losses from their sites, the
// exclusions counted, and the log-distance and Hata fits per site and channel and per site.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "calibration/hata.h"
#include "calibration/line_fit.h"
#include "calibration/local_mean.h"
#include "calibration/sites_file.h"

namespace varistrum {

struct CalibrationOptions {
    double rxGainDbi = 0.0;
    double cableLossDb = 0.0;
    double rxHeightM = 1.5;
    double minDistanceM = 100.0;
    std::optional<double> maxDistanceKm;  // none: no upper limit
    // One noise floor for every channel; none: each channel's lowest level in its log.
    std::optional<double> noiseFloorDbm;
    double censorMarginDb = 3.0;  // levels this close to the floor (or below) are censored
    FitWeighting weighting = FitWeighting::TenthDecadeBins;
    HataEnvironment environment = HataEnvironment::Urban;
};

// "" or the message for the user about an option out of range.
std::string CheckCalibrationOptions(const CalibrationOptions& options);

// Why a local mean takes no part in the fits; each counts under the first reason that holds,
// in this order.
enum class Exclusion : std::uint8_t { None, BelowMinDistance, BeyondMaxDistance, NearNoiseFloor };
inline constexpr std::size_t kExclusionReasons = 3;
// "below_min_distance", "beyond_max_distance", "near_noise_floor" (the JSON keys).
const char* ExclusionKey(Exclusion reason);
using ExclusionCounts = std::array<std::int64_t, kExclusionReasons>;

// The level that means "no level" in a log.
inline constexpr double kNoLevelDbm = -120.0;

// The lowest level of each channel of one log other than kNoLevelDbm: the default noise floor.
// The caller notes every sample level of the log.
class ChannelFloors {
  public:
    void Note(int channel, double dbm);
    std::optional<double> Of(int channel) const;

  private:
    std::map<int, double> lowest_;
};

// One matched local mean: 56 bytes, kept for the fits, the plot and the residual layer.
struct CalibrationPoint {
    double latitude = 0.0, longitude = 0.0;
    double distanceM = 0.0;
    double pathLossDb = 0.0;
    double routeM = 0.0;       // along its segment's route
    std::int32_t siteRow = 0;  // index into SitesFile::rows
    std::int32_t segment = 0;  // index into CalibrationResult::segments
    std::int32_t channel = 0;  // the log's channel number
    Exclusion excluded = Exclusion::None;
};
static_assert(sizeof(CalibrationPoint) <= 56);

struct CalibrationSegment {
    int log = 0;  // index into CalibrationResult::logs
    int scan = 0;
};

struct HataFit {
    std::string model;  // "okumura-hata", "cost231-hata", or both joined by '+' when pooled
    // As the model stands: residual = measured - predicted path loss, weighted as the fit.
    ErrorFigures asItStands;
    // Tuned: PL = K1 + K2 log10(d / 1 km) + the model's other terms. For one site and channel
    // K2 is the log-distance slope and K1 its intercept less the other terms.
    std::optional<double> k1Db, k2DbPerDecade;
    std::optional<ErrorFigures> tuned;
    // The model's own K1 and K2 and its other terms (for one site and channel; the plot draws
    // the model with them).
    double modelK1Db = 0.0, modelK2DbPerDecade = 0.0, otherTermsDb = 0.0;
    std::vector<std::string> warnings;
};

struct CalibrationFit {
    std::string site;
    bool pooled = false;
    // One per intercept: the site rows (indices into SitesFile::rows) and their frequencies.
    std::vector<std::size_t> rows;
    std::vector<double> frequenciesMHz;
    std::int64_t points = 0;  // taking part in the fit
    ExclusionCounts excluded{};
    // Indices into CalibrationResult::points, in the order of the fit's residuals and weights.
    std::vector<std::uint32_t> pointIndices;
    std::optional<LineFit> logDistance;
    std::optional<HataFit> hata;
    std::vector<std::string> warnings;
};

// A channel of the drive that matched no site row.
struct UnmatchedChannel {
    double frequencyMHz = 0.0;
    int channel = 0;
    std::int64_t localMeans = 0;
};

struct CalibrationResult {
    SitesFile sites;
    // Per site row: the drive's frequency of the channel that matched it (0 when none did).
    std::vector<double> rowFrequenciesMHz;
    CalibrationOptions options;
    std::vector<std::string> logs;
    std::vector<CalibrationSegment> segments;
    std::vector<CalibrationPoint> points;
    // Per site: each of its channels with points, then the site pooled; sites in file order.
    std::vector<CalibrationFit> fits;
    std::vector<UnmatchedChannel> unmatched;
    std::vector<std::string> warnings;
    std::int64_t localMeans = 0;  // every local mean given, matched or not
};

// Collects the local means of one or more logs (a campaign) and fits them at the end. Feed it
// log by log: BeginLog, then that log's local means in route order within each scan.
class CalibrationCollector {
  public:
    CalibrationCollector(SitesFile sites, CalibrationOptions options);

    // `floors`: the log's lowest level per channel (unused when the options give a floor).
    void BeginLog(std::string name, ChannelFloors floors);
    void Add(const LocalMean& mean);
    // The fits; the collector is empty afterwards.
    CalibrationResult Finish();

  private:
    struct RouteState {
        int segment = 0;
        double latitude = 0.0, longitude = 0.0, routeM = 0.0;
    };
    std::optional<std::size_t> RowOf(const LocalMean& mean);

    CalibrationResult result_;
    ChannelFloors floors_;
    std::map<std::pair<int, double>, std::optional<std::size_t>> matches_;  // this log's
    std::map<int, RouteState> routes_;                                      // by scan, this log
    std::map<std::pair<double, int>, std::int64_t> unmatched_;
    std::map<int, bool> floorWarned_;  // channels of this log without a known floor
};

// Fits the points of a result (its points, sites and options set) into result.fits.
void FitCalibration(CalibrationResult& result);

}  // namespace varistrum
