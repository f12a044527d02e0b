// SPDX-License-Identifier: GPL-3.0-or-later
// A map layer export stopped by SIGTERM at 10, 50 and 90 % of its pass, and while GDAL finishes
// the file: the command ends within a second with the shell's status and leaves no file,
// temporary or final.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"

extern char** environ;

namespace varistrum {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The command line with its standard error on a terminal, so that it draws its progress bar
// ("\r[####....]  42%"), which tells how far the pass has come.
class ProgressProcess {
  public:
    explicit ProgressProcess(const std::vector<std::string>& arguments) {
        int slave = -1;
        if (::openpty(&master_, &slave, nullptr, nullptr, nullptr) != 0) return;
        std::vector<std::string> words = {VARISTRUM_CLI};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, slave, 2);
        posix_spawn_file_actions_addclose(&actions, master_);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(slave);
    }
    ~ProgressProcess() {
        if (pid_ > 0 && !ended_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) ::close(master_);
    }

    // Waits until the `pass`-th pass over the log (0: the index pass) shows `percent` or more;
    // false when the process ended first or 60 s went by.
    bool WaitForPercent(int pass, int percent) {
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        while (Clock::now() < deadline) {
            pollfd ready{master_, POLLIN, 0};
            if (::poll(&ready, 1, 100) <= 0) continue;
            char chunk[4096];
            const ssize_t got = ::read(master_, chunk, sizeof chunk);
            if (got <= 0) return false;  // the terminal closed: the process ended
            for (ssize_t i = 0; i < got; ++i) {
                if (chunk[i] >= '0' && chunk[i] <= '9') {
                    digits_ = digits_ * 10 + (chunk[i] - '0');
                } else {
                    if (chunk[i] == '%') Seen(digits_);
                    digits_ = 0;
                }
            }
            if (pass_ == pass && shown_ >= percent) return true;
            if (pass_ > pass) return false;
        }
        return false;
    }
    void Signal(int signal) const { ::kill(pid_, signal); }
    // The exit status (128 + the signal that ended it); -1 when it did not end within 20 s.
    int Wait() {
        int status = 0;
        for (int i = 0; i < 2000; ++i) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

  private:
    void Seen(int percent) {
        if (percent < shown_) ++pass_;  // a new pass starts from 0
        shown_ = percent;
    }

    int master_ = -1;
    pid_t pid_ = -1;
    bool ended_ = false;
    int digits_ = 0;
    int shown_ = -1;
    int pass_ = 0;
};

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The log of each format: long enough that its export pass takes about a second.
void CancelAtEachStage(const std::string& format, const std::string& scenario, int seconds) {
    test::TempDir dir;
    const std::string log = test::Simulate(dir, scenario, 4, seconds);
    const std::string logName = fs::path(log).filename().string();
    // At 100 % the pass has ended: GDAL finishes the file (builds its spatial index), which
    // cannot be interrupted; the stop abandons it all the same, unless it came after the file
    // was put in place.
    for (const int percent : {10, 50, 90, 100}) {
        SCOPED_TRACE(format + " at " + std::to_string(percent) + " %");
        ProgressProcess cli(
            {"convert", log, "--format", format, "-o", dir.File("drive." + format)});
        ASSERT_TRUE(cli.WaitForPercent(1, percent));
        const auto signalled = Clock::now();
        cli.Signal(SIGTERM);
        const int status = cli.Wait();
        const double seconds = std::chrono::duration<double>(Clock::now() - signalled).count();
        EXPECT_LT(seconds, 1.0);
        std::vector<std::string> left = {logName};
        // From 90 % on, on a busy machine the pass may end before the signal lands: the whole
        // file is then in place and the job says it completed.
        if (percent >= 90 && status == 0) {
            left.push_back("drive." + format);
            if (format == "geojson") left.push_back("drive.route.geojson");
            std::sort(left.begin(), left.end());
        } else {
            EXPECT_EQ(status, 143);
        }
        EXPECT_EQ(Names(dir.Path().string()), left);
        for (const std::string& name : Names(dir.Path().string())) {
            if (name != logName) fs::remove(dir.File(name));
        }
    }
}

TEST(MapExportCancelTest, GeoPackage) {
    CancelAtEachStage("gpkg", "list", 600);
}

TEST(MapExportCancelTest, GeoJson) {
    CancelAtEachStage("geojson", "list", 300);
}

TEST(MapExportCancelTest, FlatGeobuf) {
    CancelAtEachStage("fgb", "list", 1200);
}

TEST(MapExportCancelTest, Kml) {
    // The KML is written as a stream, far faster than GDAL writes a layer: a longer drive.
    CancelAtEachStage("kml", "single-gps", 20000);
}

}  // namespace
}  // namespace varistrum
