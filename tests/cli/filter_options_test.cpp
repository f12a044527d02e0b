// SPDX-License-Identifier: GPL-3.0-or-later
// --drop-stationary and --threshold: what they accept in any locale, what they refuse as usage
// errors, and that a configuration file's filters give the same output as the options.
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>

#include "cli/convert_options.h"
#include "support/test_files.h"

namespace varistrum {
namespace {

using test::ReadFile;
using test::RunCommand;
using test::TempDir;

const std::string kCli = VARISTRUM_CLI;
const std::string kSim = VARISTRUM_SIM;

// Both parsers, in the C locale and where the decimal mark is a comma.
class FilterOptionParseTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        if (std::setlocale(LC_ALL, GetParam()) == nullptr)
            GTEST_SKIP() << GetParam() << " is not installed";
    }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_P(FilterOptionParseTest, DropStationaryTakesADistanceWithItsUnitAndWholeSeconds) {
    struct Case {
        const char* text;
        std::optional<StandStillRule> rule;
    };
    const Case cases[] = {
        {"50m,30", StandStillRule{50, DistanceUnit::Metres, 30}},
        {".0005deg,30", StandStillRule{0.0005, DistanceUnit::Degrees, 30}},
        {"1.5min,3600", StandStillRule{1.5, DistanceUnit::Minutes, 3600}},
        {"2e1m,1", StandStillRule{20, DistanceUnit::Metres, 1}},
        {"50,30", std::nullopt},    // no unit
        {"50km,30", std::nullopt},  // no such unit
        {"50 m,30", std::nullopt},  // a blank inside
        {"0m,30", std::nullopt},    // not above 0
        {"-5m,30", std::nullopt},
        {"0,5m,30", std::nullopt},  // a decimal comma
        {"50m,0", std::nullopt},    // seconds 1 to 3600
        {"50m,3601", std::nullopt},
        {"50m,30.5", std::nullopt},  // whole seconds
        {"50m", std::nullopt},
        {"50m,30,1", std::nullopt},
        {"infm,30", std::nullopt},
        {"1e309deg,30", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(cli::ParseStandStillOption(c.text), c.rule) << c.text;
}

TEST_P(FilterOptionParseTest, ThresholdTakesAFieldAComparisonAndANumber) {
    struct Case {
        const char* text;
        std::optional<ThresholdRule> rule;
    };
    using F = ThresholdField;
    using C = Comparator;
    const Case cases[] = {
        {"rssi>-90", ThresholdRule{F::Rssi, C::Greater, -90}},
        {"rssi>=-90", ThresholdRule{F::Rssi, C::GreaterOrEqual, -90}},
        {"RSSI = -90.5", ThresholdRule{F::Rssi, C::Equal, -90.5}},
        {"rssi<=-90", ThresholdRule{F::Rssi, C::LessOrEqual, -90}},
        {"rssi<-90", ThresholdRule{F::Rssi, C::Less, -90}},
        {"velocity>=5", ThresholdRule{F::Velocity, C::GreaterOrEqual, 5}},
        {"rssi,gt,-90", ThresholdRule{F::Rssi, C::Greater, -90}},
        {"velocity,ge,2.5", ThresholdRule{F::Velocity, C::GreaterOrEqual, 2.5}},
        {"rssi,eq,-90", ThresholdRule{F::Rssi, C::Equal, -90}},
        {"rssi,le,-90", ThresholdRule{F::Rssi, C::LessOrEqual, -90}},
        {"rssi,lt,-90", ThresholdRule{F::Rssi, C::Less, -90}},
        {"level>-90", std::nullopt},
        {"rssi=>-90", std::nullopt},
        {"rssi>", std::nullopt},
        {"rssi>-90dBm", std::nullopt},
        {"rssi>-90,5", std::nullopt},  // a decimal comma
        {"rssi,gte,-90", std::nullopt},
        {"rssi,>,-90", std::nullopt},
        {"rssi,gt", std::nullopt},
        {"rssi-90", std::nullopt},
        {"rssi>nan", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(cli::ParseThresholdOption(c.text), c.rule) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Locales, FilterOptionParseTest, ::testing::Values("C", "de_DE.UTF-8"));

class FilterOptionsTest : public ::testing::Test {
  protected:
    FilterOptionsTest() : log_(dir_.File("stops.klf")) {
        EXPECT_EQ(RunCommand(kSim +
                             " --seed 5 --scenario single-gps --duration 300 --stops 2,60 "
                             "--out " +
                             log_ + " 2>/dev/null"),
                  0);
    }
    int Cli(const std::string& arguments) const {
        return RunCommand(kCli + " " + arguments + " >" + dir_.File("stdout") + " 2>" +
                          dir_.File("stderr"));
    }
    std::string Err() const { return ReadFile(dir_.File("stderr")); }
    std::string Out() const { return ReadFile(dir_.File("stdout")); }

    TempDir dir_;
    std::string log_;
};

TEST_F(FilterOptionsTest, AMalformedFilterIsAUsageErrorNamingTheOption) {
    const std::pair<const char*, const char*> cases[] = {
        {"convert {log} -o {out} --drop-stationary 50,30", "--drop-stationary"},
        {"convert {log} -o {out} --drop-stationary 50m,0", "--drop-stationary"},
        {"convert {log} -o {out} --threshold 'rssi>>5'", "--threshold"},
        {"convert {log} -o {out} --threshold rssi", "--threshold"},
        {"map {log} -o {out} --threshold 'speed>5'", "--threshold"},
        {"report {log} --drop-stationary 5deg", "--drop-stationary"},
        {"bins {log} -o {out}.tif --threshold 'rssi>-90'", "--threshold"},  // not for cells
    };
    for (const auto& [command, option] : cases) {
        std::string line = command;
        line.replace(line.find("{log}"), 5, log_);
        if (const auto at = line.find("{out}"); at != std::string::npos)
            line.replace(at, 5, dir_.File("x.out"));
        EXPECT_EQ(Cli(line), 2) << command;
        EXPECT_EQ(Err().rfind("Error: " + std::string(option), 0), 0u) << command << '\n' << Err();
        EXPECT_FALSE(std::filesystem::exists(dir_.File("x.out"))) << command;
    }
}

// The options and a saved configuration's [OutputFilter] entries give the same text; the job
// says what each filter dropped.
TEST_F(FilterOptionsTest, TheOptionsAndAConfigurationGiveTheSameOutput) {
    const std::string tags = " --tags 22,5,11,0 --no-header -o ";
    ASSERT_EQ(Cli("convert " + log_ + tags + dir_.File("plain.out")), 0) << Err();
    ASSERT_EQ(Cli("convert " + log_ +
                  " --drop-stationary 3m,30 --threshold 'rssi>=-95' --drop-outages 60 "
                  "--provenance" +
                  tags + dir_.File("options.out")),
              0)
        << Err();
    EXPECT_NE(Err().find("Information: Filters dropped "), std::string::npos) << Err();
    EXPECT_NE(Err().find(" data records while standing still (2 stops, "), std::string::npos)
        << Err();
    EXPECT_NE(Err().find(" rows that did not meet the threshold.\n"
                         "Information: Conversion Has Been Completed!\n"),
              std::string::npos)
        << Err();
    // The provenance record holds the settings and the counts the line gives.
    const std::string record = ReadFile(dir_.File("options.out.provenance.json"));
    EXPECT_NE(record.find("\"drop_standing_still\":true,\"standing_still_distance\":3,"
                          "\"standing_still_unit\":\"metres\",\"standing_still_seconds\":30,"
                          "\"threshold\":true,\"threshold_field\":\"rssi\","
                          "\"threshold_comparator\":\">=\",\"threshold_value\":-95,"),
              std::string::npos)
        << record;
    const auto count = [&record](const std::string& key) {
        const std::size_t at = record.find("\"" + key + "\":");
        return at == std::string::npos
                   ? std::string("?")
                   : record.substr(at + key.size() + 3,
                                   record.find_first_of(",}", at) - (at + key.size() + 3));
    };
    EXPECT_EQ(count("stops"), "2");
    EXPECT_NE(
        Err().find("Filters dropped " + count("rows_dropped_in_outages") +
                   " data records in GPS outages, " + count("rows_dropped_standing_still") +
                   " data records while standing still (2 stops, " + count("stopped_seconds") +
                   " s) and " + count("rows_dropped_by_threshold") +
                   " rows that did not meet the threshold."),
        std::string::npos)
        << Err() << record;
    const std::string config = dir_.File("filters.cfg");
    test::WriteFile(config,
                    "[OutputFilter]\r\nTraffic=1\r\nTrafficDistance=3\r\nTrafficUnit=2\r\n"
                    "TrafficSeconds=30\r\nThreshold=1\r\nThresholdField=0\r\n"
                    "ThresholdComparator=1\r\nThresholdValue=-95\r\n");
    ASSERT_EQ(Cli("convert " + log_ + " --config " + config + " --drop-outages 60" + tags +
                  dir_.File("config.out")),
              0)
        << Err();
    const std::string filtered = ReadFile(dir_.File("options.out"));
    EXPECT_TRUE(ReadFile(dir_.File("config.out")) == filtered);
    EXPECT_LT(filtered.size(), ReadFile(dir_.File("plain.out")).size());
}

// Coverage cells leave a configuration's threshold out, saying so once, and drop standing
// still as the text does.
TEST_F(FilterOptionsTest, CoverageCellsLeaveOutTheThresholdAndDropStandingStill) {
    const std::string config = dir_.File("threshold.cfg");
    test::WriteFile(config, "[OutputFilter]\r\nThreshold=1\r\nThresholdValue=-80\r\n");
    const auto bins = [&](const std::string& name, const std::string& options) {
        EXPECT_EQ(Cli("bins " + log_ + " -o " + dir_.File(name) + " --statistics count " + options),
                  0)
            << Err();
        return ReadFile(dir_.File(name));
    };
    const std::string plain = bins("plain.tif", "");
    EXPECT_EQ(Err().find("threshold"), std::string::npos) << Err();
    EXPECT_TRUE(bins("config.tif", "--config " + config) == plain);
    EXPECT_NE(Err().find("Information: The threshold (RSSI > -80) is not applied here"),
              std::string::npos)
        << Err();
    const std::string cells = Err();
    bins("stationary.tif", "--drop-stationary 3m,30");
    EXPECT_NE(Err().find(" data records while standing still (2 stops, "), std::string::npos)
        << Err();
    // Fewer samples in the cells: the stops' are gone.
    const auto samples = [](const std::string& text) {
        const std::size_t at = text.find(" samples (");
        const std::size_t from = text.rfind("from ", at);
        return std::stol(text.substr(from + 5, at - from - 5));
    };
    EXPECT_LT(samples(Err()), samples(cells));
    EXPECT_EQ(Cli("compare " + log_ + " " + log_ + " --drop-stationary 3m,30 --config " + config),
              0)
        << Err();
    EXPECT_NE(Err().find("Information: The threshold (RSSI > -80) is not applied here"),
              std::string::npos)
        << Err();
}

// The report leaves the stops' samples out and tells their time; a report without the option
// says nothing of standing still.
TEST_F(FilterOptionsTest, TheReportTellsTheTimeStandingStill) {
    ASSERT_EQ(Cli("report " + log_), 0) << Err();
    const std::string plain = Out();
    EXPECT_EQ(plain.find("Standing still"), std::string::npos);
    ASSERT_EQ(Cli("report " + log_ + " --drop-stationary 3m,30"), 0) << Err();
    const std::string report = Out();
    EXPECT_NE(report.find("Standing still dropped: stops within 3 m of their first fix for 30 s "
                          "or more"),
              std::string::npos)
        << report;
    // Two stops of 60 s, less the bad fixes at their ends.
    EXPECT_NE(report.find("  Standing still 0:01:"), std::string::npos) << report;
    EXPECT_NE(report.find(" %), 2 stops\n"), std::string::npos) << report;
    ASSERT_EQ(Cli("report " + log_ + " --drop-stationary 3m,30 --json"), 0) << Err();
    EXPECT_NE(Out().find("\"standing_still\":{\"distance_m\":3,\"seconds\":30}"), std::string::npos)
        << Out();
}

}  // namespace
}  // namespace varistrum
