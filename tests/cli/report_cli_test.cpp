// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli report, and the warnings of a 40-lambda conversion of a sparsely sampled drive.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_files.h"
#include "tools/steady_drive.h"

namespace varistrum {
namespace {

using test::ReadFile;
using test::RunCommand;
using test::TempDir;

const std::string kCli = VARISTRUM_CLI;

class ReportCliTest : public ::testing::Test {
  protected:
    std::string Drive(const std::string& name, double speedKmh, int samplesPerSecond) {
        sim::SteadyDriveOptions drive;
        drive.seconds = 120;
        drive.speedKmh = speedKmh;
        drive.samplesPerSecond = samplesPerSecond;
        const std::string path = dir_.File(name);
        test::WriteFile(path, sim::SteadyDriveLog(drive));
        return path;
    }
    int Cli(const std::string& arguments) const {
        return RunCommand(kCli + " " + arguments + " >" + dir_.File("stdout") + " 2>" +
                          dir_.File("stderr"));
    }
    std::string Err() const { return ReadFile(dir_.File("stderr")); }
    std::string Out() const { return ReadFile(dir_.File("stdout")); }

    TempDir dir_;
};

TEST_F(ReportCliTest, SparseWindowsWarnOncePerScanBeforeA40LambdaConversion) {
    struct Case {
        double speedKmh;
        int samplesPerSecond;
        const char* average;
        std::string warnings;
    };
    const Case cases[] = {
        {80, 20, "40-lambda",
         "Warning: Scan 1 (GPS 10:00:00): 873.0750 MHz holds a median of 13 samples per 40-lambda "
         "window, fewer than 36: its averages will be noisy.\n"},
        {20, 60, "40-lambda", ""},  // 149 samples a window
        {80, 20, "none", ""},       // no averaging, nothing to warn of
    };
    for (const Case& c : cases) {
        const std::string log = Drive("drive.klf", c.speedKmh, c.samplesPerSecond);
        EXPECT_EQ(
            Cli("convert -q " + log + " -o " + dir_.File("drive.out") + " --average " + c.average),
            0);
        EXPECT_EQ(Err(), c.warnings);
    }
}

TEST_F(ReportCliTest, ReportsTextAndJson) {
    const std::string log = Drive("fast.klf", 80, 20);
    ASSERT_EQ(Cli("report " + log), 0);
    EXPECT_NE(Out().find("873.075 MHz: window 13.7 m; 20 samples/s give 36 samples a window up "
                         "to\n      27.7 km/h; median speed 80 km/h: does not meet\n"),
              std::string::npos)
        << Out();
    EXPECT_EQ(Err(), "");
    ASSERT_EQ(Cli("report --json " + log), 0);
    EXPECT_EQ(Out().rfind("{\"schema_version\":2,", 0), 0u);
    EXPECT_NE(Out().find("\"verdict\":\"does_not_meet\""), std::string::npos);
    // --summary: the title and the summary per frequency, nothing of the scans.
    ASSERT_EQ(Cli("report --summary " + log), 0);
    EXPECT_EQ(Out(),
              "Drive quality of " + log + " (" + std::to_string(std::filesystem::file_size(log)) +
                  " bytes)\n\n"
                  "Summary of 1 scan (Lee's criterion: 36 samples a 40-wavelength window)\n"
                  "  Verdict of the file (its worst scan, averaged channels): does not "
                  "meet\n"
                  "  Averaged channels (receiver samples):\n"
                  "  Frequency      Scans     Samples    Median  Windows  Below 36  Verdict\n"
                  "  873.075 MHz        1        2400   -75 dBm      181   100.0 %  does not "
                  "meet\n");
    ASSERT_EQ(Cli("report --summary --json " + log), 0);
    EXPECT_EQ(Out().find("\"scans\":["), std::string::npos);
    EXPECT_EQ(Cli("report " + dir_.File("missing.klf")), 1);
    EXPECT_EQ(Cli("report " + log + " --scans 2"), 1);  // no such scan
}

}  // namespace
}  // namespace varistrum

namespace varistrum {
namespace {

// A folder job lists the sparse scans after its summary, one warning line each, whatever the
// number of files converted at once.
TEST_F(ReportCliTest, FolderJobsListSparseWindowsAtTheEnd) {
    const std::string in = dir_.File("in"), out = dir_.File("out");
    std::filesystem::create_directories(in);
    std::filesystem::create_directories(out);
    std::filesystem::rename(Drive("a.klf", 80, 20), in + "/a.klf");
    std::filesystem::rename(Drive("b.klf", 20, 60), in + "/b.klf");
    const std::string expected = "2 converted, 0 skipped\nWarning: " + in +
                                 "/a.klf: Scan 1 (GPS 10:00:00): 873.0750 MHz holds a median of "
                                 "13 samples per 40-lambda window, fewer than 36: its averages "
                                 "will be noisy.\n";
    for (const char* jobs : {"1", "2"}) {
        ASSERT_EQ(Cli("convert -q --input-folder " + in + " --output-folder " + out +
                      " --average 40-lambda -j " + jobs),
                  0);
        EXPECT_EQ(Err(), expected) << jobs;
        EXPECT_TRUE(std::filesystem::exists(out + "/a.out"));
    }
    ASSERT_EQ(Cli("convert -q --input-folder " + in + " --output-folder " + out), 0);
    EXPECT_EQ(Err(), "2 converted, 0 skipped\n");
}

}  // namespace
}  // namespace varistrum
