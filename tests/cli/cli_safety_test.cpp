// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli never writes over its input, never blocks on a named pipe, says what failed
// and why, and reports stopping signals the way the shell does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/test_files.h"

extern char** environ;

namespace varistrum {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::RunCommand;
using test::TempDir;
using test::WriteFile;

const std::string kCli = VARISTRUM_CLI;

// Runs the command line, at most 20 seconds (124 when it had to be stopped), with its output
// captured into files of the folder.
int Cli(const TempDir& dir, const std::string& arguments) {
    return RunCommand("timeout 20 " + kCli + " " + arguments + " >" + dir.File("stdout") + " 2>" +
                      dir.File("stderr"));
}

std::string Err(const TempDir& dir) {
    return ReadFile(dir.File("stderr"));
}

TEST(CliSafetyTest, AnOutputThatIsAnInputIsRefused) {
    TempDir dir;
    const std::string log = test::Simulate(dir, "single-gps", 3, 30);
    const std::string bytes = ReadFile(log);
    fs::copy_file(log, dir.File("x.out"));
    fs::create_symlink(log, dir.File("soft.out"));
    fs::create_hard_link(log, dir.File("hard.out"));
    const struct {
        std::string arguments, named;
    } cases[] = {
        {log + " -o " + log, log},
        {dir.File("x.out"), dir.File("x.out")},  // the default output name is the input's
        {log + " -o " + dir.File("soft.out"), dir.File("soft.out")},
        {log + " -o " + dir.File("hard.out"), dir.File("hard.out")},
        {log + " -o " + dir.Path().string() + "/./" + fs::path(log).filename().string(),
         dir.Path().string() + "/./" + fs::path(log).filename().string()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Cli(dir, "convert -q --tags 5 " + c.arguments), 1) << c.arguments;
        EXPECT_EQ(Err(dir), "Error: The output file is the input file. '" + c.named + "'\n");
        EXPECT_EQ(ReadFile(log), bytes);
    }
    EXPECT_EQ(ReadFile(dir.File("x.out")), bytes);
    // A folder job whose outputs would land on its own inputs.
    fs::create_directory(dir.File("in"));
    fs::copy_file(log, dir.File("in/a.klf"));
    EXPECT_EQ(Cli(dir, "convert -q --tags 5 --input-folder " + dir.File("in") +
                           " --output-folder " + dir.File("in") + " --output-ext .klf"),
              1);
    EXPECT_EQ(Err(dir),
              "Error: The output file is the input file. '" + dir.File("in/a.klf") + "'\n");
    EXPECT_EQ(ReadFile(dir.File("in/a.klf")), bytes);
}

TEST(CliSafetyTest, NamedPipesNeverBlock) {
    TempDir dir;
    const std::string log = test::Simulate(dir, "single-gps", 3, 30);
    ASSERT_EQ(::mkfifo(dir.File("in.klf").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir.File("fifo.out").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir.File("fifo.cfg").c_str(), 0600), 0);
    const std::string notRegular = "Error: '" + dir.File("in.klf") + "' is not a regular file.\n";
    for (const std::string command : {"identify ", "index ", "convert --tags 5 "}) {
        EXPECT_EQ(Cli(dir, command + dir.File("in.klf")), 1) << command;
        EXPECT_EQ(Err(dir), notRegular) << command;
    }
    EXPECT_EQ(Cli(dir, "convert -q --tags 5 --config " + dir.File("fifo.cfg") + " " + log), 1);
    EXPECT_EQ(Err(dir), "Error: '" + dir.File("fifo.cfg") + "' is not a regular file.\n");
    EXPECT_EQ(Cli(dir, "convert -q --tags 5 " + log + " -o " + dir.File("fifo.out")), 1);
    EXPECT_EQ(Err(dir), "Error: Output File Cannot Be Accessed! '" + dir.File("fifo.out") +
                            "': no process reads the named pipe\n");
    // A pipe that is read is written like any other output. The reader gets a second to open
    // its end; should the command still come first, the reader is released and the test fails.
    EXPECT_EQ(
        RunCommand("timeout 20 sh -c 'cat " + dir.File("fifo.out") + " > " + dir.File("read.out") +
                   " & sleep 1; " + kCli + " convert -q --tags 5 " + log + " -o " +
                   dir.File("fifo.out") + " 2>/dev/null; s=$?; [ $s = 0 ] || : > " +
                   dir.File("fifo.out") + "; wait; exit $s'"),
        0);
    EXPECT_EQ(Cli(dir, "convert -q --tags 5 " + log + " -o " + dir.File("file.out")), 0);
    EXPECT_EQ(ReadFile(dir.File("read.out")), ReadFile(dir.File("file.out")));
}

TEST(CliSafetyTest, FailuresNameTheFileAndTheReason) {
    TempDir dir;
    const std::string log = test::Simulate(dir, "single-gps", 3, 30);
    EXPECT_EQ(Cli(dir, "convert -q --tags 5 --config " + dir.File("typo.cfg") + " " + log), 1);
    EXPECT_EQ(Err(dir),
              "Error: Cannot open '" + dir.File("typo.cfg") + "': No such file or directory\n");
    EXPECT_FALSE(fs::exists(log.substr(0, log.size() - 4) + ".out"));
    EXPECT_EQ(Cli(dir, "convert -q --tags 5 " + log + " -o /dev/full"), 1);
    EXPECT_EQ(Err(dir),
              "Error: Output File Cannot Be Accessed! '/dev/full': No space left on device\n");
    EXPECT_EQ(Cli(dir, "convert -q --tags 5 " + log + " -o " + dir.File("no/such.out")), 1);
    EXPECT_EQ(Err(dir), "Error: Output File Cannot Be Accessed! '" + dir.File("no/such.out") +
                            "': No such file or directory\n");
    // Standard output is checked too.
    for (const std::string& command :
         {"identify " + log, "index --json " + log, "index " + log, std::string("fields")}) {
        EXPECT_EQ(RunCommand(kCli + " " + command + " >/dev/full 2>" + dir.File("stderr")), 1)
            << command;
        EXPECT_EQ(Err(dir), "Error: Cannot write to standard output: No space left on device\n")
            << command;
    }
}

TEST(CliSafetyTest, BytesBehindTheDataAreReportedAsSkipped) {
    TempDir dir;
    std::vector<std::uint8_t> log = test::RtcLog(10);
    WriteFile(dir.File("clean.klf"), log);
    log.insert(log.end(), {0x01, 0x02, 0x03});  // behind DataEnd
    WriteFile(dir.File("tail.klf"), log);
    EXPECT_EQ(Cli(dir, "index " + dir.File("clean.klf")), 0);
    EXPECT_EQ(Err(dir), "");
    EXPECT_EQ(Cli(dir, "index " + dir.File("tail.klf")), 0);
    EXPECT_EQ(Err(dir), "Warning: 0 damaged record(s), 3 byte(s) skipped\n");
}

TEST(CliSafetyTest, FolderJobsCountWhatTheySkipped) {
    TempDir dir;
    fs::create_directory(dir.File("in"));
    fs::create_directory(dir.File("out"));
    for (const char* name : {"a", "c", "e"})
        fs::copy_file(test::Simulate(dir, "single-gps", 3, 30),
                      dir.File(std::string("in/") + name + ".klf"));
    WriteFile(dir.File("in/b.klf"), std::string("text, not a log"));
    WriteFile(dir.File("in/d.klf"), std::string());
    const std::string folders =
        " --input-folder " + dir.File("in") + " --output-folder " + dir.File("out");
    for (const char* jobs : {"", " -j 2"}) {
        EXPECT_EQ(Cli(dir, "convert -q --tags 5" + folders + jobs), 1) << jobs;
        EXPECT_EQ(Err(dir),
                  "Skipped b.klf: File is not from a QTX CW product.\n"
                  "Skipped d.klf: File is not from a QTX CW product.\n"
                  "3 converted, 2 skipped\n")
            << jobs;
        EXPECT_FALSE(fs::exists(dir.File("out/b.out")));
        EXPECT_FALSE(fs::exists(dir.File("out/d.out")));
        EXPECT_FALSE(ReadFile(dir.File("out/e.out")).empty());
    }
    fs::remove(dir.File("in/b.klf"));
    fs::remove(dir.File("in/d.klf"));
    EXPECT_EQ(Cli(dir, "convert -q --tags 5" + folders), 0);
    EXPECT_EQ(Err(dir), "3 converted, 0 skipped\n");
    // Two inputs with one output name.
    fs::copy_file(dir.File("in/a.klf"), dir.File("in/a.KLF"));
    EXPECT_EQ(Cli(dir, "convert -q --tags 5" + folders), 1);
    EXPECT_EQ(Err(dir), "Error: '" + dir.File("in/a.KLF") + "' and '" + dir.File("in/a.klf") +
                            "' give the same output file. '" + dir.File("out/a.out") + "'\n");
    EXPECT_EQ(Cli(dir, "convert -q --tags 5 --pattern '*.qel'" + folders), 1);
    EXPECT_EQ(Err(dir), "Error: No files match '*.qel' in " + dir.File("in") + ".\n");
    EXPECT_EQ(Cli(dir, "convert -q --tags 5 --input-folder " + dir.File("gone") +
                           " --output-folder " + dir.File("out")),
              1);
    EXPECT_EQ(Err(dir),
              "Error: Cannot open '" + dir.File("gone") + "': No such file or directory\n");
}

// A child process of the command line, started directly so that it can be signalled.
class CliProcess {
  public:
    CliProcess(const TempDir& dir, const std::vector<std::string>& arguments) {
        std::vector<std::string> words = {kCli};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, dir.File("stdout").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, dir.File("stderr").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, kCli.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CliProcess() {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    // Waits (at most 20 s) until `ready` holds; false when the process ended first.
    bool WaitFor(const std::function<bool()>& ready) {
        for (int i = 0; i < 20000; ++i) {
            if (ready()) return true;
            if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
                waited_ = true;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    // Whether the process has its handler for SIGINT in place.
    bool CatchesInterrupt() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigCgt:", 0) == 0)
                return (std::stoull(line.substr(7), nullptr, 16) >> (SIGINT - 1)) & 1;
        }
        return false;
    }
    void Signal(int signal) const { ::kill(pid_, signal); }
    // The exit status, 128 + the signal when one ended the process.
    int Wait() {
        if (!waited_) ::waitpid(pid_, &status_, 0);
        waited_ = true;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
    }

  private:
    pid_t pid_ = -1;
    int status_ = 0;
    bool waited_ = false;
};

bool HasTemporaryFile(const std::string& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind(".big.out~", 0) == 0) return true;
    }
    return false;
}

TEST(CliSafetyTest, StoppingSignalsCancelWithTheShellsStatus) {
    if (!fs::exists("/proc/self/status")) GTEST_SKIP() << "no /proc";
    TempDir dir;
    WriteFile(dir.File("big.klf"), test::RtcLog(6000000));
    // Without -q: the cancel is an information line.
    const std::vector<std::string> convert = {"convert",           "--tags", "0,37",
                                              dir.File("big.klf"), "-o",     dir.File("big.out")};
    // In the index pass that precedes the conversion: nothing is written.
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGHUP, 129}}) {
        CliProcess cli(dir, convert);
        ASSERT_TRUE(cli.WaitFor([&] { return cli.CatchesInterrupt(); }));
        cli.Signal(signal);
        EXPECT_EQ(cli.Wait(), status) << signal;
        EXPECT_EQ(Err(dir), "Information: Conversion Cancelled.\n") << signal;
        EXPECT_FALSE(fs::exists(dir.File("big.out"))) << signal;
    }
    ASSERT_EQ(
        Cli(dir, "convert -q --tags 0,37 " + dir.File("big.klf") + " -o " + dir.File("full.out")),
        0);
    const std::string full = ReadFile(dir.File("full.out"));
    // In the conversion: the lines written so far are put in place.
    CliProcess cli(dir, convert);
    ASSERT_TRUE(cli.WaitFor([&] { return HasTemporaryFile(dir.Path().string()); }));
    cli.Signal(SIGTERM);
    EXPECT_EQ(cli.Wait(), 143);
    EXPECT_EQ(Err(dir), "Information: Conversion Cancelled.\n");
    const std::string partial = ReadFile(dir.File("big.out"));
    EXPECT_LT(partial.size(), full.size());
    EXPECT_EQ(full.compare(0, partial.size(), partial), 0);
    if (!partial.empty()) {
        EXPECT_EQ(partial.substr(partial.size() - 2), "\r\n");
    }
    EXPECT_FALSE(HasTemporaryFile(dir.Path().string()));
}

TEST(CliSafetyTest, ACancelledFolderJobNamesWhatFinishedAndWhatIsPartial) {
    if (!fs::exists("/proc/self/status")) GTEST_SKIP() << "no /proc";
    TempDir dir;
    fs::create_directory(dir.File("in"));
    fs::create_directory(dir.File("out"));
    const std::vector<std::uint8_t> log = test::RtcLog(6000000);
    for (const char* name : {"a", "big", "c"})
        WriteFile(dir.File(std::string("in/") + name + ".klf"),
                  name[0] == 'b' ? log : test::RtcLog(10));
    CliProcess cli(dir, {"convert", "--tags", "0", "--input-folder", dir.File("in"),
                         "--output-folder", dir.File("out")});
    ASSERT_TRUE(cli.WaitFor([&] { return HasTemporaryFile(dir.File("out")); }));
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(), 130);
    EXPECT_EQ(Err(dir),
              "Information: Conversion Cancelled.\n"
              "Converted a.klf\n"
              "Partial big.klf\n"
              "1 converted, 0 skipped, 1 partial, 1 not started\n");
    EXPECT_FALSE(fs::exists(dir.File("out/c.out")));
}

}  // namespace
}  // namespace varistrum
