// SPDX-License-Identifier: GPL-3.0-or-later
// Faults around a conversion: outputs that cannot be written, inputs that cannot be read, a low
// open-file limit over a big folder, and very long lines where the output is split.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>

#include "averaging/averaging_engine.h"
#include "convert/convert_job.h"
#include "convert/folder_files.h"
#include "convert/output_split.h"
#include "index/make_index.h"
#include "logfile/identify.h"
#include "robustness/ram_dir.h"
#include "support/test_files.h"
#include "tools/log_builder.h"

namespace varistrum {
namespace {

namespace fs = std::filesystem;
using sim::LogBuilder;
using test::FieldSettings;
using test::InChild;
using test::RamDir;
using test::ReadFile;
using test::RecordingObserver;
using test::RtcLog;
using test::TempDir;
using test::WriteFile;

using test::kBand800;
const std::string kInputMissing = "Error: Input File Does Not Exist!";
const std::string kOutputInaccessible = "Error: Output File Cannot Be Accessed!";

struct JobResult {
    JobOutcome outcome;
    std::vector<std::string> messages;
};

JobResult Convert(const std::string& input, const std::string& output, bool dropOutages = false) {
    TavrelReader reader;
    RecordingObserver observer;
    auto settings = FieldSettings({DataField, RtcTime});
    settings.dropOutages = dropOutages;
    return {RunConversionJob(reader, {input}, {output}, settings, observer, {}), observer.messages};
}

JobResult ConvertFolder(const FileLists& files, int jobs) {
    TavrelReader prototype;
    RecordingObserver observer;
    const auto outcome =
        RunConversionJob(prototype, files.inputs, files.outputs, FieldSettings({DataField}),
                         observer, {}, JobKind::Folder, {}, nullptr, jobs);
    return {outcome, observer.messages};
}

// Whether this process can create files in a folder whose write bits are off (root can).
bool PermissionBitsBindUs(const TempDir& dir) {
    const fs::path probe = dir.Path() / "probe-folder";
    fs::create_directory(probe);
    fs::permissions(probe, fs::perms::owner_read | fs::perms::owner_exec);
    const bool created = ::close(::open((probe / "x").c_str(), O_WRONLY | O_CREAT, 0644)) == 0;
    fs::permissions(probe, fs::perms::owner_all);
    fs::remove_all(probe);
    return !created;
}

TEST(FaultInjectionTest, OutputsThatCannotBeCreatedFailTheJob) {
    TempDir dir;
    WriteFile(dir.File("in.klf"), RtcLog(3));
    fs::create_directory(dir.File("a-folder.out"));
    WriteFile(dir.File("a-file"), std::string("not a folder"));
    std::vector<std::string> outputs = {dir.File("a-folder.out"), dir.File("a-file/x.out"),
                                        dir.File("missing/x.out")};
    // Pseudo file systems refuse new files even to root.
    if (fs::is_directory("/proc/self")) outputs.push_back("/proc/varistrum-test.out");
    if (fs::is_directory("/sys/kernel")) outputs.push_back("/sys/kernel/varistrum-test.out");
    for (const std::string& output : outputs) {
        for (bool drop : {false, true}) {
            const JobResult result = Convert(dir.File("in.klf"), output, drop);
            EXPECT_EQ(result.outcome, JobOutcome::Failed) << output;
            EXPECT_EQ(result.messages, std::vector<std::string>{kOutputInaccessible}) << output;
        }
        const JobResult folder = ConvertFolder(
            {{dir.File("in.klf"), dir.File("in.klf")}, {dir.File("ok.out"), output}}, 2);
        EXPECT_EQ(folder.outcome, JobOutcome::Failed) << output;
        EXPECT_EQ(folder.messages, std::vector<std::string>{kOutputInaccessible}) << output;
    }
}

TEST(FaultInjectionTest, AnOutputFolderWithoutWritePermission) {
    TempDir dir;
    if (!PermissionBitsBindUs(dir))
        GTEST_SKIP() << "running as root: permission bits do not stop writes";
    WriteFile(dir.File("in.klf"), RtcLog(3));
    fs::create_directory(dir.File("locked"));
    fs::permissions(dir.File("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    const JobResult result = Convert(dir.File("in.klf"), dir.File("locked/in.out"));
    fs::permissions(dir.File("locked"), fs::perms::owner_all);
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_EQ(result.messages, std::vector<std::string>{kOutputInaccessible});
}

TEST(FaultInjectionTest, SplitPartsThatCannotBeCreatedFailTheSplit) {
    if (!fs::is_directory("/proc/self")) GTEST_SKIP() << "no /proc";
    TempDir dir;
    std::string text;
    for (int i = 0; i < 60001; ++i) text += "line\r\n";
    WriteFile(dir.File("run.out"), text);
    // The parts' folder exists but takes no files.
    fs::create_directory_symlink("/proc", dir.File("run"));
    RecordingObserver observer;
    EXPECT_EQ(SplitOutputFile(dir.File("run.out"), observer).value_or(""),
              "Split File Cannot Be Accessed!");
}

TEST(FaultInjectionTest, InputsThatCannotBeReadAreReportedAndWriteNothing) {
    TempDir dir;
    fs::create_directory(dir.File("folder.klf"));
    fs::create_symlink(dir.File("nowhere.klf"), dir.File("dangling.klf"));
    WriteFile(dir.File("locked.klf"), RtcLog(3));
    fs::permissions(dir.File("locked.klf"), fs::perms::none);
    std::vector<std::string> inputs = {dir.File("folder.klf"), dir.File("dangling.klf"),
                                       "/dev/null"};
    if (access(dir.File("locked.klf").c_str(), R_OK) != 0)
        inputs.push_back(dir.File("locked.klf"));  // not as root
    for (const std::string& input : inputs) {
        for (bool drop : {false, true}) {
            const std::string output = dir.File("out.out");
            const JobResult result = Convert(input, output, drop);
            EXPECT_EQ(result.outcome, JobOutcome::Failed) << input;
            EXPECT_EQ(result.messages, std::vector<std::string>{kInputMissing}) << input;
            EXPECT_FALSE(fs::exists(output)) << input;
        }
        EXPECT_EQ(IdentifyLogFile(input), 0) << input;
    }
}

// A named pipe nobody writes to: opening it for reading would wait forever.
TEST(FaultInjectionTest, ANamedPipeIsRefusedWithoutWaitingForAWriter) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.File("pipe.klf").c_str(), 0644), 0);
    const std::string pipe = dir.File("pipe.klf");
    const std::string output = dir.File("pipe.out");
    EXPECT_EQ(InChild([&] { return IdentifyLogFile(pipe); }, 10), 0) << "identify";
    EXPECT_EQ(InChild(
                  [&] {
                      const JobResult result = Convert(pipe, output);
                      return result.messages == std::vector<std::string>{kInputMissing} ? 0 : 1;
                  },
                  10),
              0)
        << "convert";
    EXPECT_FALSE(fs::exists(output));
}

// The same for a program started by the shell.
constexpr const char* kKeepHeap =
    "GLIBC_TUNABLES=glibc.malloc.mmap_threshold=67108864:glibc.malloc.trim_threshold=268435456 ";

// The hang guard of the 2000-file jobs: sanitizer builds run them tens of times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kManyFilesSeconds = 600;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr int kManyFilesSeconds = 600;
#else
constexpr int kManyFilesSeconds = 120;
#endif
#else
constexpr int kManyFilesSeconds = 120;
#endif

// Every open file must be closed again: 2000 files through jobs that may keep only 64 open.
TEST(FaultInjectionTest, AFolderOfTwoThousandFilesUnderALowOpenFileLimit) {
    const RamDir dir;
    fs::create_directory(dir.File("in"));
    const auto log = RtcLog(2);
    constexpr int kFiles = 2000;
    for (int i = 0; i < kFiles; ++i)
        WriteFile(dir.File("in/f" + std::to_string(10000 + i) + ".klf"), log);
    for (const char* out : {"one", "two", "cli"}) fs::create_directory(dir.File(out));

    const rlimit low{64, 64};
    const int status = InChild(
        [&] {
            // Heap blocks stay with the process, so thousands of megabyte buffers are not faulted
            // in anew.
            mallopt(M_MMAP_THRESHOLD, 64 << 20);
            mallopt(M_TRIM_THRESHOLD, 256 << 20);
            if (setrlimit(RLIMIT_NOFILE, &low) != 0) return 10;
            const FileLists one = ListFolderFiles(dir.File("in"), "*.klf", dir.File("one"), ".out");
            if (one.inputs.size() != kFiles) return 11;
            TavrelReader reader;
            RecordingObserver observer;
            if (RunConversionJob(reader, one.inputs, one.outputs, FieldSettings({DataField}),
                                 observer, {}) != JobOutcome::Completed)
                return 12;
            const FileLists two = ListFolderFiles(dir.File("in"), "*.klf", dir.File("two"), ".out");
            if (ConvertFolder(two, 2).outcome != JobOutcome::Completed) return 13;
            for (const std::string& input : one.inputs) {
                if (IdentifyLogFile(input) != 8) return 14;
            }
            const std::string command = std::string(kKeepHeap) + VARISTRUM_CLI +
                                        " convert -q --no-header --tags 0 -j 2 --input-folder " +
                                        dir.File("in") + " --output-folder " + dir.File("cli") +
                                        " > /dev/null";
            return test::RunCommand(command) == 0 ? 0 : 15;
        },
        kManyFilesSeconds);
    ASSERT_EQ(status, 0)
        << "10 limit, 11 listing, 12 job, 13 folder job, 14 identify, 15 command line";
    for (const char* out : {"one", "two", "cli"}) {
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.File(out)), fs::directory_iterator()),
                  kFiles)
            << out;
        EXPECT_EQ(ReadFile(dir.File(std::string(out) + "/f11999.out")),
                  "850.00000,0\r\n850.00000,-1\r\n")
            << out;
    }
}

int LineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// Lines longer than the split's read buffer (64 KiB) and the output buffer (1 MiB), placed on
// both sides of the boundary between two parts and as a last line without a line end.
TEST(FaultInjectionTest, LongLinesAtTheBoundaryOfSplitParts) {
    TempDir dir;
    const std::string shortLines = [] {
        std::string text;
        for (int i = 0; i < 59999; ++i) text += "a,1\r\n";
        return text;
    }();
    const struct {
        std::size_t length;
        int position;  // 60000: the first part's last line, 60001: the second part's first line
        bool lineEnd;
    } cases[] = {{(1 << 16) - 2, 60000, true}, {(1 << 16) - 1, 60001, true},
                 {1 << 16, 60000, true},       {(1 << 20) - 2, 60000, true},
                 {(1 << 20) + 1, 60001, true}, {1 << 20, 60001, false}};
    for (const auto& c : cases) {
        const std::string longLine = std::string(c.length, 'x') + (c.lineEnd ? "\r\n" : "");
        std::string text = shortLines;
        if (c.position == 60001) text += "b,2\r\n";
        text += longLine;
        if (c.position == 60000) text += "c,3\r\n";
        WriteFile(dir.File("long.out"), text);
        fs::remove_all(dir.File("long"));
        RecordingObserver observer;
        ASSERT_FALSE(SplitOutputFile(dir.File("long.out"), observer).has_value()) << c.length;
        const std::string part1 = ReadFile(dir.File("long/long-1.out"));
        const std::string part2 = ReadFile(dir.File("long/long-2.out"));
        EXPECT_EQ(LineCount(part1), 60000) << c.length;
        EXPECT_EQ(part1 + part2, text) << c.length;
        EXPECT_EQ(c.position == 60000 ? part1.substr(part1.size() - longLine.size()) : part2,
                  longLine)
            << c.length;
        EXPECT_FALSE(fs::exists(dir.File("long/long-3.out"))) << c.length;
    }
}

}  // namespace
}  // namespace varistrum
