// SPDX-License-Identifier: GPL-3.0-or-later
// The window's passes beside the command line's on the same log, for `make bench`: the index
// pass and the conversion, run through the window's own controls on the offscreen platform, as
// medians of alternating runs. The window reports its own pass times (from Browse to the
// statistics shown, and from CONVERT to the completion message); the command line is timed as
// a whole process. Its conversion indexes the log first, so the window's conversion is counted
// with its index pass.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "run_statistics.h"

extern char** environ;

namespace {

using varistrum::bench::Median;
using varistrum::bench::Range;
using varistrum::bench::Verdict;

namespace fs = std::filesystem;

struct Options {
    std::string cli, window;
    fs::path log, work;
    int runs = 5;
};

// Where the programs' messages go.
fs::path childLog = "/dev/null";

// As in the driver: with root rights each timed program gets a scheduling group of its own at
// nice -20, so that other sessions' work does not take its share.
void RaiseWeight(pid_t child) {
    if (geteuid() != 0) return;
    setpriority(PRIO_PROCESS, static_cast<id_t>(child), -20);
    std::ofstream(("/proc/" + std::to_string(child) + "/autogroup").c_str()) << "-20";
}

struct Timing {
    double seconds = 0;
    double processorSeconds = 0;  // user and system time of all the program's threads
};

// Runs a program with its standard output into `out`.
Timing Run(const std::vector<std::string>& args, const fs::path& out) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, childLog.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (geteuid() == 0) posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    sync();  // no dirty pages of an earlier step are written meanwhile
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + args[0]);
    RaiseWeight(pid);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) throw std::runtime_error("lost " + args[0]);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string command;
        for (const std::string& a : args) command += a + " ";
        std::ifstream messages(childLog);
        throw std::runtime_error("failed: " + command + "\n" +
                                 std::string(std::istreambuf_iterator<char>(messages), {}));
    }
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return {std::chrono::duration<double>(end - start).count(),
            seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

// The times of the line "<name> <seconds> s, processor <seconds> s" that the window printed.
Timing WindowTime(const fs::path& printed, const std::string& name) {
    std::ifstream in(printed);
    const std::string processor = " s, processor ";
    for (std::string line; std::getline(in, line);) {
        const std::size_t split = line.find(processor);
        if (line.rfind(name + " ", 0) == 0 && split != std::string::npos)
            return {std::stod(line.substr(name.size() + 1)),
                    std::stod(line.substr(split + processor.size()))};
    }
    throw std::runtime_error("the window printed no " + name + " time");
}

bool SameBytes(const fs::path& a, const fs::path& b) {
    if (fs::file_size(a) != fs::file_size(b)) return false;
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::vector<char> p(1 << 20), q(1 << 20);
    while (x && y) {
        x.read(p.data(), static_cast<std::streamsize>(p.size()));
        y.read(q.data(), static_cast<std::streamsize>(q.size()));
        if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin()))
            return false;
    }
    return true;
}

// The fields of the driver's conversion (tags 5, 11, 18, 32 and 0), as a configuration file.
void WriteConfiguration(const fs::path& path) {
    std::ofstream out(path, std::ios::binary);
    out << "[OutputFieldSelection]\r\nDelimiter=0\r\nFieldTitles=1\r\n"
           "[SelectedFields]\r\nCount=5\r\n"
           "Field0=Latitude (Decimal Degrees)\r\nField1=Longitude (Decimal Degrees)\r\n"
           "Field2=GPS Time (HH:MM:SS)\r\nField3=Record Number\r\nField4=<< DATA >>\r\n"
           "[SelectedTags]\r\nTag0=5\r\nTag1=11\r\nTag2=18\r\nTag3=32\r\nTag4=0\r\n";
}

// Wall and processor times of one step over the runs.
struct Series {
    std::vector<double> seconds, processor;
    void Add(const Timing& t) {
        seconds.push_back(t.seconds);
        processor.push_back(t.processorSeconds);
    }
};

struct Samples {
    Series cliIndex, windowIndex, cliConvert, windowConvert, windowBoth;
};

void RunOnce(const Options& o, const fs::path& configuration, Samples& s, bool check) {
    const fs::path printed = o.work / "window-times.txt";
    const fs::path cliOut = o.work / "cli.out", windowOut = o.work / "window.out";
    const std::string log = o.log.string();
    // The two front ends take turns at going first.
    const bool windowFirst = s.cliIndex.seconds.size() % 2 == 1;
    for (int step = 0; step < 2; ++step) {
        if ((step == 0) == windowFirst) {
            Run({o.window, "--timing", log}, printed);
            s.windowIndex.Add(WindowTime(printed, "index pass"));
        } else {
            s.cliIndex.Add(Run({o.cli, "index", log}, "/dev/null"));
        }
    }
    for (int step = 0; step < 2; ++step) {
        if ((step == 0) == windowFirst) {
            fs::remove(windowOut);
            Run({o.window, "--timing", "--config", configuration.string(), "--convert",
                 windowOut.string(), log},
                printed);
            const Timing index = WindowTime(printed, "index pass");
            const Timing conversion = WindowTime(printed, "conversion");
            s.windowConvert.Add(conversion);
            s.windowBoth.Add({index.seconds + conversion.seconds,
                              index.processorSeconds + conversion.processorSeconds});
        } else {
            fs::remove(cliOut);
            s.cliConvert.Add(Run(
                {o.cli, "convert", log, "-o", cliOut.string(), "--tags", "5,11,18,32,0", "--quiet"},
                "/dev/null"));
        }
    }
    if (check && !SameBytes(cliOut, windowOut))
        throw std::runtime_error("the window's output differs from the command line's");
    fs::remove(cliOut);
    fs::remove(windowOut);
}

int Main(const Options& o) {
    fs::create_directories(o.work);
    childLog = o.work / "window-bench-messages.log";
    const fs::path configuration = o.work / "window-bench.cfg";
    WriteConfiguration(configuration);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    Run({"/bin/cat", o.log.string()}, "/dev/null");  // the log comes from the page cache

    Samples s;
    for (int r = 0; r < o.runs; ++r) {
        std::printf("window run %d of %d\n", r + 1, o.runs);
        std::fflush(stdout);
        RunOnce(o, configuration, s, r == 0);
    }
    const auto line = [](const char* name, const Series& t, const char* note) {
        std::printf("  %-26s %8.3f s %s, processor %.3f s%s\n", name, Median(t.seconds),
                    Range(t.seconds).c_str(), Median(t.processor), note);
    };
    std::printf(
        "\nthe window beside the command line, %.0f MiB log, offscreen; medians of %d runs\n",
        static_cast<double>(fs::file_size(o.log)) / (1 << 20), o.runs);
    line("index pass, command line", s.cliIndex, "");
    line("index pass, window", s.windowIndex, "");
    line("conversion, command line", s.cliConvert, " (with its index pass)");
    line("conversion, window", s.windowBoth, " (index pass and CONVERT)");
    line("  CONVERT alone", s.windowConvert, "");
    // Medians as in the driver; the fastest runs, which other work disturbed least, beside them.
    std::printf("targets: window / command line, wall time\n");
    const auto target = [](const char* name, const Series& window, const Series& cli,
                           double limit) {
        const double ratio = Median(window.seconds) / Median(cli.seconds);
        const double fastest = *std::min_element(window.seconds.begin(), window.seconds.end()) /
                               *std::min_element(cli.seconds.begin(), cli.seconds.end());
        std::printf("  %-11s %5.2f  (<= %.1f)  %s   fastest runs %.2f, processor time %.2f\n", name,
                    ratio, limit, Verdict(ratio <= limit), fastest,
                    Median(window.processor) / Median(cli.processor));
    };
    target("index pass", s.windowIndex, s.cliIndex, 1.5);
    target("conversion", s.windowBoth, s.cliConvert, 1.2);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--cli")
            o.cli = value;
        else if (key == "--window")
            o.window = value;
        else if (key == "--log")
            o.log = value;
        else if (key == "--work")
            o.work = value;
        else if (key == "--runs")
            o.runs = std::atoi(value.c_str());
    }
    if (o.cli.empty() || o.window.empty() || o.log.empty() || o.work.empty() || o.runs < 1) {
        std::fprintf(stderr, "usage: %s --cli PATH --window PATH --log LOG --work DIR [--runs N]\n",
                     argv[0]);
        return 2;
    }
    try {
        return Main(o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "window benchmark failed: %s\n", e.what());
        return 1;
    }
}
