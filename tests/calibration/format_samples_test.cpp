// SPDX-License-Identifier: GPL-3.0-or-later
// Calibrations of several shapes as text and JSON: the text fits 80 columns and says what it
// must; the JSON parses, holds the fits' figures, and with VARISTRUM_CALIBRATION_JSON_DIR set
// is written there for the schema check.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "calibration/calibration_format.h"
#include "tests/calibration/synthetic_drive.h"

namespace varistrum {
namespace {

TEST(CalibrationFormat, SamplesOfEveryShape) {
    SiteRow byChannel = test::MakeSite("East", 0.0, 37.0, 45.0);
    byChannel.frequencyMHz.reset();
    byChannel.channel = 12;
    std::vector<SiteRow> rows = {test::MakeSite("North tower with a long name", 900.2, 43.0),
                                 test::MakeSite("North tower with a long name", 1850.0, 40.0),
                                 byChannel, test::MakeSite("Short", 1800.0, 40.0, 25.0),
                                 test::MakeSite("Unheard", 470.0)};
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i].row = static_cast<int>(i) + 1;
    const SitesFile sites{"sites \"quoted\".csv", rows};
    test::Gaussian gauss(21);
    const auto noisy = [&](double a, double b) {
        return [&gauss, a, b](double d, std::size_t) {
            return a + b * std::log10(d / 1000.0) + 6.0 * gauss();
        };
    };
    std::vector<LocalMean> means =
        test::RadialDrive(rows[0], 50.0, 9000.0, 13.0, 7, noisy(121, 37));
    const auto add = [&](const std::vector<LocalMean>& more) {
        means.insert(means.end(), more.begin(), more.end());
    };
    add(test::RadialDrive(rows[1], 300.0, 6000.0, 11.0, 8, noisy(133, 37), 1, 90));
    add(test::RadialDrive(rows[3], 300.0, 900.0, 11.0, 4, noisy(133, 37), 1, 180));
    for (auto m : test::RadialDrive(rows[2], 300.0, 320.0, 11.0, 12, noisy(110, 30), 2)) {
        m.frequencyMHz = 455.0;
        means.push_back(m);
    }
    for (auto m : test::RadialDrive(rows[0], 300.0, 900.0, 30.0, 9, noisy(110, 30), 2)) {
        m.frequencyMHz = 912.5;
        means.push_back(m);
    }
    struct Shape {
        const char* name;
        CalibrationOptions options;
        std::vector<std::string> texts;  // the text holds these
    };
    std::vector<Shape> shapes(4);
    shapes[0].name = "defaults";
    shapes[0].texts = {"North tower with a long name, 900.200 MHz",
                       "pooled over 2 channels",
                       "Channels without a site (skipped): 912.500 MHz (channel 9",
                       "Okumura-Hata urban as it stands",
                       "COST-231 Hata urban as it stands",
                       "Tuned: K1",
                       "under one: the slope is unreliable",
                       "base antenna height 25 m is outside",
                       "too few points",
                       "row 5 (Unheard, 470.000 MHz): no local mean"};
    shapes[1].name = "ols-metropolitan-max";
    shapes[1].options.weighting = FitWeighting::Ordinary;
    shapes[1].options.environment = HataEnvironment::Metropolitan;
    shapes[1].options.maxDistanceKm = 5.0;
    shapes[1].texts = {"least squares, every point alike", "beyond 5.00 km",
                       "Okumura-Hata metropolitan as it stands"};
    shapes[2].name = "open-refused";
    shapes[2].options.environment = HataEnvironment::Open;
    shapes[2].options.noiseFloorDbm = -110.0;
    shapes[2].texts = {"noise floor -110.0 dBm", "no open-area correction"};
    shapes[3].name = "nothing-matched";
    const char* folder = std::getenv("VARISTRUM_CALIBRATION_JSON_DIR");
    for (const Shape& shape : shapes) {
        CalibrationCollector collector(sites, shape.options);
        ChannelFloors floors;
        floors.Note(7, -112.0);
        collector.BeginLog("drive.klf", floors);
        if (std::string(shape.name) != "nothing-matched")
            for (const LocalMean& m : means) collector.Add(m);
        const CalibrationResult result = collector.Finish();

        const std::string text = CalibrationText(result);
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line))
            EXPECT_LE(line.size(), kCalibrationColumns) << shape.name << ": " << line;
        // Looked for with the lines joined: wrapping may break a phrase.
        std::string joined;
        for (const char c : text)
            if (c != '\n' && !(c == ' ' && !joined.empty() && joined.back() == ' '))
                joined.push_back(c);
            else if (c == '\n')
                joined.push_back(' ');
        for (const std::string& expected : shape.texts)
            EXPECT_NE(joined.find(expected), std::string::npos)
                << shape.name << ": " << expected << "\n"
                << text;

        const std::string json = CalibrationJson(result);
        const auto parsed = nlohmann::json::parse(json);
        EXPECT_EQ(parsed["schema_version"], kCalibrationSchemaVersion) << shape.name;
        ASSERT_EQ(parsed["fits"].size(), result.fits.size()) << shape.name;
        for (std::size_t i = 0; i < result.fits.size(); ++i) {
            const CalibrationFit& fit = result.fits[i];
            const auto& entry = parsed["fits"][i];
            EXPECT_EQ(entry["frequency_mhz"].is_null(), fit.pooled);
            EXPECT_EQ(entry["points"], fit.points);
            if (!fit.logDistance) {
                EXPECT_TRUE(entry["log_distance"].is_null());
                continue;
            }
            const auto& line = entry["log_distance"];
            EXPECT_DOUBLE_EQ(line["b_db_per_decade"].get<double>(), fit.logDistance->slope);
            EXPECT_DOUBLE_EQ(line["n"].get<double>(), fit.logDistance->slope / 10.0);
            EXPECT_DOUBLE_EQ(line["rmse_db"].get<double>(), fit.logDistance->errors.rms);
            EXPECT_EQ(line["intercepts"].size(), fit.logDistance->intercepts.size());
            // A single intercept is A; pooled over channels there is none.
            EXPECT_EQ(line["a_db"].is_null(), fit.logDistance->intercepts.size() > 1);
        }
        if (folder != nullptr)
            std::ofstream(std::string(folder) + "/" + shape.name + ".json") << json;
    }
}

}  // namespace
}  // namespace varistrum
