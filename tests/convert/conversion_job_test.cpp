// SPDX-License-Identifier: GPL-3.0-or-later
// The conversion job: messages, cancel, failed writes, the split and the GPS outage pass.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "averaging/averaging_engine.h"
#include "convert/convert_job.h"
#include "convert/gps_outage_pass.h"
#include "convert/output_split.h"
#include "index/make_index.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"
#include "tools/log_builder.h"

namespace varistrum {
namespace {

using sim::GpsFix;
using sim::LogBuilder;
using test::FieldSettings;
using test::ReadFile;
using test::RecordingObserver;
using test::TempDir;
using test::WriteFile;

using test::kBand800;

struct Job {
    TavrelReader reader;
    RecordingObserver observer;
    JobOutcome Run(const std::vector<std::string>& in, const std::vector<std::string>& out,
                   const ConversionSettings& settings, std::stop_token stop = {}) {
        return RunConversionJob(reader, in, out, settings, observer, stop);
    }
};

TEST(ConversionJobTest, CompletesEveryFileAndShowsProgressOnlyWhenItChanges) {
    TempDir dir;
    WriteFile(dir.File("a.klf"), test::RtcLog(300));
    WriteFile(dir.File("b.klf"), test::RtcLog(2));
    Job job;
    EXPECT_EQ(job.Run({dir.File("a.klf"), dir.File("b.klf")},
                      {dir.File("a.out"), dir.File("b.out")}, FieldSettings({DataField})),
              JobOutcome::Completed);
    EXPECT_EQ(job.observer.messages,
              std::vector<std::string>{"Information: Conversion Has Been Completed!"});
    for (std::size_t i = 1; i < job.observer.progress.size(); ++i) {
        if (job.observer.progress[i] != 0 && job.observer.progress[i] != 100) {
            EXPECT_NE(job.observer.progress[i], job.observer.progress[i - 1]);
        }
    }
    EXPECT_EQ(ReadFile(dir.File("b.out")), "850.00000,0\r\n850.00000,-1\r\n");
}

TEST(ConversionJobTest, MissingInputAndInaccessibleOutputEndTheJob) {
    TempDir dir;
    WriteFile(dir.File("a.klf"), test::RtcLog(2));
    Job job;
    EXPECT_EQ(job.Run({dir.File("missing.klf"), dir.File("a.klf")},
                      {dir.File("m.out"), dir.File("a.out")}, FieldSettings({DataField})),
              JobOutcome::Failed);
    EXPECT_EQ(job.observer.messages, std::vector<std::string>{"Error: Input File Does Not Exist!"});
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.out")));

    Job noFolder;
    EXPECT_EQ(noFolder.Run({dir.File("a.klf")}, {dir.File("no/such/folder/a.out")},
                           FieldSettings({DataField})),
              JobOutcome::Failed);
    EXPECT_EQ(noFolder.observer.messages,
              std::vector<std::string>{"Error: Output File Cannot Be Accessed!"});
}

TEST(ConversionJobTest, AFullDiskIsAFailureNotACompletion) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP();
    TempDir dir;
    WriteFile(dir.File("a.klf"), test::RtcLog(5000));
    Job job;
    EXPECT_EQ(job.Run({dir.File("a.klf")}, {"/dev/full"}, FieldSettings({DataField, GpsTime})),
              JobOutcome::Failed);
    EXPECT_EQ(job.observer.messages,
              std::vector<std::string>{"Error: Output File Cannot Be Accessed!"});
}

TEST(ConversionJobTest, CancelKeepsWhatWasWrittenAndLeavesLaterFilesUntouched) {
    TempDir dir;
    WriteFile(dir.File("a.klf"), test::RtcLog(100));
    WriteFile(dir.File("b.out"), std::string("earlier output"));
    Job job;
    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(
        job.Run({dir.File("a.klf"), dir.File("a.klf")}, {dir.File("a.out"), dir.File("b.out")},
                FieldSettings({DataField}), stop.get_token()),
        JobOutcome::Cancelled);
    EXPECT_EQ(job.observer.messages,
              std::vector<std::string>{"Information: Conversion Cancelled."});
    EXPECT_EQ(ReadFile(dir.File("b.out")), "earlier output");
}

TEST(ConversionJobTest, SettingsThatCannotConvertAreRefusedBeforeWriting) {
    TempDir dir;
    WriteFile(dir.File("a.klf"), test::RtcLog(2));
    auto settings = FieldSettings({DataField});
    settings.delimiterChoice = kOther;
    for (const char* refused : {"", "ab", "\xC2\xA7"}) {  // "§" takes two bytes
        settings.otherDelimiter = refused;
        Job job;
        EXPECT_EQ(job.Run({dir.File("a.klf")}, {dir.File("a.out")}, settings), JobOutcome::Failed);
        EXPECT_EQ(job.observer.messages,
                  std::vector<std::string>{
                      "Error: The Other delimiter must be a single ASCII character."});
        EXPECT_FALSE(std::filesystem::exists(dir.File("a.out")));
    }
    // These would split or join the numbers of the data block.
    for (const char* refused : {"0", "7", ".", "-", "+", "\""}) {
        settings.otherDelimiter = refused;
        Job job;
        EXPECT_EQ(job.Run({dir.File("a.klf")}, {dir.File("a.out")}, settings), JobOutcome::Failed);
        EXPECT_EQ(job.observer.messages,
                  std::vector<std::string>{
                      "Error: The Other delimiter cannot be a digit, '.', '-', '+' or '\"'."});
        EXPECT_FALSE(std::filesystem::exists(dir.File("a.out")));
    }
    settings = FieldSettings({GpsSecond, DataField});
    settings.delimiterChoice = kOther;
    settings.otherDelimiter = "|";
    Job other;
    EXPECT_EQ(other.Run({dir.File("a.klf")}, {dir.File("a.out")}, settings), JobOutcome::Completed);
    EXPECT_NE(ReadFile(dir.File("a.out")).find("|"), std::string::npos);
}

int CountLines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(ConversionJobTest, SplitsOnlyAboveSixtyThousandLinesIntoWholeLineParts) {
    TempDir dir;
    for (int lines : {60000, 60001}) {
        const std::string name = "run" + std::to_string(lines);
        WriteFile(dir.File(name + ".klf"), test::RtcLog(lines));
        auto settings = FieldSettings({DataField, RecordNumber});
        settings.split = true;
        Job job;
        ASSERT_EQ(job.Run({dir.File(name + ".klf")}, {dir.File(name + ".out")}, settings),
                  JobOutcome::Completed);
        const std::string folder = dir.File(name);
        EXPECT_EQ(std::filesystem::exists(folder), lines > 60000) << lines;
        if (lines > 60000) {
            const std::string part1 = ReadFile(folder + "/" + name + "-1.out");
            const std::string part2 = ReadFile(folder + "/" + name + "-2.out");
            EXPECT_EQ(CountLines(part1), 60000);
            EXPECT_EQ(part2, "850.00000,0,60001\r\n");
            EXPECT_EQ(part1 + part2, ReadFile(dir.File(name + ".out")));
            EXPECT_FALSE(std::filesystem::exists(folder + "/" + name + "-3.out"));
        }
    }
}

TEST(ConversionJobTest, SplitCountsHeaderLinesAndKeepsLongLinesWhole) {
    TempDir dir;
    // 59999 data lines and a header: exactly 60000 lines, a multiple of 60000.
    std::string text = "header\r\n";
    for (int i = 0; i < 59999; ++i) text += "line\r\n";
    WriteFile(dir.File("x.out"), text);
    RecordingObserver observer;
    EXPECT_FALSE(SplitOutputFile(dir.File("x.out"), observer).has_value());
    EXPECT_EQ(ReadFile(dir.File("x/x-1.out")), text);
    EXPECT_EQ(ReadFile(dir.File("x/x-2.out")), "");  // the empty last part of an exact multiple

    const std::string longLine(1 << 20, 'y');
    WriteFile(dir.File("y.out"), longLine + "\r\nshort");
    EXPECT_FALSE(SplitOutputFile(dir.File("y.out"), observer).has_value());
    EXPECT_EQ(ReadFile(dir.File("y/y-1.out")), longLine + "\r\nshort");

    WriteFile(dir.File("blocked"), std::string("a file where the folder should be"));
    WriteFile(dir.File("blocked.out"), std::string("line\r\n"));
    EXPECT_EQ(SplitOutputFile(dir.File("blocked.out"), observer).value_or(""),
              "Cannot create directory.");
}

// The parts' folder and base name: the output path without its file name's extension.
TEST(ConversionJobTest, SplitFolderDropsTheOutputExtensionOnly) {
    const std::pair<std::string, std::string> cases[] = {
        {"/d/run1.out", "/d/run1"},
        {"/d/run1.csv", "/d/run1"},
        {"/d/results", "/d/results"},
        {"/d/v1.2/results", "/d/v1.2/results"},
        {"/d/drive.2026.out", "/d/drive.2026"},
        {"/d/.out", ""},
        {"", ""},
    };
    for (const auto& [output, folder] : cases) EXPECT_EQ(SplitFolderOf(output), folder) << output;

    TempDir dir;
    WriteFile(dir.File("r.csv"), std::string("line\r\n"));
    RecordingObserver observer;
    EXPECT_FALSE(SplitOutputFile(dir.File("r.csv"), observer).has_value());
    EXPECT_EQ(ReadFile(dir.File("r/r-1.out")), "line\r\n");
}

// Good fixes at the given seconds of 15 June 2026 (negative: a bad fix at that second).
std::vector<std::uint8_t> Fixes(std::initializer_list<int> seconds) {
    LogBuilder log;
    for (int s : seconds) {
        GpsFix fix;
        const int second = s < 0 ? -s : s;
        fix.hours = second / 3600;
        fix.minutes = second / 60 % 60;
        fix.seconds = second % 60;
        fix.statusCode = s < 0 ? 3 : 7;
        log.Gps(fix);
    }
    return log.Bytes();
}

GpsFix FixOn(int year, int month, int day, int hours, int minutes, int seconds) {
    GpsFix fix;
    fix.year = year;
    fix.month = month;
    fix.day = day;
    fix.hours = hours;
    fix.minutes = minutes;
    fix.seconds = seconds;
    return fix;
}

GpsBlock BlockOf(const GpsFix& fix) {
    const auto payload = sim::EncodeGpsBlock(fix);
    return GpsBlock::Decode(ByteSpan(payload.data(), payload.size()));
}

TEST(GpsOutagePassTest, GapsCountCalendarDaysAndWithoutADateTheNearerNextDay) {
    struct Case {
        GpsFix previous, current;
        std::int64_t seconds;
    };
    const Case cases[] = {
        {FixOn(2026, 6, 15, 18, 0, 0), FixOn(2026, 6, 16, 8, 0, 0), 14 * 3600},   // overnight stop
        {FixOn(2026, 6, 15, 10, 0, 0), FixOn(2026, 6, 16, 11, 0, 0), 25 * 3600},  // not 1 hour
        {FixOn(2026, 6, 15, 23, 59, 50), FixOn(2026, 6, 16, 0, 0, 20), 30},       // midnight
        {FixOn(2024, 2, 28, 12, 0, 0), FixOn(2024, 3, 1, 12, 0, 0), 2 * 86400},   // leap day
        {FixOn(2026, 12, 31, 23, 0, 0), FixOn(2027, 1, 1, 1, 0, 0), 2 * 3600},
        {FixOn(2026, 6, 16, 8, 0, 0), FixOn(2026, 6, 15, 18, 0, 0), -14 * 3600},  // step back
        {FixOn(2026, 6, 15, 12, 0, 0), FixOn(2026, 6, 15, 12, 0, 0), 0},
        // Without a real date on either fix: by time of day.
        {FixOn(0, 0, 0, 23, 59, 50), FixOn(0, 0, 0, 0, 0, 20), 30},
        {FixOn(1979, 12, 31, 23, 59, 50), FixOn(2026, 6, 15, 0, 0, 20), 30},
        {FixOn(2026, 6, 15, 20, 0, 0), FixOn(2026, 2, 29, 7, 59, 59), 43199},  // no 29 Feb 2026
        {FixOn(2026, 4, 31, 20, 0, 0), FixOn(2026, 5, 1, 8, 0, 0), -43200},    // exactly 12 h: back
        {FixOn(2026, 13, 1, 12, 0, 0), FixOn(2026, 13, 1, 11, 59, 0), -60},
        {FixOn(2026, 6, 0, 12, 0, 0), FixOn(2026, 6, 1, 12, 0, 45), 45},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SecondsBetweenFixes(BlockOf(c.previous), BlockOf(c.current)), c.seconds)
            << c.previous.year << '-' << c.previous.month << '-' << c.previous.day << ' '
            << c.previous.hours << " to " << c.current.year << '-' << c.current.month << '-'
            << c.current.day << ' ' << c.current.hours;
    }
}

TEST(GpsOutagePassTest, ListsTheGpsRecordNumberOfTheLastGoodFixBeforeEachGap) {
    struct Case {
        std::vector<std::uint8_t> log;
        std::vector<std::int64_t> expected;
    };
    const Case cases[] = {
        {Fixes({10, 11, 41, 42}), {2}},                    // a gap of exactly 30 is listed
        {Fixes({10, 11, 40}), {}},                         // 29 is not
        {Fixes({10, 11, -20, -30, 45, 46, 100}), {2, 6}},  // bad fixes do not end a gap
        {Fixes({86398, 86399, 5}), {}},                    // the same date: a step back
        {Fixes({-1, -50, -100}), {}},                      // no good fix at all
        {Fixes({-1, 5, -50, 60}), {2}},                    // numbers count bad fixes too
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFile(dir.File("g.klf"), c.log);
        TavrelReader reader;
        const OutageListing listing = GpsOutagePass(reader, dir.File("g.klf"), 30, {});
        ASSERT_TRUE(listing.opened);
        EXPECT_EQ(listing.end, LoopEnd::EndOfData);
        EXPECT_EQ(listing.starts, c.expected);
    }
    TavrelReader reader;
    EXPECT_FALSE(GpsOutagePass(reader, dir.File("none.klf"), 30, {}).opened);
}

TEST(GpsOutagePassTest, DropsTheDataFromTheLastGoodFixToTheNextGoodFix) {
    LogBuilder log;
    const int sample[1] = {-60};
    log.Config(1, kBand800, kBand800).ScanList32(68000, 0);
    for (int s : {0, 1, 2}) {
        GpsFix fix;
        fix.seconds = s;
        log.Gps(fix).Samples(1, sample);
    }
    GpsFix lost;
    lost.statusCode = 3;  // acquiring satellites: the outage goes on
    for (int s : {20, 35}) {
        lost.seconds = s;
        log.Gps(lost).Samples(1, sample);
    }
    GpsFix late;
    late.seconds = 50;
    log.Gps(late).Samples(1, sample);
    late.seconds = 51;
    log.Gps(late);
    auto settings = FieldSettings({GpsTime});
    EXPECT_EQ(test::ConvertBytes(log.Bytes(), settings),
              "12:00:00\r\n12:00:01\r\n12:00:02\r\n12:00:20\r\n12:00:35\r\n12:00:50\r\n");
    settings.dropOutages = true;
    settings.outageSeconds = 30;
    EXPECT_EQ(test::ConvertBytes(log.Bytes(), settings), "12:00:00\r\n12:00:01\r\n12:00:50\r\n");
}

// A log longer than a day: the outage is found by its record, not by a fix at the same clock
// time on an earlier day; a day's gap that ends a second earlier in the day is an outage.
TEST(GpsOutagePassTest, OutagesOfALogLongerThanADayAreFoundByRecordNumber) {
    LogBuilder log;
    const int sample[1] = {-60};
    log.Config(1, kBand800, kBand800).ScanList32(68000, 0);
    const GpsFix fixes[] = {
        FixOn(2026, 6, 15, 12, 0, 0),  FixOn(2026, 6, 15, 12, 0, 1),   // #1, #2
        FixOn(2026, 6, 16, 12, 0, 0),  FixOn(2026, 6, 16, 12, 0, 1),   // #3 after a day, #4
        FixOn(2026, 6, 16, 12, 0, 40), FixOn(2026, 6, 16, 12, 0, 41),  // #5 after 39 s, #6
    };
    for (const GpsFix& fix : fixes) log.Gps(fix).Samples(1, sample);
    auto settings = FieldSettings({GpsDate, GpsTime});
    settings.dropOutages = true;
    settings.outageSeconds = 30;
    EXPECT_EQ(test::ConvertBytes(log.Bytes(), settings),
              "06/15/2026,12:00:00\r\n06/16/2026,12:00:00\r\n06/16/2026,12:00:40\r\n");
}

// Nothing of a conversion reaches the next pass on the same reader: an index pass after a
// conversion of deselected scans under best server finds what a fresh reader finds.
TEST(ConversionJobTest, APassAfterAConversionDecodesAsOnAFreshReader) {
    TempDir dir;
    const std::string input = dir.File("in.klf");
    WriteFile(input, sim::SimulateLog(sim::Scenario::Mixed, 8, 5, 60));
    struct Recorder : SilentIndexView {
        void AddScanNode(int mode, int index, const std::string& text) override {
            scans.push_back(std::to_string(mode) + "/" + std::to_string(index) + " " + text);
        }
        void SetStatistics(const std::vector<std::string>& lines) override { statistics = lines; }
        std::vector<std::string> scans, statistics;
    };
    TavrelReader fresh;
    Recorder expected;
    ASSERT_EQ(RunIndexPass(fresh, kFormatTavrel, input, expected, {}), IndexOutcome::Indexed);

    TavrelReader reader;
    auto settings = FieldSettings({GpsTime, DataField});
    settings.averageType = kAverageBestServer;
    settings.scans = ScanSelectionSnapshot({-1, 0, 1, 0});
    settings.dropOutages = true;
    settings.outageSeconds = 2;
    RecordingObserver observer;
    ASSERT_EQ(RunConversionJob(reader, {input}, {dir.File("in.out")}, settings, observer, {}),
              JobOutcome::Completed);
    Recorder after;
    ASSERT_EQ(RunIndexPass(reader, kFormatTavrel, input, after, {}), IndexOutcome::Indexed);
    EXPECT_EQ(after.scans, expected.scans);
    EXPECT_EQ(after.statistics, expected.statistics);
    EXPECT_FALSE(after.scans.empty());
}

}  // namespace
}  // namespace varistrum
