// SPDX-License-Identifier: GPL-3.0-or-later
// Logs with hundreds of thousands of scans are indexed and converted in little memory.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_files.h"
#include "tools/log_builder.h"

namespace varistrum {
namespace {

using test::ChildRun;

// Runs the command line in a child process stopped after a minute, standard output into `out`.
ChildRun RunCli(std::vector<std::string> arguments, const std::string& out) {
    arguments.insert(arguments.begin(), VARISTRUM_CLI);
    return test::RunMeasured(arguments, out, "/dev/null", 60);
}

std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// 200,000 scan definitions (a new clock name every 1,000), then the one data record. A scan
// used to cost about 60 bytes in both passes (12 MiB here) and the listing took quadratic time.
TEST(ScanMemoryTest, ManyScansIndexAndConvertInLittleMemory) {
    constexpr int kScans = 200000;
    test::TempDir dir;
    const std::string input = dir.File("scans.klf");
    const std::string small = dir.File("small.klf");
    {  // built in a scope: a child made by fork counts the pages it shares with this process
        const FrequencyPlan band800{64480, 71680, 3200, 0};
        sim::LogBuilder log;
        log.Config(1, band800, band800);
        for (int k = 0; k < kScans; ++k) {
            if (k % 1000 == 0) log.Rtc(k / 3600000, k / 60000 % 60, k / 1000 % 60);
            log.ScanList32(68000 + static_cast<std::uint32_t>(k % 50), 68000);
        }
        const int sample[1] = {-70};
        log.Samples(1, sample);
        test::WriteFile(input, log.Bytes());
        test::WriteFile(small, test::RtcLog(1));
    }

    // The process itself (libraries, buffers) takes a few MiB; the scans may add 4 MiB
    // (20 bytes a scan) to what a log of one scan takes.
    const ChildRun baseline =
        RunCli({"convert", small, "-o", dir.File("small.txt")}, dir.File("x"));
    ASSERT_EQ(baseline.status, 0);
    const long kBoundKiB = baseline.peakKiB + 4 * 1024;
    // Every run before the outputs are read: a forked child counts this process's pages.
    const ChildRun index = RunCli({"index", input}, dir.File("index.txt"));
    const ChildRun json = RunCli({"index", "--json", input}, dir.File("index.json"));
    const ChildRun convert =
        RunCli({"convert", input, "-o", dir.File("out.txt")}, dir.File("stdout"));
    ASSERT_EQ(index.status, 0);
    EXPECT_LT(index.peakKiB, kBoundKiB);
    const std::string listing = test::ReadFile(dir.File("index.txt"));
    EXPECT_EQ(Lines(listing), static_cast<std::size_t>(kScans) + 7);
    EXPECT_EQ(listing.substr(0, listing.find('\n')), "1\tSingle Frequency\tRTC 00:00:00\t[x]");
    EXPECT_NE(listing.find("\n200000\tSingle Frequency\tRTC 00:03:19\t[x]\n"), std::string::npos);
    ASSERT_EQ(json.status, 0);
    EXPECT_LT(json.peakKiB, kBoundKiB);
    ASSERT_EQ(convert.status, 0);
    EXPECT_LT(convert.peakKiB, kBoundKiB);
    std::printf("peak KiB: one scan %ld; index %ld, json %ld, convert %ld\n", baseline.peakKiB,
                index.peakKiB, json.peakKiB, convert.peakKiB);
    EXPECT_NE(test::ReadFile(dir.File("out.txt")).find("-70"), std::string::npos);
}

}  // namespace
}  // namespace varistrum
