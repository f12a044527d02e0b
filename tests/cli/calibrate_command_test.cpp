// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli calibrate on simulated drives whose model is known: the model comes back, the
// standard errors hold it, linear local means are forced, exclusions are counted as the log
// gives them, sites files are refused with file, row and field, the files go out as one set, and
// the locale changes nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "base/geodesic.h"
#include "calibration/calibration_output.h"
#include "logfile/identify.h"
#include "support/test_files.h"

namespace varistrum {
namespace {

using Json = nlohmann::json;
using test::ReadFile;
using test::RunCommand;
using test::TempDir;

const std::string kCli = VARISTRUM_CLI;
const std::string kSim = VARISTRUM_SIM;

// The simulator's model of a site, from the model file beside its sites file.
struct Truth {
    double interceptDb = 0.0, dbPerDecade = 0.0;
};

class CalibrateTest : public ::testing::Test {
  protected:
    // A calibration drive and its sites file (`name`.klf, `name`.csv).
    std::string Drive(const std::string& name, int seed, const std::string& options = {}) {
        const std::string log = dir_.File(name + ".klf");
        EXPECT_EQ(RunCommand(kSim + " --seed " + std::to_string(seed) + " --out " + log +
                             " --scenario calibration --sites-out " + Sites(name) + " " + options +
                             " 2>/dev/null"),
                  0);
        return log;
    }
    std::string Sites(const std::string& name) const { return dir_.File(name + ".csv"); }
    Truth TruthOf(const std::string& name, const std::string& site = "S1") const {
        const Json model = Json::parse(ReadFile(dir_.File(name + ".model.json")));
        for (const Json& s : model["sites"])
            if (s["site"] == site) return {s["intercept_db_at_1km"], s["db_per_decade"]};
        ADD_FAILURE() << "no site " << site;
        return {};
    }
    int Cli(const std::string& arguments, const std::string& environment = {}) const {
        return RunCommand(environment + " " + kCli + " " + arguments + " >" + dir_.File("stdout") +
                          " 2>" + dir_.File("stderr"));
    }
    std::string Out() const { return ReadFile(dir_.File("stdout")); }
    std::string Err() const { return ReadFile(dir_.File("stderr")); }
    // The fit of the one site-channel the drive matched.
    Json ChannelFit() const {
        const Json report = Json::parse(Out());
        for (const Json& fit : report["fits"])
            if (!fit["pooled"] && !fit["log_distance"].is_null()) return fit;
        ADD_FAILURE() << "no fit in " << Out();
        return {};
    }

    TempDir dir_;
};

// Shadowing and fading off: the log holds each local mean as whole dBm, and the fit returns the
// simulator's intercept and slope within 0.2 dB, whichever receiver and weighting. GPS outages
// are dropped: the log's fixes stand still through them while the car drives on.
TEST_F(CalibrateTest, CleanDrivesGiveTheSimulatorsModelBack) {
    for (const int seed : {1, 5}) {
        const std::string log = Drive("clean", seed, "--no-fading --shadow-sigma 0");
        const Truth truth = TruthOf("clean");
        for (const char* receiver : {"1", "2"}) {
            for (const char* weighting : {"wls", "ols"}) {
                const std::string what = std::to_string(seed) + " rx" + receiver + " " + weighting;
                ASSERT_EQ(Cli("calibrate -q --json --drop-outages 5 " + log + " --sites " +
                              Sites("clean") + " --receiver " + receiver + " --fit " + weighting),
                          0)
                    << Err();
                const Json fit = ChannelFit()["log_distance"];
                EXPECT_NEAR(fit["a_db"].get<double>(), truth.interceptDb, 0.2) << what;
                EXPECT_NEAR(fit["b_db_per_decade"].get<double>(), truth.dbPerDecade, 0.2) << what;
                EXPECT_EQ(fit["weighting"], weighting) << what;
            }
        }
    }
}

// Shadowing (7 dB, 50 m) and Rayleigh fading on, the calibration scenario's drive spanning more
// than a decade: the slope and the intercept lie within two of their own correlation-aware
// standard errors of the truth in at least 8 of 10 seeds.
TEST_F(CalibrateTest, StandardErrorsHoldTheTruthOnShadowedFadedDrives) {
    int held = 0;
    for (int seed = 1; seed <= 10; ++seed) {
        const std::string log = Drive("drive", seed);
        const Truth truth = TruthOf("drive");
        ASSERT_EQ(Cli("calibrate -q --json " + log + " --sites " + Sites("drive")), 0) << Err();
        const Json fit = ChannelFit();
        EXPECT_GT(fit["span_decades"].get<double>(), 1.0) << seed;
        const Json& line = fit["log_distance"];
        const bool a = std::fabs(line["a_db"].get<double>() - truth.interceptDb) <=
                       2.0 * line["se_a_db"].get<double>();
        const bool b = std::fabs(line["b_db_per_decade"].get<double>() - truth.dbPerDecade) <=
                       2.0 * line["se_b_db_per_decade"].get<double>();
        held += a && b ? 1 : 0;
    }
    EXPECT_GE(held, 8);
}

// The calibration's local means of one log through the runner, in either domain.
CalibrationResult DirectCalibration(const std::string& log, const std::string& sitesPath,
                                    bool linear) {
    SitesFile sites;
    EXPECT_EQ(ReadSitesFile(sitesPath, sites), "");
    CalibrationOptions options;
    options.noiseFloorDbm = -130.0;
    CalibrationCollector collector(std::move(sites), options);
    CalibrationOutput output(collector, {log});
    ConversionSettings data;
    data.convertAllScans = true;
    ConversionSettings settings = CalibrationSettingsOf(data);
    EXPECT_EQ(settings.averageType, kAverageLambda);
    EXPECT_TRUE(settings.averageLinearPower);
    settings.averageLinearPower = linear;
    TavrelReader reader;
    reader.SetInputFormat(IdentifyLogFile(log));
    const JobSpec job{{log}, JobKind::SingleFile, settings, 1};
    JobOutput* const outputs[] = {&output};
    test::RecordingObserver observer;
    EXPECT_EQ(ConvertJobInput(reader, job, 0, outputs, observer, {}).outcome,
              JobOutcome::Completed);
    return collector.Finish();
}

// Under Rayleigh fading a mean of dB values reads about 2.5 dB low, so dB-domain local means
// would read about 2.5 dB more loss; the command averages power whatever --average-domain says.
TEST_F(CalibrateTest, LocalMeansAreLinearWhateverTheAveragingDomain) {
    const std::string log = Drive("faded", 7, "--shadow-sigma 0");
    const Truth truth = TruthOf("faded");
    const CalibrationResult linear = DirectCalibration(log, Sites("faded"), true);
    const CalibrationResult db = DirectCalibration(log, Sites("faded"), false);
    ASSERT_FALSE(linear.fits.empty());
    ASSERT_FALSE(db.fits.empty());
    const LineFit& l = *linear.fits.front().logDistance;
    const LineFit& d = *db.fits.front().logDistance;
    EXPECT_NEAR(l.intercepts[0], truth.interceptDb, 0.5);
    EXPECT_NEAR(d.intercepts[0] - l.intercepts[0], 2.5, 0.4);
    EXPECT_NEAR(d.slope, l.slope, 0.5);
    for (const char* domain : {"db", "linear"}) {
        ASSERT_EQ(Cli("calibrate --json --noise-floor-dbm -130 --average-domain " +
                      std::string(domain) + " " + log + " --sites " + Sites("faded")),
                  0)
            << Err();
        EXPECT_DOUBLE_EQ(ChannelFit()["log_distance"]["a_db"].get<double>(), l.intercepts[0])
            << domain;
        EXPECT_EQ(Err().find("--average-domain db is not used") != std::string::npos,
                  std::string(domain) == "db");
    }
}

// Whole-dBm levels of the log's text, and positions, line by line.
struct TextPoint {
    double latitude = 0.0, longitude = 0.0;
    std::vector<int> levels;
};

std::vector<TextPoint> TextPoints(const std::string& text) {
    std::vector<TextPoint> points;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string field;
        TextPoint p;
        std::getline(fields, field, ',');
        p.latitude = std::stod(field);
        std::getline(fields, field, ',');
        p.longitude = std::stod(field);
        while (std::getline(fields, field, ',')) p.levels.push_back(std::stoi(field));
        points.push_back(std::move(p));
    }
    return points;
}

// The counts of what the fit left out agree with the log: local means closer than the minimum
// distance, farther than the maximum, and (by default) levels within 3 dB of the lowest level
// the log holds for the channel. The 40-lambda text writes each local mean truncated toward
// zero, which for a whole-dBm floor decides "within 3 dB" exactly as the unrounded mean does.
TEST_F(CalibrateTest, ExclusionsAreCountedAsTheLogGivesThem) {
    const std::string log = Drive("counted", 2, "--no-fading --shadow-sigma 0");
    const std::string convert =
        "convert -q " + log + " -o - --no-header --tags 5,11,0 " + "--columns rssi --receiver 1";
    ASSERT_EQ(Cli(convert), 0);
    int floor = 0;
    for (const TextPoint& p : TextPoints(Out()))
        for (const int level : p.levels)
            if (level != -120) floor = std::min(floor, level);
    ASSERT_EQ(Cli(convert + " --average 40-lambda --average-domain linear"), 0);
    const std::vector<TextPoint> means = TextPoints(Out());
    std::ifstream sites(Sites("counted"));
    std::string header, row;
    std::getline(sites, header);
    std::getline(sites, row);
    std::istringstream fields(row);
    std::string name, latitude, longitude;
    std::getline(fields, name, ',');
    std::getline(fields, latitude, ',');
    std::getline(fields, longitude, ',');

    struct Case {
        double minM, maxKm;
    } const cases[] = {{100.0, 100.0}, {600.0, 100.0}, {300.0, 2.0}};
    std::int64_t seen[3] = {};  // each reason takes some local means in some case
    for (const Case& c : cases) {
        std::int64_t near = 0, far = 0, censored = 0, ambiguous = 0;
        for (const TextPoint& m : means) {
            const double d =
                GeodesicMetres(std::stod(latitude), std::stod(longitude), m.latitude, m.longitude);
            // Positions in the text have six decimals: 0.1 m either side is not decided here.
            if (std::fabs(d - c.minM) < 0.2 || std::fabs(d - c.maxKm * 1000.0) < 0.2) ++ambiguous;
            if (d < c.minM)
                ++near;
            else if (d > c.maxKm * 1000.0)
                ++far;
            else if (m.levels.front() <= floor + 3)
                ++censored;
        }
        ASSERT_EQ(Cli("calibrate -q --json " + log + " --sites " + Sites("counted") +
                      " --receiver 1 --min-distance-m " + std::to_string(c.minM) +
                      " --max-distance-km " + std::to_string(c.maxKm)),
                  0)
            << Err();
        const Json fit = ChannelFit();
        const Json& excluded = fit["excluded"];
        EXPECT_NEAR(excluded["below_min_distance"].get<double>(), near, ambiguous) << c.minM;
        EXPECT_NEAR(excluded["beyond_max_distance"].get<double>(), far, ambiguous) << c.maxKm;
        EXPECT_EQ(excluded["near_noise_floor"].get<std::int64_t>(), censored) << c.minM;
        seen[0] += near;
        seen[1] += far;
        seen[2] += censored;
        EXPECT_EQ(fit["points"].get<std::int64_t>() + near + far + censored,
                  static_cast<std::int64_t>(means.size()));
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
    EXPECT_GT(seen[2], 0);
}

// A sites file that cannot be used stops the command before the drive is read, naming the
// file, the row and the field; a drive none of whose channels has a site fails as well.
TEST_F(CalibrateTest, SitesFilesThatCannotServeAreRefused) {
    const std::string log = Drive("drive", 3, "--no-fading --shadow-sigma 0");
    const std::string good = ReadFile(Sites("drive"));
    const std::string header = good.substr(0, good.find('\n') + 1);
    struct Case {
        const char* name;
        std::string text;
        std::string error;
    } const cases[] = {
        {"no-eirp",
         "site,latitude,longitude,antenna_height_m,frequency_mhz\nS1,51.48,0.0,30,872.3\n",
         "the field eirp_dbm is missing"},
        {"bad-eirp", header + "S1,51.48,0.0,30,forty,872.3\n",
         "row 1, field eirp_dbm: the value 'forty' is not a number"},
        {"empty-site", header + "S1,51.48,0.0,30,43,872.3\n,51.48,0.0,30,43,880.0\n",
         "row 2, field site: the value is missing"},
        {"no-match", header + "S9,51.48,0.0,30,43,1800.0\n",
         "No channel of the drive matches a row of"},
    };
    for (const Case& c : cases) {
        const std::string sites = dir_.File(std::string(c.name) + ".csv");
        test::WriteFile(sites, c.text);
        EXPECT_EQ(Cli("calibrate -q " + log + " --sites " + sites), 1) << c.name;
        EXPECT_NE(Err().find(c.error), std::string::npos) << c.name << ": " << Err();
        EXPECT_EQ(Out(), "") << c.name;
        if (std::string(c.name) != "no-match") {
            EXPECT_NE(Err().find(sites), std::string::npos) << c.name;
        }
    }
}

// The report, the plot and the residual layer are one set: refused together before anything is
// read, put in place together, and when one cannot be written the earlier files all stay.
TEST_F(CalibrateTest, TheFilesAreWrittenAsOneSet) {
    const std::string log = Drive("drive", 4);
    const std::string sites = Sites("drive");
    const std::string plot = dir_.File("fit.png"), report = dir_.File("fit.json");
    test::WriteFile(plot, std::string("earlier plot"));
    struct Refusal {
        std::string files;
        std::string error;
    } const refusals[] = {
        {"--plot " + log, "The output file is the input file."},
        {"--residuals " + sites, "The output file is the sites file."},
        {"--plot /dev/null --residuals " + dir_.File("r.gpkg"), "is not a regular file"},
        {"--plot " + plot + " -o " + plot, "is written twice by one output."},
    };
    for (const Refusal& r : refusals) {
        EXPECT_EQ(Cli("calibrate -q " + log + " --sites " + sites + " " + r.files), 1) << r.files;
        EXPECT_NE(Err().find(r.error), std::string::npos) << r.files << ": " << Err();
        EXPECT_EQ(ReadFile(plot), "earlier plot");
    }
    // The residual layer cannot be created: the plot and the report are not put in place.
    EXPECT_EQ(Cli("calibrate -q --json " + log + " --sites " + sites + " --plot " + plot + " -o " +
                  report + " --residuals " + dir_.File("missing/r.gpkg")),
              1);
    EXPECT_NE(Err().find("missing/r.gpkg"), std::string::npos) << Err();
    EXPECT_EQ(ReadFile(plot), "earlier plot");
    EXPECT_FALSE(std::filesystem::exists(report));
    // All three.
    ASSERT_EQ(Cli("calibrate -q --json " + log + " --sites " + sites + " --plot " + plot + " -o " +
                  report + " --residuals " + dir_.File("r.gpkg") + " --plot-size 640x400"),
              0)
        << Err();
    EXPECT_EQ(Out(), "");
    EXPECT_EQ(ReadFile(plot).substr(1, 3), "PNG");
    EXPECT_EQ(Json::parse(ReadFile(report))["schema_version"], 1);
    EXPECT_TRUE(std::filesystem::exists(dir_.File("r.gpkg")));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
        if (entry.path().filename().string().front() == '.')
            names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{}) << "temporary files left";
}

// Numbers in, numbers out: a German locale reads the options and the sites file and writes the
// report, the JSON and the plot byte for byte as the C locale does.
// A threshold (here from a configuration) is not applied to a fit and the job says so once;
// standing still is, and leaves out the local means of the stops.
TEST_F(CalibrateTest, TheThresholdIsLeftOutAndStandingStillDropped) {
    const std::string log = Drive("stops", 3, "--stops 3,60 --shadow-sigma 0");
    const std::string base = "calibrate --json " + log + " --sites " + Sites("stops");
    ASSERT_EQ(Cli(base), 0) << Err();
    const std::string plain = Out();
    EXPECT_EQ(Err().find("threshold"), std::string::npos);
    const std::string config = dir_.File("threshold.cfg");
    test::WriteFile(config, "[OutputFilter]\r\nThreshold=1\r\nThresholdValue=-60\r\n");
    ASSERT_EQ(Cli(base + " --config " + config), 0) << Err();
    EXPECT_TRUE(Out() == plain);
    EXPECT_EQ(Err(),
              "Information: The threshold (RSSI > -60) is not applied here: coverage, comparisons, "
              "calibration and the report take every reading, as dropping weak ones would inflate "
              "coverage and bias a fit.\n");
    ASSERT_EQ(Cli(base + " --drop-stationary 3m,30"), 0) << Err();
    const Json stopped = Json::parse(Out());
    const Json all = Json::parse(plain);
    EXPECT_LT(stopped["fits"][0]["points"].get<int>(), all["fits"][0]["points"].get<int>());
}

TEST_F(CalibrateTest, TheLocaleChangesNothing) {
    const std::string log = Drive("drive", 6);
    std::vector<std::string> outputs[2];
    const char* locales[] = {"LC_ALL=C", "LC_ALL=de_DE.UTF-8"};
    for (int i = 0; i < 2; ++i) {
        for (const char* form : {"", "--json"}) {
            ASSERT_EQ(Cli("calibrate -q " + std::string(form) + " " + log + " --sites " +
                              Sites("drive") + " --rx-gain-dbi 2.5 --cable-loss-db 0.5 " +
                              "--plot " + dir_.File(std::string("p") + locales[i][7] + ".png"),
                          locales[i]),
                      0)
                << Err();
            outputs[i].push_back(Out());
        }
        outputs[i].push_back(ReadFile(dir_.File(std::string("p") + locales[i][7] + ".png")));
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_NE(outputs[0][0].find("Path loss = EIRP + 2.5 dBi - 0.5 dB - level"), std::string::npos)
        << outputs[0][0];
}

}  // namespace
}  // namespace varistrum
