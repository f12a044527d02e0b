// SPDX-License-Identifier: GPL-3.0-or-later
// Calibrations of several shapes as JSON: each parses here, and with
// VARISTRUM_CALIBRATION_JSON_DIR set they are written there for the schema check.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

#include "calibration/calibration_format.h"
#include "tests/calibration/synthetic_drive.h"

namespace varistrum {
namespace {

TEST(CalibrationJson, SamplesOfEveryShape) {
    SiteRow byChannel = test::MakeSite("East", 0.0, 37.0, 45.0);
    byChannel.frequencyMHz.reset();
    byChannel.channel = 12;
    std::vector<SiteRow> rows = {test::MakeSite("North", 900.2, 43.0),
                                 test::MakeSite("North", 1850.0, 40.0, 20.0), byChannel,
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
    for (const auto& m : test::RadialDrive(rows[1], 300.0, 6000.0, 11.0, 8, noisy(133, 37), 1, 90))
        means.push_back(m);
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
    };
    std::vector<Shape> shapes(4);
    shapes[0].name = "defaults";
    shapes[1].name = "ols-metropolitan-max";
    shapes[1].options.weighting = FitWeighting::Ordinary;
    shapes[1].options.environment = HataEnvironment::Metropolitan;
    shapes[1].options.maxDistanceKm = 5.0;
    shapes[2].name = "open-refused";
    shapes[2].options.environment = HataEnvironment::Open;
    shapes[2].options.noiseFloorDbm = -110.0;
    shapes[3].name = "nothing-matched";
    const char* folder = std::getenv("VARISTRUM_CALIBRATION_JSON_DIR");
    for (const Shape& shape : shapes) {
        CalibrationCollector collector(sites, shape.options);
        ChannelFloors floors;
        floors.Note(7, -112.0);
        collector.BeginLog("drive.klf", floors);
        if (std::string(shape.name) != "nothing-matched")
            for (const LocalMean& m : means) collector.Add(m);
        const std::string json = CalibrationJson(collector.Finish());
        const auto parsed = nlohmann::json::parse(json);
        EXPECT_EQ(parsed["schema_version"], kCalibrationSchemaVersion) << shape.name;
        if (folder != nullptr)
            std::ofstream(std::string(folder) + "/" + shape.name + ".json") << json;
    }
}

}  // namespace
}  // namespace varistrum
