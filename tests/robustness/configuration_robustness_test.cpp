// SPDX-License-Identifier: GPL-3.0-or-later
// Configuration files a user may point the window at by mistake: odd line ends, huge numbers of
// entries, pipes. Opening never hangs and gives the defaults; saving never replaces a non-file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>

#include "settings/configuration.h"
#include "support/test_files.h"

namespace varistrum {
namespace {

namespace fs = std::filesystem;
using test::InChild;
using test::TempDir;
using test::WriteFile;

std::string Repeated(const std::string& pattern, int times, int from = 0) {
    std::string text;
    for (int i = from; i < from + times; ++i) {
        std::string line = pattern;
        const std::size_t at = line.find('#');
        if (at != std::string::npos) line.replace(at, 1, std::to_string(i));
        text += line;
    }
    return text;
}

TEST(ConfigurationRobustnessTest, OddFilesOpenQuicklyWithDefaults) {
    const struct {
        const char* name;
        std::string text;
        std::size_t availableRows;
    } cases[] = {
        {"empty", "", 0},
        {"old Mac line ends", "[InputFile]\rFilename=x.klf\r[InputFormat]\rProduct=8\r", 0},
        {"70000 sections", Repeated("[S#]\r\nk=1\r\n", 70000), 0},
        {"40000 keys, count past the rows",
         "[AvailableFields]\r\nCount=2000000000\r\n" + Repeated("Field#=Receiver\r\n", 40000),
         1000},
        {"70000 keys of no field",
         "[AvailableFields]\r\nCount=2000000000\r\n" + Repeated("Field#=x\r\n", 70000), 0},
        {"the file's sections repeated",
         Repeated("[InputFile]\r\nFilename=late\r\n", 30000, 1).insert(0, "[InputFile]\r\n"), 0},
        {"one line of brackets", std::string(1 << 20, '['), 0},
        {"one line of equal signs", "[InputFile]\r\n" + std::string((1 << 20) - 13, '='), 0},
        // Larger than 1 MiB: not read at all.
        {"200000 keys beyond 1 MiB",
         "[AvailableFields]\r\nCount=2000000000\r\n" + Repeated("Field#=Receiver\r\n", 200000), 0},
        {"NUL bytes in names",
         std::string("[Input\0File]\r\nFilename=x\r\n[InputFile]\r\nFile\0name=y\r\n", 48), 0},
    };
    TempDir dir;
    for (const auto& c : cases) {
        WriteFile(dir.File("odd.cfg"), c.text);
        SettingsModel s;
        const auto start = std::chrono::steady_clock::now();
        OpenConfiguration(dir.File("odd.cfg"), s);
        const auto seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 10.0) << c.name;
        EXPECT_EQ(s.inputFilename, "Sample.in") << c.name;
        EXPECT_EQ(s.inputFormat, 0) << c.name;
        EXPECT_EQ(s.outputFilename, "Sample.out") << c.name;
        EXPECT_EQ(s.availableFields.size(), c.availableRows) << c.name;
        EXPECT_TRUE(s.selectedFields.empty()) << c.name;
        EXPECT_TRUE(s.receiver1 && !s.receiver2 && s.noAvg && !s.bsAvg) << c.name;
    }
}

// A named pipe nobody writes to would block a reader for good; saving over it must not turn
// it into a file either.
TEST(ConfigurationRobustnessTest, ANamedPipeIsNoConfiguration) {
    TempDir dir;
    const std::string pipe = dir.File("pipe.cfg");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    EXPECT_EQ(InChild(
                  [&] {
                      SettingsModel s;
                      OpenConfiguration(pipe, s);
                      return s.inputFilename == "Sample.in" ? 0 : 1;
                  },
                  10),
              0);
    EXPECT_EQ(InChild([&] { return SaveConfiguration(pipe, SettingsModel()) ? 1 : 0; }, 10), 0);
    EXPECT_TRUE(fs::is_fifo(pipe));
}

}  // namespace
}  // namespace varistrum
