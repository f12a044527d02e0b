// SPDX-License-Identifier: GPL-3.0-or-later
// The whole-file benchmark of `make bench`: conversion, index pass and folder jobs of a large
// simulated log, each timed beside the floors of the same machine (cat of the input, cp of
// the output), as medians of alternating runs.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

#include "run_statistics.h"

namespace {

using varistrum::bench::Median;
using varistrum::bench::Range;
using varistrum::bench::Verdict;

namespace fs = std::filesystem;

struct Options {
    std::string cli, sim;
    fs::path work;
    int sizeMb = 512;
    int jobsMb = 256;  // all eight files of the folder job together
    int runs = 5;
};

struct Timing {
    double seconds = 0;
    double cpuSeconds = 0;  // user and system time of all the child's threads
    long peakKb = 0;        // the child's peak resident memory
};

// Where the children's messages go; shown when one fails.
std::string childLog = "/dev/null";

// Whether timed programs run in their own scheduling group at the highest priority (see
// RaiseWeight).
bool ownGroup = false;
// The program being timed, ended with the driver when it is interrupted.
volatile std::sig_atomic_t runningChild = 0;

extern "C" void OnStop(int signal) {
    if (runningChild > 0) kill(static_cast<pid_t>(runningChild), SIGKILL);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// The kernel shares the processors equally among sessions ("autogroups"), whatever the
// priority of their threads: with builds and fuzzers running in other sessions, a timed
// program got the same share with one thread as with two. Each timed program therefore gets
// a session of its own, weighted like nice -20 against the others.
void RaiseWeight(pid_t child) {
    if (!ownGroup) return;
    setpriority(PRIO_PROCESS, static_cast<id_t>(child), -20);
    if (std::FILE* f = std::fopen(("/proc/" + std::to_string(child) + "/autogroup").c_str(), "w")) {
        std::fputs("-20", f);
        std::fclose(f);
    }
}

std::string ReadText(const std::string& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "r")) {
        char chunk[4096];
        for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
            text.append(chunk, got);
        std::fclose(f);
    }
    return text;
}

// Runs a program (stdout to /dev/null unless `out` is given) and waits for it; throws when it
// fails. The figures come from the child itself, not from the driver.
Timing Run(const std::vector<std::string>& args, const std::string& out = "/dev/null") {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, childLog.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownGroup) posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned == 0) {
        runningChild = pid;
        RaiseWeight(pid);
    }
    if (spawned != 0) throw std::runtime_error("cannot start " + args[0]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) throw std::runtime_error("lost " + args[0]);
    runningChild = 0;
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string command;
        for (const std::string& a : args) command += a + " ";
        throw std::runtime_error("failed: " + command + "\n" + ReadText(childLog));
    }
    const auto cpu = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return {std::chrono::duration<double>(end - start).count(),
            cpu(usage.ru_utime) + cpu(usage.ru_stime), usage.ru_maxrss};
}

// Every timed step starts with no dirty pages of an earlier one waiting to be written.
Timing Timed(const std::vector<std::string>& args, const std::string& out = "/dev/null") {
    sync();
    return Run(args, out);
}

double MiB(std::uintmax_t bytes) {
    return static_cast<double>(bytes) / (1 << 20);
}

// A simulated benchmark log, made once and kept for later runs.
fs::path CachedLog(const Options& o, const fs::path& path, int seed, double sizeMb) {
    if (fs::exists(path)) return path;
    fs::create_directories(path.parent_path());
    const fs::path partial = path.string() + ".part";
    std::printf("generating %s (%.0f MiB)...\n", path.c_str(), sizeMb);
    std::fflush(stdout);
    Run({o.sim, "--seed", std::to_string(seed), "--out", partial.string(), "--scenario", "bench",
         "--size-mb", std::to_string(sizeMb)});
    fs::rename(partial, path);
    return path;
}

std::vector<std::string> ConvertArgs(const Options& o, const fs::path& input,
                                     const fs::path& output) {
    return {o.cli,           "convert", input.string(), "-o",
            output.string(), "--tags",  "5,11,18,32,0", "--quiet"};
}

// Processor seconds busy and in all since boot, from /proc/stat: the share of other work during
// the benchmark shows whether its wall-time ratios can be trusted.
struct CpuClock {
    double busy = 0, total = 0;
};

CpuClock ReadCpuClock() {
    CpuClock clock;
    std::FILE* f = std::fopen("/proc/stat", "r");
    if (f == nullptr) return clock;
    unsigned long long v[8] = {};
    if (std::fscanf(f, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &v[0], &v[1], &v[2], &v[3],
                    &v[4], &v[5], &v[6], &v[7]) == 8) {
        const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
        for (unsigned long long ticks : v) clock.total += static_cast<double>(ticks) / tick;
        clock.busy = clock.total - static_cast<double>(v[3] + v[4]) / tick;  // less idle, iowait
    }
    std::fclose(f);
    return clock;
}

// The medians of every timed step.
struct Samples {
    std::vector<double> convert, cat, cp, index, lambda, jobs1, jobs2;
    std::vector<double> convertCpu, jobs1Cpu, jobs2Cpu;
    double childCpu = 0;  // of every timed child
    long peakKb = 0;
    std::uintmax_t outputBytes = 0;
};

void RunOnce(const Options& o, const fs::path& input, const fs::path& jobsIn, Samples& s) {
    const fs::path output = o.work / "bench.out", copy = o.work / "bench-copy.out";
    const fs::path lambdaOut = o.work / "lambda.out", jobsOut = o.work / "jobs-out";
    const auto timed = [&s](std::vector<double>& into, const std::vector<std::string>& args) {
        const Timing t = Timed(args);
        into.push_back(t.seconds);
        s.childCpu += t.cpuSeconds;
        return t;
    };

    fs::remove(output);  // a conversion creates its file, as cp does
    const Timing conversion = timed(s.convert, ConvertArgs(o, input, output));
    s.convertCpu.push_back(conversion.cpuSeconds);
    s.peakKb = std::max(s.peakKb, conversion.peakKb);
    s.outputBytes = fs::file_size(output);
    timed(s.cat, {"/bin/cat", input.string()});
    timed(s.cp, {"/bin/cp", output.string(), copy.string()});
    fs::remove(copy);
    fs::remove(output);
    timed(s.index, {o.cli, "index", input.string()});
    std::vector<std::string> averaged = ConvertArgs(o, input, lambdaOut);
    averaged.insert(averaged.end(), {"--average", "40-lambda"});
    timed(s.lambda, averaged);
    fs::remove(lambdaOut);

    // -j 1 and -j 2 take turns at going first.
    const bool twoFirst = s.jobs1.size() % 2 == 1;
    for (int jobs : twoFirst ? std::vector<int>{2, 1} : std::vector<int>{1, 2}) {
        fs::remove_all(jobsOut);
        fs::create_directories(jobsOut);
        const Timing t = timed(
            jobs == 1 ? s.jobs1 : s.jobs2,
            {o.cli, "convert", "--input-folder", jobsIn.string(), "--output-folder",
             jobsOut.string(), "--tags", "5,11,18,32,0", "-j", std::to_string(jobs), "--quiet"});
        (jobs == 1 ? s.jobs1Cpu : s.jobs2Cpu).push_back(t.cpuSeconds);
    }
    fs::remove_all(jobsOut);
}

int Main(const Options& o) {
    fs::create_directories(o.work);
    childLog = (o.work / "child-messages.log").string();
    const fs::path input =
        CachedLog(o, o.work / ("bench-" + std::to_string(o.sizeMb) + "mb.klf"), 1, o.sizeMb);
    const fs::path jobsIn = o.work / ("jobs-" + std::to_string(o.jobsMb) + "mb");
    for (int k = 1; k <= 8; ++k)
        CachedLog(o, jobsIn / ("file-" + std::to_string(k) + ".klf"), k, o.jobsMb / 8.0);

    // The inputs come from the page cache in every run, the first one included.
    Run({"/bin/cat", input.string()});
    for (const auto& entry : fs::directory_iterator(jobsIn))
        Run({"/bin/cat", entry.path().string()});

    // Raising priority needs root; without it the programs run as they are.
    ownGroup = geteuid() == 0;
    std::signal(SIGINT, OnStop);
    std::signal(SIGTERM, OnStop);

    Samples s;
    const CpuClock before = ReadCpuClock();
    for (int r = 0; r < o.runs; ++r) {
        std::printf("run %d of %d\n", r + 1, o.runs);
        std::fflush(stdout);
        RunOnce(o, input, jobsIn, s);
    }
    const CpuClock after = ReadCpuClock();
    const double cpus = static_cast<double>(sysconf(_SC_NPROCESSORS_ONLN));
    const double spanSeconds = (after.total - before.total) / cpus;
    // Busy processor time that the benchmark's own children do not account for.
    const double otherShare = std::max(0.0, after.busy - before.busy - s.childCpu) /
                              std::max(1e-9, after.total - before.total);

    const double inMiB = MiB(fs::file_size(input)), outMiB = MiB(s.outputBytes);
    const double tConvert = Median(s.convert), tCat = Median(s.cat), tCp = Median(s.cp);
    const double tIndex = Median(s.index), tLambda = Median(s.lambda);
    const double tJobs1 = Median(s.jobs1), tJobs2 = Median(s.jobs2);
    const double convertRatio = tConvert / tCp, indexRatio = tIndex / tCat,
                 speedUp = tJobs1 / tJobs2;
    const double peakMiB = static_cast<double>(s.peakKb) / 1024.0;
    std::printf("\nbenchmark log %.0f MiB -> %.0f MiB of text; medians of %d alternating runs%s\n",
                inMiB, outMiB, o.runs,
                ownGroup ? ",\n  each timed program in its own scheduling group at nice -20" : "");
    std::printf("  conversion            %8.3f s  %7.1f MiB/s in  %7.1f MiB/s out  %s\n", tConvert,
                inMiB / tConvert, outMiB / tConvert, Range(s.convert).c_str());
    std::printf("  peak resident memory  %8.1f MiB\n", peakMiB);
    std::printf("  floor: cat of input   %8.3f s  %7.1f MiB/s  %s\n", tCat, inMiB / tCat,
                Range(s.cat).c_str());
    std::printf("  floor: cp of output   %8.3f s  %7.1f MiB/s  %s\n", tCp, outMiB / tCp,
                Range(s.cp).c_str());
    std::printf("  index pass            %8.3f s  %7.1f MiB/s in  %s\n", tIndex, inMiB / tIndex,
                Range(s.index).c_str());
    std::printf("  40-lambda conversion  %8.3f s  %7.1f MiB/s in  %s\n", tLambda, inMiB / tLambda,
                Range(s.lambda).c_str());
    std::printf("  8 files of %.0f MiB:   -j 1 %.3f s %s, -j 2 %.3f s %s\n", o.jobsMb / 8.0, tJobs1,
                Range(s.jobs1).c_str(), tJobs2, Range(s.jobs2).c_str());
    std::printf("  processor time        conversion %.3f s, -j 1 %.3f s, -j 2 %.3f s\n",
                Median(s.convertCpu), Median(s.jobs1Cpu), Median(s.jobs2Cpu));
    std::printf("  other work            %.0f%% of %.0f processors over %.0f s%s\n",
                otherShare * 100, cpus, spanSeconds,
                otherShare > 0.25 ? ": the machine was busy, wall-time ratios are unreliable" : "");
    std::printf("targets\n");
    std::printf("  conversion / cp       %6.2f  (<= 3)    %s\n", convertRatio,
                Verdict(convertRatio <= 3));
    std::printf("  index pass / cat      %6.2f  (<= 8)    %s\n", indexRatio,
                Verdict(indexRatio <= 8));
    std::printf("  -j 1 / -j 2           %6.2f  (>= 1.7)  %s\n", speedUp, Verdict(speedUp >= 1.7));
    std::printf("  peak RSS              %6.1f MiB (< 64 MiB)  %s\n", peakMiB,
                Verdict(peakMiB < 64));
    std::printf("  40-lambda / cp        %6.2f  (no target)\n", tLambda / tCp);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--cli")
            o.cli = value;
        else if (key == "--sim")
            o.sim = value;
        else if (key == "--work")
            o.work = value;
        else if (key == "--mb")
            o.sizeMb = std::atoi(value.c_str());
        else if (key == "--jobs-mb")
            o.jobsMb = std::atoi(value.c_str());
        else if (key == "--runs")
            o.runs = std::atoi(value.c_str());
    }
    if (o.cli.empty() || o.sim.empty() || o.work.empty() || o.sizeMb < 1 || o.jobsMb < 8 ||
        o.runs < 1) {
        std::fprintf(
            stderr,
            "usage: %s --cli PATH --sim PATH --work DIR [--mb N] [--jobs-mb N] [--runs N]\n",
            argv[0]);
        return 2;
    }
    try {
        return Main(o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        return 1;
    }
}
