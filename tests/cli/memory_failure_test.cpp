// SPDX-License-Identifier: GPL-3.0-or-later
// Out of memory or of room for temporary files, every command ends with its message and status
// 1, never an abort, and leaves no output behind: allocations made to fail in a child process
// (on the main thread and on a folder job's workers), an address-space limit under a large
// picture, and a TMPDIR that cannot take the records waiting between two fixes.
#include <gtest/gtest.h>
#include <libxml/xmlmemory.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "support/test_files.h"
#include "tools/drive_simulator.h"
#include "tools/log_builder.h"

namespace {

// Allocations of at least this many bytes fail once it is set (0: none fail). Only a child
// process sets it.
std::atomic<std::size_t> failFrom{0};

}  // namespace

void* operator new(std::size_t bytes) {
    const std::size_t limit = failFrom.load(std::memory_order_relaxed);
    if (limit != 0 && bytes >= limit) throw std::bad_alloc();
    if (void* p = std::malloc(bytes == 0 ? 1 : bytes)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace varistrum {
namespace {

namespace fs = std::filesystem;

// A fix, then records of the longest kind until `megabytes` of levels wait for the next fix
// some 2 km away, then one more record and fix.
std::vector<std::uint8_t> GapLog(int megabytes) {
    sim::LogBuilder log(9);
    log.Config(3, sim::kBand800, sim::kBand30kHz);
    log.ScanList32(sim::kBand800.first + 100, sim::kBand30kHz.first + 7);
    sim::GpsFix fix;
    fix.latitudeMas = 185000000;
    fix.longitudeMas = 25000000;
    std::vector<int> levels(4094, -60);
    log.Gps(fix);
    log.Samples(1, levels);
    fix.seconds = 1;
    log.Gps(fix);
    for (int r = 0; r < megabytes * 256; ++r) {
        for (std::size_t k = 0; k < levels.size(); ++k)
            levels[k] = -40 - static_cast<int>((static_cast<std::size_t>(r) * 7 + k) % 80);
        log.Samples(1, levels);
    }
    fix.minutes = 30;
    fix.latitudeMas += 60000;
    log.Gps(fix);
    log.Samples(1, levels);
    fix.minutes = 31;
    log.Gps(fix);
    return log.Bytes();
}

// The files of a folder, by name.
std::set<std::string> Files(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Runs the command line in a child process after `prepare`, its standard error into `messages`;
// the child's exit status (128 + a signal that ended it).
int RunInChild(const std::vector<std::string>& words, const std::string& messages,
               const std::function<void()>& prepare) {
    return test::InChild(
        [&] {
            std::freopen(messages.c_str(), "w", stderr);
            std::freopen("/dev/null", "w", stdout);
            prepare();
            std::vector<char*> argv;
            for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
            argv.push_back(nullptr);
            const int status = cli::Run(static_cast<int>(words.size()), argv.data());
            std::fflush(stderr);
            return status;
        },
        120);
}

TEST(MemoryFailureTest, AnAllocationFailureEndsEveryCommandWithItsMessage) {
    test::TempDir dir;
    const std::string log = dir.File("gap.klf");
    test::WriteFile(log, GapLog(3));
    fs::create_directories(dir.Path() / "in");
    fs::create_directories(dir.Path() / "out");
    for (int k = 1; k <= 3; ++k)
        fs::copy_file(log, dir.Path() / "in" / ("d" + std::to_string(k) + ".klf"));
    const std::string out = dir.File("out.txt");
    // Blocks of half a megabyte fail at once (the reader's own); of 1.5 MB, only once the
    // records waiting between the two fixes outgrow a megabyte, mid-way through the job (on a
    // folder job's worker threads there).
    constexpr std::size_t kAtOnce = std::size_t{512} << 10, kMidway = std::size_t{3} << 19;
    const struct {
        const char* name;
        std::vector<std::string> words;
        std::size_t failFrom;
    } cases[] = {
        {"convert at once", {"convert", log, "-o", out}, kAtOnce},
        {"convert midway", {"convert", log, "-o", out}, kMidway},
        {"40-lambda midway", {"convert", log, "-o", out, "--average", "40-lambda"}, kMidway},
        {"map layer midway", {"convert", log, "-o", dir.File("out.gpkg")}, kMidway},
        {"kml track midway", {"convert", log, "-o", dir.File("out.kml")}, kMidway},
        {"kml points midway", {"convert", log, "-o", dir.File("out.kml"), "--kml-points"}, kMidway},
        {"csv midway", {"convert", log, "--format", "csv", "-o", dir.File("out.csv")}, kMidway},
        {"folder job on two threads, midway",
         {"convert", "--input-folder", dir.File("in"), "--output-folder", dir.File("out"), "-j",
          "2", "-q"},
         kMidway},
        {"map midway", {"map", log, "-o", dir.File("out.png")}, kMidway},
        {"report", {"report", log}, kAtOnce},
        {"index", {"index", log}, kAtOnce},
    };
    const std::set<std::string> before = Files(dir.Path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> words = {"varistrum-cli"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        const std::string messages = dir.Path().parent_path() / "messages";
        const int status = RunInChild(words, messages, [&] { failFrom = c.failFrom; });
        EXPECT_EQ(status, 1);
        EXPECT_EQ(test::ReadFile(messages), "Error: not enough memory\n");
        EXPECT_EQ(Files(dir.Path()), before);  // no output, no temporary file
        EXPECT_TRUE(fs::is_empty(dir.Path() / "out"));
    }
}

// libxml2's allocations, made to fail once the KML document is under way (after `fine` of
// them): the writer tells running out of memory from a failed write, also where libxml2 drops
// a text it cannot copy and reports success.
std::atomic<long> xmlAllocationsLeft{-1};  // -1: none fail
std::atomic<long> xmlAllocationsMade{0};

bool XmlAllocationFails() {
    ++xmlAllocationsMade;
    return xmlAllocationsLeft.load() >= 0 && xmlAllocationsLeft.fetch_sub(1) <= 0;
}
void* FailingXmlMalloc(std::size_t bytes) {
    return XmlAllocationFails() ? nullptr : std::malloc(bytes);
}
void* FailingXmlRealloc(void* p, std::size_t bytes) {
    return XmlAllocationFails() ? nullptr : std::realloc(p, bytes);
}
char* FailingXmlStrdup(const char* text) {
    return XmlAllocationFails() ? nullptr : strdup(text);
}

TEST(MemoryFailureTest, LibxmlRunningOutOfMemoryEndsAKmlExportWithTheMessage) {
    test::TempDir dir;
    const std::string log = test::Simulate(dir, "mixed", 3, 300);
    const std::string messages = dir.Path().parent_path() / "messages";
    const std::string count = dir.Path().parent_path() / "allocations";
    const std::set<std::string> before = Files(dir.Path());
    for (const bool points : {false, true}) {
        std::vector<std::string> words = {"varistrum-cli",    "convert", "-q", log, "-o",
                                          dir.File("out.kml")};
        if (points) words.push_back("--kml-points");
        // The allocations of the whole document, counted in a run where none fails.
        ASSERT_EQ(test::InChild(
                      [&] {
                          std::freopen(messages.c_str(), "w", stderr);
                          std::freopen("/dev/null", "w", stdout);
                          xmlMemSetup(std::free, FailingXmlMalloc, FailingXmlRealloc,
                                      FailingXmlStrdup);
                          std::vector<char*> argv;
                          for (const std::string& word : words)
                              argv.push_back(const_cast<char*>(word.c_str()));
                          argv.push_back(nullptr);
                          const int status = cli::Run(static_cast<int>(words.size()), argv.data());
                          std::ofstream(count) << xmlAllocationsMade.load();
                          return status;
                      },
                      120),
                  0);
        const long total = std::stol(test::ReadFile(count));
        fs::remove(dir.File("out.kml"));
        ASSERT_GT(total, 100);
        // At the start, early on, half way through and at the last allocation.
        for (const long fine : {0L, 40L, total / 4, total / 2, total * 3 / 4, total - 1}) {
            SCOPED_TRACE(std::to_string(fine) + " of " + std::to_string(total) +
                         (points ? " points" : " track"));
            const int status = RunInChild(words, messages, [&] {
                xmlMemSetup(std::free, FailingXmlMalloc, FailingXmlRealloc, FailingXmlStrdup);
                xmlAllocationsLeft = fine;
            });
            EXPECT_EQ(status, 1);
            EXPECT_EQ(test::ReadFile(messages), "Error: not enough memory\n");
            EXPECT_EQ(Files(dir.Path()), before);  // no output, no temporary file
            fs::remove(dir.File("out.kml"));       // so that a failure here does not spread
        }
    }
}

// A picture larger than the memory the process may have: Qt's null image is the same failure.
TEST(MemoryFailureTest, APictureBeyondTheAddressSpaceIsNotEnoughMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizers reserve address space of their own";
#endif
    test::TempDir dir;
    const std::string log = test::Simulate(dir, "single-gps", 3, 60);
    const std::string messages = dir.File("messages");
    const int status = RunInChild(
        {"varistrum-cli", "map", "-q", log, "-o", dir.File("big.png"), "--size", "8192x8192"},
        messages, [] {
            // What the process has mapped now, and 160 MiB more: the 256 MiB picture cannot fit.
            std::ifstream status("/proc/self/status");
            long kilobytes = 0;
            for (std::string line; std::getline(status, line);) {
                if (line.rfind("VmSize:", 0) == 0) kilobytes = std::atol(line.c_str() + 7);
            }
            const rlim_t bytes = static_cast<rlim_t>(kilobytes + (160 << 10)) << 10;
            const rlimit limit{bytes, bytes};
            setrlimit(RLIMIT_AS, &limit);
        });
    EXPECT_EQ(status, 1);
    EXPECT_NE(test::ReadFile(messages).find("Error: not enough memory\n"), std::string::npos)
        << test::ReadFile(messages);
    EXPECT_FALSE(fs::exists(dir.File("big.png")));
}

// The records between two fixes beyond a few MB wait in a temporary file in TMPDIR; when it
// cannot be made there the conversion fails with the folder and the reason, and no output.
TEST(MemoryFailureTest, TheSpillFileFollowsTmpdirOrTheJobFails) {
    test::TempDir dir;
    const std::string log = dir.File("gap.klf");
    test::WriteFile(log, GapLog(5));
    fs::create_directories(dir.Path() / "spill");
    const std::string cli = VARISTRUM_CLI;
    const auto convert = [&](const std::string& tmpdir, const std::string& output) {
        return test::RunCommand("TMPDIR=" + tmpdir + " " + cli + " convert -q " + log + " -o " +
                                output + " 2>" + dir.File("messages"));
    };
    EXPECT_EQ(convert(dir.File("spill"), dir.File("a.out")), 0);
    EXPECT_TRUE(fs::is_empty(dir.Path() / "spill"));  // unnamed, and gone with the process
    EXPECT_EQ(convert(dir.File("missing"), dir.File("b.out")), 1);
    EXPECT_EQ(test::ReadFile(dir.File("messages")),
              "Error: Cannot make a temporary file in '" + dir.File("missing") +
                  "': No such file or directory (TMPDIR chooses the folder of temporary files)\n");
    EXPECT_FALSE(fs::exists(dir.File("b.out")));
    // The records wait in memory below a few MB: the missing folder is never asked for.
    test::WriteFile(dir.File("short.klf"), GapLog(1));
    EXPECT_EQ(test::RunCommand("TMPDIR=" + dir.File("missing") + " " + cli + " convert -q " +
                               dir.File("short.klf") + " -o " + dir.File("c.out")),
              0);
}

}  // namespace
}  // namespace varistrum
