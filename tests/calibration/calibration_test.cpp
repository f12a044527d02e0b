// SPDX-License-Identifier: GPL-3.0-or-later
// A calibration end to end on drives made here: the model comes back, exclusions are counted by
// reason, channels match sites by frequency or number, tuned Hata equals the shifted fit.
#include "calibration/calibration.h"

#include <gtest/gtest.h>

#include "tests/calibration/synthetic_drive.h"

namespace varistrum {
namespace {

using test::LogDistance;
using test::MakeSite;
using test::RadialDrive;

SitesFile Sites(std::vector<SiteRow> rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i].row = static_cast<int>(i) + 1;
    return {"sites.csv", std::move(rows)};
}

CalibrationResult Calibrate(const SitesFile& sites, const std::vector<LocalMean>& means,
                            CalibrationOptions options = {}, ChannelFloors floors = {}) {
    CalibrationCollector collector(sites, options);
    collector.BeginLog("drive.klf", std::move(floors));
    for (const LocalMean& m : means) collector.Add(m);
    return collector.Finish();
}

const CalibrationFit* FitOf(const CalibrationResult& result, const std::string& site, bool pooled) {
    for (const CalibrationFit& fit : result.fits)
        if (fit.site == site && fit.pooled == pooled) return &fit;
    return nullptr;
}

TEST(Calibration, NoiseFreeDriveGivesItsModelBack) {
    const SitesFile sites = Sites({MakeSite("North", 900.2, 43.0)});
    for (const FitWeighting weighting : {FitWeighting::TenthDecadeBins, FitWeighting::Ordinary}) {
        CalibrationOptions options;
        options.weighting = weighting;
        const auto result = Calibrate(
            sites, RadialDrive(sites.rows[0], 150.0, 9000.0, 13.0, 7, LogDistance(124.0, 36.5)),
            options);
        const CalibrationFit* fit = FitOf(result, "North", false);
        ASSERT_TRUE(fit && fit->logDistance);
        EXPECT_NEAR(fit->logDistance->slope, 36.5, 1e-9);
        EXPECT_NEAR(fit->logDistance->intercepts[0], 124.0, 1e-9);
        EXPECT_NEAR(fit->logDistance->errors.rms, 0.0, 1e-9);
        EXPECT_NEAR(fit->logDistance->spanDecades, std::log10(9000.0 / 150.0), 1e-3);
        EXPECT_TRUE(fit->warnings.empty());
    }
}

TEST(Calibration, PathLossTakesGainAndCableLoss) {
    const SitesFile sites = Sites({MakeSite("North", 900.2, 43.0)});
    CalibrationOptions options;
    options.rxGainDbi = 2.5;
    options.cableLossDb = 1.5;
    // Levels from PL = 120 + 35 log d with the gain and loss in the link: the fit sees the
    // path loss, so the model comes back unchanged.
    auto means = RadialDrive(sites.rows[0], 200.0, 5000.0, 20.0, 7, LogDistance(120.0, 35.0));
    for (LocalMean& m : means) m.levelDbm += 2.5 - 1.5;
    const auto result = Calibrate(sites, means, options);
    ASSERT_FALSE(result.points.empty());
    const CalibrationPoint& p = result.points.front();
    EXPECT_NEAR(p.pathLossDb, 43.0 + 2.5 - 1.5 - means.front().levelDbm, 1e-12);
    EXPECT_NEAR(FitOf(result, "North", false)->logDistance->intercepts[0], 120.0, 1e-9);
}

TEST(Calibration, ExclusionsAreCountedByTheirFirstReason) {
    const SitesFile sites = Sites({MakeSite("North", 900.2, 43.0)});
    // Points every 10 m from 10 m to 6 km; levels from 3 dBm down to -108 dBm.
    const auto means = RadialDrive(sites.rows[0], 10.0, 6000.0, 10.0, 7, LogDistance(120.0, 40.0));
    const auto countIf = [&](auto predicate) {
        std::int64_t n = 0;
        for (const LocalMean& m : means) n += predicate(m) ? 1 : 0;
        return n;
    };
    const auto distance = [&](const LocalMean& m) {
        return GeodesicMetres(test::kSiteLatitude, test::kSiteLongitude, m.latitude, m.longitude);
    };
    struct Case {
        const char* name;
        double minM;
        std::optional<double> maxKm;
        std::optional<double> floor;  // option; otherwise the log's floor of channel 7
        double logFloor;
    } const cases[] = {
        {"defaults", 100.0, std::nullopt, std::nullopt, -140.0},
        {"max distance", 100.0, 4.0, std::nullopt, -140.0},
        {"log floor", 250.0, std::nullopt, std::nullopt, -106.0},
        {"floor option over the log's", 100.0, 5.0, -104.0, -200.0},
    };
    for (const Case& c : cases) {
        CalibrationOptions options;
        options.minDistanceM = c.minM;
        options.maxDistanceKm = c.maxKm;
        options.noiseFloorDbm = c.floor;
        ChannelFloors floors;
        floors.Note(7, -120.0);  // "no level": never a floor
        floors.Note(7, c.logFloor);
        floors.Note(7, c.logFloor + 5.0);
        const double floor = c.floor.value_or(c.logFloor);
        const auto result = Calibrate(sites, means, options, floors);
        const CalibrationFit* fit = FitOf(result, "North", false);
        ASSERT_TRUE(fit) << c.name;
        const std::int64_t near = countIf([&](const LocalMean& m) { return distance(m) < c.minM; });
        const std::int64_t far = countIf([&](const LocalMean& m) {
            return distance(m) >= c.minM && c.maxKm && distance(m) > *c.maxKm * 1000.0;
        });
        const std::int64_t censored = countIf([&](const LocalMean& m) {
            return distance(m) >= c.minM && !(c.maxKm && distance(m) > *c.maxKm * 1000.0) &&
                   m.levelDbm <= floor + 3.0;
        });
        EXPECT_EQ(fit->excluded[0], near) << c.name;
        EXPECT_EQ(fit->excluded[1], far) << c.name;
        EXPECT_EQ(fit->excluded[2], censored) << c.name;
        EXPECT_EQ(fit->points + near + far + censored, static_cast<std::int64_t>(means.size()))
            << c.name;
        EXPECT_GT(near, 0) << c.name;
        if (c.maxKm) {
            EXPECT_GT(far, 0) << c.name;
        }
        if (floor > -130.0) {
            EXPECT_GT(censored, 0) << c.name;
        }
        // Censoring more than one local mean in twenty is warned about: the slope reads low.
        bool warned = false;
        for (const std::string& w : fit->warnings)
            warned = warned || w.find("near the noise floor: the fit lacks") != std::string::npos;
        EXPECT_EQ(warned, 20 * censored > fit->points + censored) << c.name;
        // The pooled fit of a one-channel site counts the same.
        EXPECT_EQ(FitOf(result, "North", true)->excluded, fit->excluded) << c.name;
    }
}

TEST(Calibration, CensoringHoldsTheLevelThreeDecibelsAboveTheFloor) {
    const SitesFile sites = Sites({MakeSite("North", 900.2, 40.0)});
    auto means = RadialDrive(sites.rows[0], 500.0, 540.0, 10.0, 7, LogDistance(100.0, 0.0));
    const double levels[] = {-107.0, -106.999, -110.0, -90.0,
                             -std::numeric_limits<double>::infinity()};
    for (std::size_t i = 0; i < means.size(); ++i) means[i].levelDbm = levels[i];
    ChannelFloors floors;
    floors.Note(7, -110.0);
    const auto result = Calibrate(sites, means, {}, floors);
    std::vector<Exclusion> got;
    for (const CalibrationPoint& p : result.points) got.push_back(p.excluded);
    EXPECT_EQ(got, (std::vector<Exclusion>{Exclusion::NearNoiseFloor, Exclusion::None,
                                           Exclusion::NearNoiseFloor, Exclusion::None,
                                           Exclusion::NearNoiseFloor}));
    // Without a known floor nothing is censored, and the report says so.
    const auto unknown = Calibrate(sites, means);
    EXPECT_EQ(unknown.points[0].excluded, Exclusion::None);
    ASSERT_EQ(unknown.warnings.size(), 1u);
    EXPECT_NE(unknown.warnings[0].find("channel 7 has no known noise floor"), std::string::npos);
}

TEST(Calibration, ChannelsMatchSitesByFrequencyOrNumber) {
    SiteRow byNumber = MakeSite("East", 0.0);
    byNumber.frequencyMHz.reset();
    byNumber.channel = 31;
    SiteRow both = MakeSite("South", 935.0);
    both.channel = 40;
    const SitesFile sites =
        Sites({MakeSite("North", 900.200), MakeSite("North", 900.210), byNumber, both});
    struct Case {
        double mhz;
        int channel;
        double stepKHz;
        std::optional<std::size_t> row;
    } const cases[] = {
        {900.200, 1, 25.0, 0},
        {900.204, 1, 25.0, 0},  // the nearer of two within half a step
        {900.207, 1, 25.0, 1},
        {900.188, 1, 25.0, 0},
        {900.187, 1, 25.0, std::nullopt},
        {900.300, 5, 25.0, std::nullopt},
        {900.2004, 1, 0.0, 0},
        {900.201, 1, 0.0, std::nullopt},  // no step: within 0.5 kHz
        {455.000, 31, 12.5, 2},
        {455.000, 32, 12.5, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchSiteRow(sites, c.mhz, c.channel, c.stepKHz), c.row) << c.mhz;
}

TEST(Calibration, ChannelsWithoutASiteAreSkippedAndListed) {
    const SitesFile sites = Sites({MakeSite("North", 900.2), MakeSite("South", 935.0)});
    auto means = RadialDrive(sites.rows[0], 200.0, 3000.0, 20.0, 7, LogDistance(120.0, 35.0));
    SiteRow stray = MakeSite("nobody", 912.5);
    const auto other = RadialDrive(stray, 200.0, 1000.0, 20.0, 9, LogDistance(120.0, 35.0));
    means.insert(means.end(), other.begin(), other.end());
    const auto result = Calibrate(sites, means);
    ASSERT_EQ(result.unmatched.size(), 1u);
    EXPECT_EQ(result.unmatched[0].channel, 9);
    EXPECT_DOUBLE_EQ(result.unmatched[0].frequencyMHz, 912.5);
    EXPECT_EQ(result.unmatched[0].localMeans, static_cast<std::int64_t>(other.size()));
    EXPECT_EQ(result.localMeans, static_cast<std::int64_t>(means.size()));
    // The site row no channel matched is named.
    ASSERT_FALSE(result.warnings.empty());
    EXPECT_NE(result.warnings.back().find("row 2 (South, 935.000 MHz)"), std::string::npos)
        << result.warnings.back();
    EXPECT_EQ(FitOf(result, "South", false), nullptr);
}

TEST(Calibration, TunedHataIsTheLogDistanceFitShiftedByTheModelsOtherTerms) {
    struct Case {
        double mhz, heightM;
        HataEnvironment environment;
    } const cases[] = {{900.2, 35.0, HataEnvironment::Urban},
                       {450.0, 60.0, HataEnvironment::Open},
                       {1850.0, 30.0, HataEnvironment::Metropolitan}};
    for (const Case& c : cases) {
        const SitesFile sites = Sites({MakeSite("North", c.mhz, 43.0, c.heightM)});
        test::Gaussian gauss(3);
        const auto means =
            RadialDrive(sites.rows[0], 200.0, 9000.0, 15.0, 7, [&](double d, std::size_t) {
                return 130.0 + 33.0 * std::log10(d / 1000.0) + 5.0 * gauss();
            });
        CalibrationOptions options;
        options.environment = c.environment;
        const auto result = Calibrate(sites, means, options);
        const CalibrationFit* fit = FitOf(result, "North", false);
        ASSERT_TRUE(fit && fit->logDistance && fit->hata) << c.mhz;
        const auto terms = HataTermsFor(c.mhz, c.heightM, 1.5, c.environment);
        const HataFit& h = *fit->hata;
        EXPECT_NEAR(*h.k2DbPerDecade, fit->logDistance->slope, 1e-9) << c.mhz;
        EXPECT_NEAR(*h.k1Db, fit->logDistance->intercepts[0] - terms->other, 1e-9) << c.mhz;
        EXPECT_NEAR(h.tuned->rms, fit->logDistance->errors.rms, 1e-9) << c.mhz;
        EXPECT_EQ(h.model, HataModelName(terms->model));
        // As it stands: the measured less the model's path loss, weighted as the fit.
        double total = 0.0, sum = 0.0;
        for (std::size_t k = 0; k < fit->pointIndices.size(); ++k) {
            const CalibrationPoint& p = result.points[fit->pointIndices[k]];
            total += fit->logDistance->weights[k];
            sum += fit->logDistance->weights[k] * (p.pathLossDb - terms->PathLossDb(p.distanceM));
        }
        EXPECT_NEAR(h.asItStands.mean, sum / total, 1e-9) << c.mhz;
        // Points under 1 km lie outside the model's distances.
        ASSERT_FALSE(h.warnings.empty());
        EXPECT_NE(h.warnings.back().find("outside the model's 1-20 km"), std::string::npos);
    }
}

TEST(Calibration, PooledSiteFitsOneSlopeWithAnInterceptPerChannel) {
    const SitesFile sites = Sites({MakeSite("North", 900.2, 43.0), MakeSite("North", 1850.0, 40.0),
                                   MakeSite("West", 450.0, 30.0)});
    auto means = RadialDrive(sites.rows[0], 200.0, 8000.0, 13.0, 7, LogDistance(121.0, 37.0), 1);
    const auto second =
        RadialDrive(sites.rows[1], 300.0, 8000.0, 11.0, 8, LogDistance(133.0, 37.0), 1, 90.0);
    const auto west =
        RadialDrive(sites.rows[2], 200.0, 4000.0, 13.0, 3, LogDistance(110.0, 30.0), 2);
    means.insert(means.end(), second.begin(), second.end());
    means.insert(means.end(), west.begin(), west.end());
    const auto result = Calibrate(sites, means);
    // North 900, North 1850, North pooled, West 450, West pooled.
    ASSERT_EQ(result.fits.size(), 5u);
    const CalibrationFit* pooled = FitOf(result, "North", true);
    ASSERT_TRUE(pooled && pooled->logDistance);
    EXPECT_EQ(pooled->rows, (std::vector<std::size_t>{0, 1}));
    EXPECT_NEAR(pooled->logDistance->slope, 37.0, 1e-9);
    EXPECT_NEAR(pooled->logDistance->intercepts[0], 121.0, 1e-9);
    EXPECT_NEAR(pooled->logDistance->intercepts[1], 133.0, 1e-9);
    EXPECT_EQ(pooled->points,
              static_cast<std::int64_t>(means.size() - west.size()) - pooled->excluded[0]);
    ASSERT_TRUE(pooled->hata);
    EXPECT_EQ(pooled->hata->model, "okumura-hata+cost231-hata");
    const CalibrationFit* westPooled = FitOf(result, "West", true);
    EXPECT_NEAR(westPooled->logDistance->slope, 30.0, 1e-9);
}

TEST(Calibration, SeveralLogsPoolAsOneCampaignWithTheirOwnRoutes) {
    const SitesFile sites = Sites({MakeSite("North", 900.2, 43.0)});
    const auto out = RadialDrive(sites.rows[0], 200.0, 4000.0, 13.0, 7, LogDistance(125.0, 35.0));
    const auto back =
        RadialDrive(sites.rows[0], 300.0, 9000.0, 17.0, 7, LogDistance(125.0, 35.0), 1, 45.0);
    CalibrationCollector collector(sites, {});
    collector.BeginLog("day1.klf", {});
    for (const LocalMean& m : out) collector.Add(m);
    collector.BeginLog("day2.klf", {});
    for (const LocalMean& m : back) collector.Add(m);
    const auto result = collector.Finish();
    EXPECT_EQ(result.logs, (std::vector<std::string>{"day1.klf", "day2.klf"}));
    // Scan 1 of each log is a route of its own, starting at 0 m.
    ASSERT_EQ(result.segments.size(), 2u);
    EXPECT_EQ(result.segments[1].log, 1);
    EXPECT_EQ(result.points[out.size()].segment, 1);
    EXPECT_EQ(result.points[out.size()].routeM, 0.0);
    EXPECT_NEAR(result.points[out.size() + 1].routeM, 17.0, 0.05);
    // Along a straight road the route is the distance from its first point.
    EXPECT_NEAR(result.points[out.size() - 1].routeM,
                GeodesicMetres(out.front().latitude, out.front().longitude, out.back().latitude,
                               out.back().longitude),
                0.01);
    const CalibrationFit* fit = FitOf(result, "North", false);
    EXPECT_EQ(fit->points, static_cast<std::int64_t>(out.size() + back.size()));
    EXPECT_NEAR(fit->logDistance->slope, 35.0, 1e-9);
}

TEST(Calibration, ShortDrivesAndRefusedModelsAreWarnedAbout) {
    const SitesFile sites = Sites({MakeSite("North", 1800.0)});
    CalibrationOptions options;
    options.environment = HataEnvironment::Open;
    const auto result = Calibrate(
        sites, RadialDrive(sites.rows[0], 1000.0, 3000.0, 13.0, 7, LogDistance(130.0, 35.0)),
        options);
    const CalibrationFit* fit = FitOf(result, "North", false);
    ASSERT_TRUE(fit && fit->logDistance);
    EXPECT_FALSE(fit->hata);
    ASSERT_EQ(fit->warnings.size(), 2u);
    EXPECT_NE(fit->warnings[0].find("0.48 decades, under one"), std::string::npos)
        << fit->warnings[0];
    EXPECT_NE(fit->warnings[1].find("no open-area correction"), std::string::npos);

    const auto tiny =
        Calibrate(sites, RadialDrive(sites.rows[0], 1000.0, 1020.0, 13.0, 7, LogDistance(1, 1)));
    ASSERT_FALSE(FitOf(tiny, "North", false)->logDistance);
    EXPECT_NE(FitOf(tiny, "North", false)->warnings[0].find("too few points"), std::string::npos);

    // Every local mean left out: no fit and no model figures, only the counts.
    CalibrationOptions near;
    near.maxDistanceKm = 0.5;
    const auto drive = RadialDrive(sites.rows[0], 1000.0, 3000.0, 13.0, 7, LogDistance(1, 1));
    const auto leftOut = Calibrate(sites, drive, near);
    const CalibrationFit* none = FitOf(leftOut, "North", false);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->points, 0);
    EXPECT_EQ(none->excluded[1], static_cast<std::int64_t>(drive.size()));
    EXPECT_FALSE(none->logDistance || none->hata);
}

}  // namespace
}  // namespace varistrum
