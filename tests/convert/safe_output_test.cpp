// SPDX-License-Identifier: GPL-3.0-or-later
// Outputs are put in place whole or not at all, never over an input; folder jobs say what they
// skipped; split folders keep no parts of an earlier run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "averaging/averaging_engine.h"
#include "base/job_files.h"
#include "base/output_file.h"
#include "convert/convert_job.h"
#include "convert/output_split.h"
#include "support/test_files.h"
#include "tools/log_builder.h"

namespace varistrum {
namespace {

namespace fs = std::filesystem;
using test::FieldSettings;
using test::InChild;
using test::ReadFile;
using test::RecordingObserver;
using test::RtcLog;
using test::TempDir;
using test::WriteFile;

using test::kBand800;

// The names in a folder, sorted: leftover temporary files show up here.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(OutputFileTest, AnEarlierOutputStaysUntilTheNewOneIsComplete) {
    TempDir dir;
    const std::string path = dir.File("a.out");
    WriteFile(path, std::string("earlier"));
    OutputFile file;
    ASSERT_TRUE(file.Create(path));
    file.Write("new text\r\n");
    EXPECT_EQ(ReadFile(path), "earlier");
    file.Discard();
    EXPECT_EQ(ReadFile(path), "earlier");
    EXPECT_EQ(Names(dir.Path().string()), std::vector<std::string>{"a.out"});

    ASSERT_TRUE(file.Create(path));
    file.Write("new text\r\n");
    EXPECT_EQ(ReadFile(path), "earlier");
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(path), "new text\r\n");
    EXPECT_EQ(Names(dir.Path().string()), std::vector<std::string>{"a.out"});
}

TEST(OutputFileTest, AWriteProtectedOutputStaysRefused) {
    TempDir dir;
    const std::string path = dir.File("locked.out");
    WriteFile(path, std::string("earlier"));
    fs::permissions(path, fs::perms::owner_read);
    if (::access(path.c_str(), W_OK) == 0) GTEST_SKIP() << "running as root";
    OutputFile file;
    EXPECT_FALSE(file.Create(path));
    EXPECT_EQ(file.FailureReason(), "Permission denied");
    EXPECT_EQ(ReadFile(path), "earlier");
}

TEST(OutputFileTest, ANameNearTheSystemsLimitIsWritten) {
    TempDir dir;
    const std::string path = dir.File(std::string(250, 'n') + ".out");
    OutputFile file;
    ASSERT_TRUE(file.Create(path));
    file.Write("text");
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(path), "text");
}

TEST(OutputFileTest, ALinkIsFollowedAndKept) {
    TempDir dir;
    WriteFile(dir.File("target.out"), std::string("earlier"));
    fs::create_symlink("target.out", dir.File("link.out"));
    OutputFile file;
    ASSERT_TRUE(file.Create(dir.File("link.out")));
    file.Write("text");
    ASSERT_TRUE(file.Close());
    EXPECT_TRUE(fs::is_symlink(dir.File("link.out")));
    EXPECT_EQ(ReadFile(dir.File("target.out")), "text");
}

TEST(OutputFileTest, DevicesAreWrittenDirectlyAndTheirFailuresGiveTheReason) {
    OutputFile null;
    ASSERT_TRUE(null.Create("/dev/null"));
    null.Write("text");
    EXPECT_TRUE(null.Close());
    OutputFile full;
    ASSERT_TRUE(full.Create("/dev/full"));
    full.Write("text");
    EXPECT_FALSE(full.Close());
    EXPECT_EQ(full.FailureReason(), "No space left on device");
}

TEST(OutputFileTest, ANamedPipeNobodyReadsIsRefusedWithoutWaiting) {
    TempDir dir;
    const std::string fifo = dir.File("fifo.out");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int status = InChild(
        [&] {
            OutputFile file;
            const bool created = file.Create(fifo);
            return !created && file.FailureReason() == "no process reads the named pipe" ? 0 : 1;
        },
        10);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Names(dir.Path().string()), std::vector<std::string>{"fifo.out"});
}

// Paths of one file under other names, and paths of different files.
TEST(JobFilesCheckTest, TheSameFileUnderAnyName) {
    TempDir dir;
    WriteFile(dir.File("log.klf"), std::string("x"));
    WriteFile(dir.File("other.klf"), std::string("y"));
    fs::create_symlink(dir.File("log.klf"), dir.File("soft.klf"));
    fs::create_hard_link(dir.File("log.klf"), dir.File("hard.klf"));
    fs::create_directory(dir.File("sub"));
    const struct {
        std::string a, b;
        bool same;
    } cases[] = {
        {dir.File("log.klf"), dir.File("log.klf"), true},
        {dir.File("log.klf"), dir.File("sub/../log.klf"), true},
        {dir.File("log.klf"), dir.File("soft.klf"), true},
        {dir.File("log.klf"), dir.File("hard.klf"), true},
        {dir.File("new.out"), dir.File("sub/../new.out"), true},  // neither exists yet
        {dir.File("log.klf"), dir.File("other.klf"), false},
        {dir.File("log.klf"), dir.File("log.out"), false},
        {dir.File("new.out"), dir.File("new2.out"), false},
    };
    for (const auto& c : cases) EXPECT_EQ(SameFile(c.a, c.b), c.same) << c.a << " " << c.b;

    const auto refusal = CheckJobFiles({dir.File("log.klf")}, {dir.File("hard.klf")});
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->message, "The output file is the input file.");
    EXPECT_EQ(refusal->path, dir.File("hard.klf"));
    // One input's output over another input of the same job.
    EXPECT_TRUE(CheckJobFiles({dir.File("log.klf"), dir.File("other.klf")},
                              {dir.File("other.klf"), dir.File("x.out")}));
    const auto twice = CheckJobFiles({dir.File("run.KLF"), dir.File("run.klf")},
                                     {dir.File("out/run.out"), dir.File("out/run.out")});
    ASSERT_TRUE(twice.has_value());
    EXPECT_EQ(twice->message, "'" + dir.File("run.KLF") + "' and '" + dir.File("run.klf") +
                                  "' give the same output file.");
    EXPECT_FALSE(CheckJobFiles({dir.File("log.klf"), dir.File("other.klf")},
                               {dir.File("log.out"), dir.File("other.out")}));
}

struct Job {
    JobOutcome outcome;
    std::vector<std::string> messages;
};

Job RunJob(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs,
           ConversionSettings settings, JobKind kind = JobKind::SingleFile,
           std::stop_token stop = {}) {
    TavrelReader reader;
    RecordingObserver observer;
    const JobOutcome outcome =
        RunConversionJob(reader, inputs, outputs, settings, observer, stop, kind);
    return {outcome, observer.messages};
}

TEST(SafeConversionTest, AnOutputThatIsTheInputIsRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    WriteFile(dir.File("log.klf"), RtcLog(20));
    const std::string log = ReadFile(dir.File("log.klf"));
    fs::create_symlink(dir.File("log.klf"), dir.File("soft.out"));
    for (const std::string& output : {dir.File("log.klf"), dir.File("soft.out")}) {
        const Job job = RunJob({dir.File("log.klf")}, {output}, FieldSettings({DataField}));
        EXPECT_EQ(job.outcome, JobOutcome::Failed);
        EXPECT_EQ(job.messages,
                  std::vector<std::string>{"Error: The output file is the input file."});
        EXPECT_EQ(ReadFile(dir.File("log.klf")), log);
    }
}

// Cancels the job once the gauge passes a per cent.
class CancellingObserver : public RecordingObserver {
  public:
    explicit CancellingObserver(int atPercent) : atPercent_(atPercent) {}
    void SetProgress(int percent) override {
        if (percent >= atPercent_ && percent < 100) stop.request_stop();
    }
    std::stop_source stop;

  private:
    int atPercent_;
};

TEST(SafeConversionTest, ACancelledOutputIsPutInPlaceInWholeLines) {
    TempDir dir;
    WriteFile(dir.File("log.klf"), RtcLog(200000));
    WriteFile(dir.File("log.out"), std::string("earlier"));
    const auto settings = FieldSettings({DataField, RtcTime});
    ASSERT_EQ(RunJob({dir.File("log.klf")}, {dir.File("full.out")}, settings).outcome,
              JobOutcome::Completed);
    const std::string full = ReadFile(dir.File("full.out"));

    TavrelReader reader;
    CancellingObserver observer(30);
    EXPECT_EQ(RunConversionJob(reader, {dir.File("log.klf")}, {dir.File("log.out")}, settings,
                               observer, observer.stop.get_token()),
              JobOutcome::Cancelled);
    const std::string partial = ReadFile(dir.File("log.out"));
    EXPECT_GT(partial.size(), full.size() / 5);
    EXPECT_LT(partial.size(), full.size());
    EXPECT_EQ(full.compare(0, partial.size(), partial), 0);
    EXPECT_EQ(partial.substr(partial.size() - 2), "\r\n");
    EXPECT_EQ(Names(dir.Path().string()),
              (std::vector<std::string>{"full.out", "log.klf", "log.out"}));
}

TEST(SafeConversionTest, AFailedWriteKeepsTheEarlierOutput) {
    TempDir dir;
    WriteFile(dir.File("log.klf"), RtcLog(50));
    fs::create_directory(dir.File("part"));
    // The split's parts folder is a file: the output itself is written, the split fails.
    WriteFile(dir.File("big.klf"), RtcLog(60001));
    WriteFile(dir.File("big"), std::string("a file"));
    auto settings = FieldSettings({DataField});
    settings.split = true;
    const Job split = RunJob({dir.File("big.klf")}, {dir.File("big.out")}, settings);
    EXPECT_EQ(split.outcome, JobOutcome::Failed);
    EXPECT_EQ(split.messages, std::vector<std::string>{"Error: Cannot create directory."});
    // A device that takes no bytes: the failure is reported, nothing is left behind.
    const Job full = RunJob({dir.File("log.klf")}, {"/dev/full"}, FieldSettings({DataField}));
    EXPECT_EQ(full.outcome, JobOutcome::Failed);
    EXPECT_EQ(full.messages, std::vector<std::string>{"Error: Output File Cannot Be Accessed!"});
}

TEST(SafeConversionTest, SplitRunsRemoveThePartsOfAnEarlierLongerRun) {
    TempDir dir;
    WriteFile(dir.File("long.klf"), RtcLog(130000));
    WriteFile(dir.File("short.klf"), RtcLog(70000));
    WriteFile(dir.File("tiny.klf"), RtcLog(10));
    auto settings = FieldSettings({DataField});
    settings.split = true;
    const std::string output = dir.File("run.out");
    ASSERT_EQ(RunJob({dir.File("long.klf")}, {output}, settings).outcome, JobOutcome::Completed);
    EXPECT_EQ(Names(dir.File("run")),
              (std::vector<std::string>{"run-1.out", "run-2.out", "run-3.out"}));
    WriteFile(dir.File("run/notes.txt"), std::string("mine"));
    WriteFile(dir.File("run/run-03.out"), std::string("mine"));

    Job job = RunJob({dir.File("short.klf")}, {output}, settings);
    EXPECT_EQ(job.outcome, JobOutcome::Completed);
    EXPECT_EQ(job.messages,
              (std::vector<std::string>{"Information: 1 part file(s) of an earlier run removed.",
                                        "Information: Conversion Has Been Completed!"}));
    EXPECT_EQ(Names(dir.File("run")),
              (std::vector<std::string>{"notes.txt", "run-03.out", "run-1.out", "run-2.out"}));
    // A run too short to split leaves no parts; the folder goes once it is empty.
    job = RunJob({dir.File("tiny.klf")}, {output}, settings);
    EXPECT_EQ(job.messages.front(), "Information: 2 part file(s) of an earlier run removed.");
    EXPECT_EQ(Names(dir.File("run")), (std::vector<std::string>{"notes.txt", "run-03.out"}));
    fs::remove(dir.File("run/notes.txt"));
    fs::remove(dir.File("run/run-03.out"));
    WriteFile(dir.File("run/run-1.out"), std::string("stale"));
    ASSERT_EQ(RunJob({dir.File("tiny.klf")}, {output}, settings).outcome, JobOutcome::Completed);
    EXPECT_FALSE(fs::exists(dir.File("run")));
}

// The parts of a split are named after the output: one that is a link, or another name of the
// input or of the output itself, is refused; the input and the other files stay as they were.
TEST(SafeConversionTest, SplitPartsNeverLeadToOtherFiles) {
    const struct {
        const char* name;
        std::function<void(const TempDir&)> setUp;
        const char* message;
    } cases[] = {
        {"a part that is a link",
         [](const TempDir& dir) { fs::create_symlink("../victim", dir.File("big/big-2.out")); },
         "Error: Split File Cannot Be Accessed!"},
        {"a part that is the input",
         [](const TempDir& dir) {
             fs::create_hard_link(dir.File("big.klf"), dir.File("big/big-1.out"));
         },
         "Error: The output file is the input file."},
        {"a part that is the output",
         [](const TempDir& dir) {
             WriteFile(dir.File("big.out"), std::string("earlier"));
             fs::create_hard_link(dir.File("big.out"), dir.File("big/big-1.out"));
         },
         "is written twice by one output."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        WriteFile(dir.File("big.klf"), RtcLog(60001));
        WriteFile(dir.File("victim"), std::string("victim"));
        fs::create_directory(dir.File("big"));
        c.setUp(dir);
        const std::string log = ReadFile(dir.File("big.klf"));
        auto settings = FieldSettings({DataField});
        settings.split = true;
        const Job job = RunJob({dir.File("big.klf")}, {dir.File("big.out")}, settings);
        EXPECT_EQ(job.outcome, JobOutcome::Failed);
        ASSERT_FALSE(job.messages.empty());
        EXPECT_EQ(job.messages.back().rfind("Error: ", 0), 0u) << job.messages.back();
        EXPECT_NE(job.messages.back().find(c.message), std::string::npos) << job.messages.back();
        EXPECT_EQ(ReadFile(dir.File("big.klf")), log);
        EXPECT_EQ(ReadFile(dir.File("victim")), "victim");
    }
}

// A log whose receiver samples come without a frequency definition.
std::vector<std::uint8_t> NoFrequencyLog() {
    sim::LogBuilder log;
    log.Config(1, kBand800, kBand800).Rtc(1, 2, 3);
    const int sample[1] = {-60};
    for (int i = 0; i < 5; ++i) log.Samples(1, sample);
    return log.Bytes();
}

TEST(FolderJobTest, FilesThatCannotBeConvertedAreSkippedAndNamed) {
    TempDir dir;
    fs::create_directory(dir.File("in"));
    fs::create_directory(dir.File("out"));
    sim::LogBuilder format9(9);
    format9.Rtc(1, 2, 3).Config(1, kBand800, kBand800).ScanList32(68000, 0);
    const int sample[1] = {-70};
    format9.Samples(1, sample);
    WriteFile(dir.File("in/a.klf"), RtcLog(10));
    WriteFile(dir.File("in/b.klf"), std::string("plain text"));
    WriteFile(dir.File("in/c.klf"), std::string());
    WriteFile(dir.File("in/d.klf"), format9.Bytes());
    WriteFile(dir.File("in/e.klf"), NoFrequencyLog());
    const std::vector<std::string> inputs = {dir.File("in/a.klf"), dir.File("in/b.klf"),
                                             dir.File("in/c.klf"), dir.File("in/d.klf"),
                                             dir.File("in/e.klf")};
    const std::vector<std::string> outputs = {dir.File("out/a.out"), dir.File("out/b.out"),
                                              dir.File("out/c.out"), dir.File("out/d.out"),
                                              dir.File("out/e.out")};
    const std::vector<std::string> expected = {
        "Information: Conversion Has Been Completed!",
        "Information: Skipped b.klf: File is not from a QTX CW product.\n"
        "Skipped c.klf: File is not from a QTX CW product.\n"
        "Skipped e.klf: Receiver frequencies must be entered before converting."};
    const auto settings = FieldSettings({DataField});
    const Job job = RunJob(inputs, outputs, settings, JobKind::Folder);
    EXPECT_EQ(job.outcome, JobOutcome::Skipped);
    EXPECT_EQ(job.messages, expected);
    EXPECT_EQ(Names(dir.File("out")), (std::vector<std::string>{"a.out", "d.out"}));
    EXPECT_EQ(ReadFile(dir.File("out/d.out")),
              "850.00000,-70\r\n");  // read as format 9, not as a's 8
    EXPECT_FALSE(ReadFile(dir.File("out/a.out")).empty());

    fs::remove_all(dir.File("out"));
    fs::create_directory(dir.File("out"));
    TavrelReader prototype;
    RecordingObserver observer;
    EXPECT_EQ(RunConversionJob(prototype, inputs, outputs, settings, observer, {}, JobKind::Folder,
                               {}, nullptr, 2),
              JobOutcome::Skipped);
    EXPECT_EQ(observer.messages, expected);
    EXPECT_EQ(Names(dir.File("out")), (std::vector<std::string>{"a.out", "d.out"}));
}

// Remembers the closing report of a folder job.
class SummaryObserver : public CancellingObserver {
  public:
    using CancellingObserver::CancellingObserver;
    void ReportSummary(const JobSummary& summary) override { counts = summary.CountsLine(); }
    std::string counts;
};

TEST(FolderJobTest, ACancelNamesTheFinishedPartialAndUnstartedFiles) {
    TempDir dir;
    std::vector<std::string> inputs, outputs;
    for (const char* name : {"a", "b", "c"}) {
        inputs.push_back(dir.File(std::string(name) + ".klf"));
        outputs.push_back(dir.File(std::string(name) + ".out"));
        WriteFile(inputs.back(), RtcLog(100000));
    }
    TavrelReader reader;
    SummaryObserver observer(30);
    EXPECT_EQ(RunConversionJob(reader, inputs, outputs, FieldSettings({DataField}), observer,
                               observer.stop.get_token(), JobKind::Folder),
              JobOutcome::Cancelled);
    EXPECT_EQ(observer.counts, "0 converted, 0 skipped, 1 partial, 2 not started");
    EXPECT_EQ(Names(dir.Path().string()),
              (std::vector<std::string>{"a.klf", "a.out", "b.klf", "c.klf"}));

    JobSummary summary;
    summary.files = {{"in/a.klf", FileReport::State::Converted, {}},
                     {"in/b.klf", FileReport::State::Skipped, "File is not from a QTX CW product."},
                     {"in/c.klf", FileReport::State::Failed, "Output File Cannot Be Accessed!"}};
    EXPECT_EQ(summary.CountsLine(), "1 converted, 1 skipped, 1 failed");
    EXPECT_EQ(summary.SkippedLines(), "Skipped b.klf: File is not from a QTX CW product.");
}

// With two workers, a failing output ends the job without cutting other outputs short: each
// output is its whole conversion or its earlier version.
TEST(FolderJobTest, AFailureInAParallelJobLeavesOtherOutputsWhole) {
    TempDir dir;
    std::vector<std::string> inputs, outputs;
    for (int i = 0; i < 6; ++i) {
        inputs.push_back(dir.File("in" + std::to_string(i) + ".klf"));
        outputs.push_back(dir.File("in" + std::to_string(i) + ".out"));
        WriteFile(inputs.back(), RtcLog(20000 + i));
        WriteFile(outputs.back(), std::string("earlier"));
    }
    fs::remove(outputs[1]);
    fs::create_directory(outputs[1]);  // cannot be written
    const auto settings = FieldSettings({DataField});
    std::vector<std::string> whole;
    for (int i = 0; i < 6; ++i) {
        const std::string out = dir.File("whole" + std::to_string(i) + ".out");
        ASSERT_EQ(RunJob({inputs[i]}, {out}, settings).outcome, JobOutcome::Completed);
        whole.push_back(ReadFile(out));
    }
    TavrelReader prototype;
    RecordingObserver observer;
    EXPECT_EQ(RunConversionJob(prototype, inputs, outputs, settings, observer, {}, JobKind::Folder,
                               {}, nullptr, 2),
              JobOutcome::Failed);
    EXPECT_EQ(observer.messages,
              std::vector<std::string>{"Error: Output File Cannot Be Accessed!"});
    for (int i : {0, 2, 3, 4, 5}) {
        const std::string text = ReadFile(outputs[static_cast<std::size_t>(i)]);
        EXPECT_TRUE(text == whole[static_cast<std::size_t>(i)] || text == "earlier") << i;
    }
    EXPECT_EQ(ReadFile(outputs[5]), "earlier");  // not started after the failure
}

std::vector<std::uint8_t> Appended(std::vector<std::uint8_t> bytes, std::size_t count) {
    bytes.insert(bytes.end(), count, 0x07);
    return bytes;
}

// Bytes the reader never decodes are counted as skipped.
TEST(SkippedBytesTest, DataBehindDataEndAndACutLastRecordAreSkippedBytes) {
    sim::LogBuilder log;
    log.Rtc(1, 2, 3).Rtc(1, 2, 4);
    const std::vector<std::uint8_t> clean = log.Bytes();
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::int64_t skipped;
    } cases[] = {
        {"clean", clean, 0},
        {"data behind DataEnd", Appended(clean, 5), 5},
        {"last record cut", std::vector<std::uint8_t>(clean.begin(), clean.end() - 3), 10 - 3},
        {"one byte of a length", Appended(log.Bytes(clean.size() + 1), 1), 1},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteFile(dir.File("f.klf"), c.bytes);
        TavrelReader reader;
        reader.SetInputFormat(8);
        ASSERT_EQ(reader.Open(dir.File("f.klf")), 0);
        RecordBuffer buffer;
        while (reader.ReadNextRecord(buffer) != 0) {
        }
        EXPECT_EQ(reader.ReadNextRecord(buffer), 0);  // counted once
        EXPECT_EQ(reader.Damage().skippedBytes, c.skipped) << c.name;
        EXPECT_EQ(reader.Damage().damagedRecords, 0) << c.name;
    }
}

}  // namespace
}  // namespace varistrum
