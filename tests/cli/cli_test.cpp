// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli end to end: commands, options, exit codes and folder mode.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_files.h"

namespace varistrum {
namespace {

using test::ReadFile;
using test::RunCommand;
using test::TempDir;

const std::string kCli = VARISTRUM_CLI;

// Runs the command line with output captured into files of the folder.
int Cli(const TempDir& dir, const std::string& arguments) {
    return RunCommand(kCli + " " + arguments + " >" + dir.File("stdout") + " 2>" +
                      dir.File("stderr"));
}

TEST(CliTest, IdentifyFieldsAndVersion) {
    TempDir dir;
    const std::string log9 = test::Simulate(dir, "single-rtc", 3, 30, 9);
    EXPECT_EQ(Cli(dir, "identify " + log9), 0);
    EXPECT_EQ(ReadFile(dir.File("stdout")), "9 QTX Tavrel (PC CARD)\n");
    test::WriteFile(dir.File("text.klf"), std::string("not a log"));
    EXPECT_EQ(Cli(dir, "identify " + dir.File("text.klf")), 1);
    EXPECT_EQ(ReadFile(dir.File("stderr")), "Error: File is not from a QTX CW product.\n");
    // A missing input is named as missing by every command that reads one.
    for (const std::string command : {"identify ", "index ", "convert --tags 5 "}) {
        EXPECT_EQ(Cli(dir, command + dir.File("gone.klf")), 1) << command;
        EXPECT_EQ(ReadFile(dir.File("stderr")),
                  "Error: Cannot open '" + dir.File("gone.klf") + "': No such file or directory\n")
            << command;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("gone.out")));
    EXPECT_EQ(Cli(dir, "identify " + dir.Path().string()), 1);
    EXPECT_EQ(ReadFile(dir.File("stderr")),
              "Error: Cannot open '" + dir.Path().string() + "': Is a directory\n");
    EXPECT_EQ(Cli(dir, "fields"), 0);
    const std::string fields = ReadFile(dir.File("stdout"));
    EXPECT_EQ(fields.rfind("0\t<< DATA >>\n4\tCR / LF\n5\tLatitude (Decimal Degrees)\n", 0), 0u);
    EXPECT_EQ(std::count(fields.begin(), fields.end(), '\n'), 43);
    EXPECT_EQ(Cli(dir, "--version"), 0);
    EXPECT_EQ(Cli(dir, "convert --no-such-option"), 2);
}

TEST(CliTest, IndexPrintsTheTreeAndStatisticsAsJson) {
    TempDir dir;
    const std::string log = test::Simulate(dir, "mixed", 1, 120);
    ASSERT_EQ(Cli(dir, "index --json " + log), 0);
    const std::string json = ReadFile(dir.File("stdout"));
    EXPECT_EQ(json.rfind("{\"format\":8,\"scans\":[{\"number\":1,\"category\":\"", 0), 0u) << json;
    for (const char* name :
         {"\"GPS Total Records\":", "\"GPS 3D Lock Records\":", "\"GPS 2D Lock Records\":",
          "\"Rx1 Single Channel Records\":", "\"Rx2 Single Channel Records\":",
          "\"List Mode Records\":", "\"Table Mode Records\":", "\"needs_frequencies\":false",
          "\"damaged_records\":0}"})
        EXPECT_NE(json.find(name), std::string::npos) << name;
}

TEST(CliTest, ConvertsWithTheDefaultOutputNameAndSelectedScans) {
    TempDir dir;
    const std::string log = test::Simulate(dir, "mixed", 2, 180);
    ASSERT_EQ(Cli(dir, "convert -q " + log + " --tags 18,0 --no-header"), 0);
    const std::string all = ReadFile(log.substr(0, log.size() - 4) + ".out");
    EXPECT_FALSE(all.empty());
    EXPECT_EQ(ReadFile(dir.File("stderr")), "");  // -q leaves out the information lines
    ASSERT_EQ(Cli(dir, "convert -q " + log + " -o " + dir.File("one.out") +
                           " --tags 18,0 --no-header --scans 1"),
              0);
    const std::string one = ReadFile(dir.File("one.out"));
    EXPECT_FALSE(one.empty());
    EXPECT_LT(one.size(), all.size());
    EXPECT_EQ(all.compare(0, one.size(), one), 0);  // scan 1 opens the file
    // List options stop at their own value, so the input may follow them.
    ASSERT_EQ(Cli(dir, "convert -q --tags 18,0 --scans 1 --no-header " + log + " -o " +
                           dir.File("first.out")),
              0);
    EXPECT_EQ(ReadFile(dir.File("first.out")), one);
}

TEST(CliTest, TypedFrequenciesAreAskedForAndChecked) {
    TempDir dir;
    const std::string log = test::Simulate(dir, "no-frequency", 4, 60);
    const std::string out = " -o " + dir.File("n.out") + " --tags 5,11,0 --average 40-lambda";
    EXPECT_EQ(Cli(dir, "convert " + log + out), 1);
    const std::string asked = ReadFile(dir.File("stderr"));
    EXPECT_NE(asked.find("Frequency information was not found  for the scan"), std::string::npos);
    EXPECT_NE(asked.find("MHz)"), std::string::npos);
    EXPECT_NE(asked.find("Information: Conversion Aborted.\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("n.out")));
    EXPECT_EQ(Cli(dir, "convert -q " + log + out + " --frequencies 1,1"), 1);
    EXPECT_EQ(ReadFile(dir.File("stderr")),
              "Error: 1.0000 is not in the range of receiver 1 (806.00000 - 896.00000 MHz).\n");
}

TEST(CliTest, FolderModeConvertsEveryFileTheSameWithOneOrTwoJobs) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("in"));
    std::filesystem::create_directory(dir.File("out1"));
    std::filesystem::create_directory(dir.File("out2"));
    const char* scenarios[] = {"single-gps", "single-rtc", "list", "table", "mixed"};
    for (int i = 0; i < 5; ++i) {
        const std::string log = test::Simulate(dir, scenarios[i], i + 10, 60);
        std::filesystem::rename(log, dir.File("in/" + std::string(scenarios[i]) + ".klf"));
    }
    test::WriteFile(dir.File("in/notes.txt"), std::string("not matched"));
    const std::string common =
        "convert -q --input-folder " + dir.File("in") + " --tags 5,11,18,32,0 ";
    ASSERT_EQ(Cli(dir, common + "--output-folder " + dir.File("out1")), 0);
    ASSERT_EQ(Cli(dir, common + "--output-folder " + dir.File("out2") + " -j 2 --output-ext .csv"),
              0);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("out1"))) {
        const std::string name = entry.path().stem().string();
        EXPECT_EQ(ReadFile(entry.path().string()), ReadFile(dir.File("out2/" + name + ".csv")))
            << name;
        EXPECT_FALSE(ReadFile(entry.path().string()).empty()) << name;
        ++files;
    }
    EXPECT_EQ(files, 5);
    EXPECT_EQ(Cli(dir, "convert --tags 5 --input-folder " + dir.File("in")), 2);
    EXPECT_EQ(ReadFile(dir.File("stderr")), "Error: Input and Output Folders Must Be Selected.\n");
}

TEST(CliTest, ConfigurationRowsOutsideTheCatalogAreIgnoredWithAWarning) {
    TempDir dir;
    const std::string log = test::Simulate(dir, "single-gps", 6, 20);
    test::WriteFile(
        dir.File("forged.cfg"),
        std::string("[SelectedFields]\r\nCount=2\r\nField0=Lat\",\"Evil\r\n"
                    "Field1=GPS Second (SS)\r\n[SelectedTags]\r\nTag0=5\r\nTag1=5\r\n"));
    ASSERT_EQ(Cli(dir, "convert -q " + log + " -o " + dir.File("f.out") + " --config " +
                           dir.File("forged.cfg")),
              0);
    EXPECT_EQ(ReadFile(dir.File("stderr")),
              "Warning: 1 unknown fields in the configuration were ignored.\n");
    const std::string text = ReadFile(dir.File("f.out"));
    ASSERT_GE(text.size(), 4u);
    EXPECT_EQ(text.find_first_not_of("0123456789\r\n"), std::string::npos);  // seconds only
}

TEST(CliTest, BadOptionValuesAreUsageErrors) {
    TempDir dir;
    const std::string log = test::Simulate(dir, "single-gps", 5, 20);
    EXPECT_EQ(Cli(dir, "convert " + log + " --drop-outages 0"), 2);
    EXPECT_EQ(Cli(dir, "convert " + log + " --drop-outages 1.5"), 2);
    EXPECT_EQ(Cli(dir, "convert " + log + " --tags 5,99"), 2);
    EXPECT_EQ(Cli(dir, "convert " + log + " --delimiter pipe"), 2);
    EXPECT_EQ(Cli(dir, "convert " + log + " --tags 5 --delimiter other --other-delimiter ab"), 2);
    EXPECT_EQ(ReadFile(dir.File("stderr")),
              "Error: The Other delimiter must be a single ASCII character.\n");
    EXPECT_EQ(Cli(dir, "convert " + log + " --tags 5 --delimiter other --other-delimiter ."), 1);
    EXPECT_EQ(ReadFile(dir.File("stderr")),
              "Error: The Other delimiter cannot be a digit, '.', '-', '+' or '\"'.\n");
    EXPECT_EQ(Cli(dir, "convert " + dir.File("missing.klf")), 1);
}

}  // namespace
}  // namespace varistrum
