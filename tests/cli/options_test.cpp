// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli as a Unix tool: repeated, empty, idle and conflicting options, exit statuses,
// standard output and pipes, the default fields and every scan in the index.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_files.h"

namespace varistrum {
namespace {

using test::ReadFile;
using test::RunCommand;
using test::TempDir;

const std::string kCli = VARISTRUM_CLI;

// A simulated log with single-frequency, list and table scans, and the command line run on it;
// {log} and {dir} in the arguments stand for the log and the folder.
class CliOptionsTest : public ::testing::Test {
  protected:
    CliOptionsTest() : log_(test::Simulate(dir_, "mixed", 21, 240)) {}

    std::string Expand(std::string text) const {
        for (const auto& [key, value] : {std::pair<std::string, std::string>{"{log}", log_},
                                         {"{dir}", dir_.Path().string()}}) {
            for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key))
                text.replace(at, key.size(), value);
        }
        return text;
    }
    int Cli(const std::string& arguments) const {
        return RunCommand(kCli + " " + Expand(arguments) + " >" + dir_.File("stdout") + " 2>" +
                          dir_.File("stderr"));
    }
    std::string Err() const { return ReadFile(dir_.File("stderr")); }
    std::string Out() const { return ReadFile(dir_.File("stdout")); }
    std::string File(const std::string& name) const { return dir_.File(name); }
    // The output name a conversion of the log takes when no -o is given.
    std::string DefaultOutput() const { return log_.substr(0, log_.size() - 4) + ".out"; }

    TempDir dir_;
    std::string log_;
};

TEST_F(CliOptionsTest, AnOptionGivenTwiceTakesItsLastValue) {
    struct Case {
        const char* repeated;
        const char* once;
    };
    const Case cases[] = {
        {"--tags 5 --tags 11", "--tags 11"},
        {"--tags 5 --header --no-header", "--tags 5 --no-header"},
        {"--tags 5 --no-header --header", "--tags 5"},
        {"--tags 5,11 --delimiter tab --delimiter semicolon", "--tags 5,11 --delimiter semicolon"},
        {"--tags 5,11 --other-delimiter '|' --other-delimiter '#'",
         "--tags 5,11 --delimiter other --other-delimiter '#'"},
        {"--tags 0 --columns rssi --columns channel,rssi", "--tags 0 --columns channel,rssi"},
        {"--tags 18,0 --receiver 1 --receiver 2", "--tags 18,0 --receiver 2"},
        {"--tags 18,0 --scans 1 --scans 2,3", "--tags 18,0 --scans 2,3"},
        {"--tags 18,0 --average 40-lambda --average none --best-server",
         "--tags 18,0 --best-server"},
        {"--tags 18,0 --drop-outages 5 --drop-outages 30", "--tags 18,0 --drop-outages 30"},
        {"--tags 5 -o {dir}/first.out", "--tags 5"},
        {"--tags 5 -q -q --quiet", "--tags 5"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Cli("convert {log} -q " + std::string(c.once) + " -o {dir}/once.out"), 0)
            << c.once << Err();
        ASSERT_EQ(Cli("convert {log} -q " + std::string(c.repeated) + " -o {dir}/repeated.out"), 0)
            << c.repeated << Err();
        const std::string once = ReadFile(File("once.out"));
        EXPECT_FALSE(once.empty()) << c.once;
        EXPECT_EQ(ReadFile(File("repeated.out")), once) << c.repeated;
    }
    EXPECT_FALSE(std::filesystem::exists(File("first.out")));
}

TEST_F(CliOptionsTest, AnEmptyValueIsAUsageErrorNamingTheOption) {
    const std::pair<const char*, const char*> cases[] = {
        {"-o", "--output"},
        {"--output", "--output"},
        {"--other-delimiter", "--other-delimiter"},
        {"--delimiter", "--delimiter"},
        {"--tags", "--tags"},
        {"--config", "--config"},
        {"--columns", "--columns"},
        {"--scans", "--scans"},
        {"--frequencies", "--frequencies"},
        {"--average", "--average"},
        {"--receiver", "--receiver"},
        {"--drop-outages", "--drop-outages"},
    };
    for (const auto& [option, name] : cases) {
        EXPECT_EQ(Cli("convert {log} --tags 5 " + std::string(option) + " ''"), 2) << option;
        EXPECT_EQ(Err(), "Error: " + std::string(name) + ": the value is empty (see --help).\n")
            << option;
        EXPECT_FALSE(std::filesystem::exists(DefaultOutput())) << option;
    }
    EXPECT_EQ(Cli("index ''"), 2);
    EXPECT_EQ(Cli("convert '' --tags 5"), 2);
}

TEST_F(CliOptionsTest, IdleOrConflictingOptionsAreRefusedBeforeAnythingIsWritten) {
    struct Case {
        const char* arguments;
        int status;
        const char* error;  // the start of standard error
    };
    const Case cases[] = {
        {"convert {log} --other-delimiter ';' --delimiter tab", 2,
         "Error: --other-delimiter cannot be used with --delimiter tab\n"},
        {"convert {log} --delimiter comma --other-delimiter ';'", 2,
         "Error: --other-delimiter cannot be used with --delimiter comma\n"},
        {"convert {log} --other-delimiter ab", 2,
         "Error: The Other delimiter must be a single ASCII character.\n"},
        {"convert {log} --best-server --average 40-lambda", 2,
         "Error: --best-server cannot be used with --average 40-lambda: one reduction at a "
         "time\n"},
        {"convert {log} -j 2", 2,
         "Error: --jobs applies only to folder jobs (--input-folder and --output-folder)\n"},
        {"convert {log} --pattern '*.qel'", 2,
         "Error: --pattern applies only to folder jobs (--input-folder and --output-folder)\n"},
        {"convert {log} --output-ext .csv", 2,
         "Error: --output-ext applies only to folder jobs (--input-folder and --output-folder)\n"},
        {"convert --input-folder {dir} --output-folder {dir} -o {dir}/x.out", 2,
         "Error: --output cannot be used with a folder job: outputs are named after their "
         "inputs\n"},
        {"convert --input-folder {dir} --output-folder {dir} --scans 1", 2,
         "Error: --scans cannot be used with a folder job: every scan of every file is "
         "converted\n"},
        {"convert --input-folder {dir} --output-folder {dir} -j 0", 2,
         "Error: --jobs must be a whole number from 1 to 64\n"},
        {"convert {log} -o - --split", 2,
         "Error: --split cannot be used with -o - (standard output has no part files)\n"},
        {"convert {log} {log}", 2, "Error: The following argument was not expected: "},
        {"convert --tags 5", 2,
         "Error: Give either INPUT or --input-folder and --output-folder.\n"},
        {"convert {log} --input-folder {dir} --output-folder {dir}", 2,
         "Error: Give either INPUT or --input-folder and --output-folder.\n"},
        {"convert --output-folder {dir}", 2, "Error: Input and Output Folders Must Be Selected.\n"},
        {"convert {log} --tags 5,99", 2, "Error: --tags: 99 is not a field tag\n"},
        {"convert {log} --tags 5,,0", 2,
         "Error: --tags takes field tags separated by commas (see 'fields'), not '5,,0'\n"},
        {"convert {log} --scans 0", 2, "Error: --scans: 0 is not a scan number\n"},
        {"convert {log} --frequencies 851", 2,
         "Error: --frequencies takes the two receivers' frequencies in MHz: F1,F2\n"},
        {"convert {log} --receiver 3", 2, "Error: --receiver must be 1 or 2\n"},
        {"convert {log} --average-domain dbm", 2, "Error: --average-domain must be db or linear\n"},
        {"calibrate {log}", 2, "Error: --sites is required (see --help).\n"},
        {"calibrate {log} --sites {log} --fit tls", 2, "Error: --fit must be wls or ols\n"},
        {"calibrate {log} --sites {log} --environment rural", 2,
         "Error: --environment must be urban, suburban, open or metropolitan\n"},
        {"calibrate {log} --sites {log} --rx-gain-dbi 2,5", 2,
         "Error: --rx-gain-dbi takes a number, not '2,5'\n"},
        {"calibrate {log} --sites {log} --rx-height-m 0", 2,
         "Error: the receiver antenna height must be above 0 and at most 1000 m\n"},
        {"calibrate {log} --sites {log} --max-distance-km 0.05", 2,
         "Error: the maximum distance must lie beyond the minimum distance\n"},
        {"calibrate {log} --sites {log} --plot-site S1", 2,
         "Error: --plot-site applies only with --plot\n"},
        {"calibrate {log} {log} --sites {log} --scans 1", 2,
         "Error: --scans applies to one log: scan numbers differ between logs\n"},
        {"calibrate {log} --sites {log} --average-domain dbm", 2,
         "Error: --average-domain must be db or linear\n"},
        {"report {log} --receiver 0", 2, "Error: --receiver must be 1 or 2\n"},
        {"report", 2, "Error: INPUT is required (see --help).\n"},
        {"report {log} --outage-seconds 0", 2,
         "Error: The GPS outage must be a whole number of seconds from 1 to 86400.\n"},
        {"convrt {log}", 2,
         "Error: 'convrt' is not a command; the commands are identify, fields, index, convert, "
         "map, report, calibrate, bins, compare (see --help).\n"},
        {"", 2,
         "Error: a command is needed: identify, fields, index, convert, map, report, calibrate, "
         "bins, compare (see --help).\n"},
        {"map {log} --size 10x10", 2,
         "Error: --size takes WIDTHxHEIGHT in pixels, each from 64 to 8192, not '10x10'\n"},
        // A picture takes four bytes a pixel: beyond 8192 a side it is refused before reading.
        {"map {log} --size 16384x16384", 2,
         "Error: --size takes WIDTHxHEIGHT in pixels, each from 64 to 8192, not "
         "'16384x16384'\n"},
        {"map {log} --size 1000x8193", 2,
         "Error: --size takes WIDTHxHEIGHT in pixels, each from 64 to 8192, not '1000x8193'\n"},
        {"map {log} --channel first", 2,
         "Error: --channel takes a channel number or 'strongest', not 'first'\n"},
        {"map {log} --tags 5", 2, "Error: --tags does not apply to map (it draws one log file)\n"},
        {"map {log} -o -", 2, "Error: map writes a PNG file; -o - is not possible\n"},
        {"map {log} --rssi-thresholds -70,-80,-90,-100,-110", 2, "Error: --rssi-thresholds: "},
        // Read, then refused: the file has no such scan.
        {"convert -q {log} --scans 2,40", 1,
         "Error: --scans: '{log}' has no scan 40; its scans are"},
        {"convert -q {log} --config {dir}/empty.cfg", 1, "Error: No output fields are selected.\n"},
    };
    test::WriteFile(File("empty.cfg"), std::string());
    for (const Case& c : cases) {
        EXPECT_EQ(Cli(c.arguments), c.status) << c.arguments;
        EXPECT_EQ(Err().rfind(Expand(c.error), 0), 0u) << c.arguments << "\n" << Err();
        EXPECT_FALSE(std::filesystem::exists(DefaultOutput())) << c.arguments;
        EXPECT_FALSE(std::filesystem::exists(File("x.out"))) << c.arguments;
    }
}

TEST_F(CliOptionsTest, QuietLeavesOutInformationButNotErrors) {
    ASSERT_EQ(Cli("convert {log} --tags 5 -o {dir}/a.out"), 0);
    EXPECT_EQ(Err(), "Information: Conversion Has Been Completed!\n");
    ASSERT_EQ(Cli("convert {log} --tags 5 -o {dir}/a.out -q"), 0);
    EXPECT_EQ(Err(), "");
    ASSERT_EQ(Cli("convert {log} -q --scans 99"), 1);
    EXPECT_NE(Err().find("Error: --scans:"), std::string::npos);
    // Settings that would be ignored are named, also under -q.
    ASSERT_EQ(Cli("convert {log} --tags 5 -o {dir}/a.out -q --frequencies 851,880"), 0);
    EXPECT_EQ(Err(), Expand("Warning: --frequencies is not used: '{log}' has its frequency "
                            "information.\n"));
    test::WriteFile(File("best.cfg"), std::string("[OutputFilter]\r\nBSAvg=1\r\n"));
    ASSERT_EQ(Cli("convert {log} --tags 5 -o {dir}/a.out -q --config {dir}/best.cfg --average "
                  "40-lambda"),
              0);
    EXPECT_EQ(Err(),
              "Warning: The configuration's Best Server is not used with --average 40-lambda: one "
              "reduction at a time.\n");
}

TEST_F(CliOptionsTest, AFirstRunWritesPositionsTimesAndLevels) {
    ASSERT_EQ(Cli("convert -q {log}"), 0);
    const std::string defaults = ReadFile(DefaultOutput());
    ASSERT_EQ(Cli("convert -q {log} --tags 5,11,22,18,0 -o {dir}/tagged.out"), 0);
    EXPECT_EQ(defaults, ReadFile(File("tagged.out")));
    EXPECT_EQ(defaults.rfind("\"Latitude (Decimal Degrees)\",\"Longitude (Decimal Degrees)\","
                             "\"GPS Date (MM/DD/YY)\",\"GPS Time (HH:MM:SS)\",",
                             0),
              0u);
}

TEST_F(CliOptionsTest, DashWritesTheTextToStandardOutput) {
    ASSERT_EQ(Cli("convert -q {log} --tags 5,11,18,0 -o {dir}/file.out"), 0);
    ASSERT_EQ(Cli("convert -q {log} --tags 5,11,18,0 -o -"), 0);
    EXPECT_EQ(Out(), ReadFile(File("file.out")));
    EXPECT_FALSE(std::filesystem::exists(File("-")));
    EXPECT_FALSE(std::filesystem::exists(DefaultOutput()));
}

// The reader of the pipe leaves after a few bytes: the writer ends at once, silently, even when
// its parent ignored SIGPIPE.
TEST_F(CliOptionsTest, AClosedPipeEndsEveryCommandSilently) {
    const std::string big = test::Simulate(dir_, "mixed", 22, 1800);
    for (const std::string& command :
         {"convert " + big + " -o -", "index --json " + big, "index " + big}) {
        const std::string line = "trap '' PIPE; " + kCli + " " + command + " 2>" + File("stderr") +
                                 " | head -c 10 >/dev/null";
        EXPECT_EQ(RunCommand("sh -c \"" + line + "\""), 0) << command;
        EXPECT_EQ(Err(), "") << command;
    }
}

TEST_F(CliOptionsTest, IndexListsEveryScanAndConvertCanNameTableScans) {
    ASSERT_EQ(Cli("index {log}"), 0);
    const std::string text = Out();
    ASSERT_EQ(Cli("index --json {log}"), 0);
    const std::string json = Out();
    // Numbers run 1, 2, 3 ... without gaps; table scans are marked and have no tree node.
    int number = 0, tableScan = 0;
    for (std::size_t at = 0; at < text.size() && std::isdigit(text[at]);
         at = text.find('\n', at) + 1) {
        const std::string line = text.substr(at, text.find('\n', at) - at);
        EXPECT_EQ(std::stoi(line), ++number) << line;
        const bool table = line.find("\tTable Data\t") != std::string::npos;
        EXPECT_EQ(line.substr(line.size() - 4), table ? "\t[-]" : "\t[x]") << line;
        if (table && tableScan == 0) tableScan = number;
        const std::string entry = "{\"number\":" + std::to_string(number) + ",\"category\":";
        const std::size_t inJson = json.find(entry);
        ASSERT_NE(inJson, std::string::npos) << entry;
        const std::string node = table ? "\"node\":false}" : "\"node\":true}";
        EXPECT_EQ(json.find(node, inJson), json.find('}', inJson) - node.size() + 1) << line;
    }
    ASSERT_GT(tableScan, 0) << text;
    EXPECT_NE(json.find("\"category\":\"Table Data\",\"name\":\"GPS "), std::string::npos);
    // --scans takes the table scan's number and converts its data.
    ASSERT_EQ(
        Cli("convert -q {log} --tags 18,0 --no-header -o - --scans " + std::to_string(tableScan)),
        0)
        << Err();
    EXPECT_GT(Out().size(), 0u);

    // A PC card log has no categories: its table scans have none either.
    const std::string card = test::Simulate(dir_, "mixed", 23, 200, 9);
    ASSERT_EQ(Cli("index --json " + card), 0);
    EXPECT_NE(Out().find("\"category\":null,\"name\":\"GPS 14:31:05\",\"node\":false}"),
              std::string::npos)
        << Out();
}

TEST_F(CliOptionsTest, TypedFrequenciesOutOfRangeNameTheReceiverAndItsRange) {
    const std::string log = test::Simulate(dir_, "no-frequency", 24, 60);
    ASSERT_EQ(Cli("convert -q " + log + " --average 40-lambda --frequencies 851,1"), 1);
    EXPECT_EQ(Err().rfind("Error: 1.0000 is not in the range of receiver 2 (", 0), 0u) << Err();
    EXPECT_EQ(Err().substr(Err().size() - 7), " MHz).\n");
}

}  // namespace
}  // namespace varistrum
