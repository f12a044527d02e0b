// SPDX-License-Identifier: GPL-3.0-or-later
// The memory table of `make bench`: the peak resident memory of every command and output format
// on logs of every shape that once made memory grow (long gaps between two fixes, a long
// single-frequency drive, millions of scans, millions of map layer features), less the
// program's own start-up footprint (the peak of `varistrum-cli --version`: its shared
// libraries). Each figure comes from one run of the command as a whole process.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The bound every figure of the table is held to.
constexpr double kBoundMiB = 64.0;

struct Options {
    std::string cli, sim, shapes;
    fs::path work;
    int driveMb = 600;               // the long single-frequency drive
    long long features = 3'000'000;  // of the samples layer in the map layer log
    double smallMb = 2;              // the log every format (KML too) is measured on
};

struct Outcome {
    long peakKb = 0;
    int status = 0;  // the exit status; -1 when killed
};

// Runs a program to its end, its standard output into `out`, its messages into `messages`.
Outcome Run(const std::vector<std::string>& args, const std::string& out = "/dev/null",
            const std::string& messages = "/dev/null") {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, messages.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + args[0]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) throw std::runtime_error("lost " + args[0]);
    return {usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

std::string FirstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// A simulated log, made once and kept for later runs.
fs::path CachedLog(const Options& o, const std::string& name, const std::string& scenario, int seed,
                   double sizeMb) {
    const fs::path path = o.work / name;
    if (fs::exists(path)) return path;
    const fs::path partial = path.string() + ".part";
    std::printf("generating %s (%.0f MiB)...\n", path.c_str(), sizeMb);
    std::fflush(stdout);
    if (Run({o.sim, "--seed", std::to_string(seed), "--out", partial.string(), "--scenario",
             scenario, "--size-mb", std::to_string(sizeMb)})
            .status != 0)
        throw std::runtime_error("cannot simulate " + path.string());
    fs::rename(partial, path);
    return path;
}

// "Feature Count: N" of the samples layer of a GeoPackage, as ogrinfo reports it.
long long SampleFeatures(const fs::path& gpkg) {
    const fs::path report = gpkg.string() + ".info";
    Run({"ogrinfo", "-ro", "-so", gpkg.string(), "samples"}, report.string());
    std::ifstream in(report);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Feature Count: ", 0) == 0) return std::stoll(line.substr(15));
    }
    return 0;
}

struct Log {
    std::string label;
    fs::path path;
    bool small = false;  // KML's points form is measured on small logs only
};

struct Command {
    std::string label;
    std::vector<std::string> options;  // after the log
    std::string extension;             // of the output; empty: no output file
    bool everyLog = true;              // false: small logs only
    const char* command = "convert";
};

std::vector<Command> Commands() {
    return {
        {"index", {"-q"}, "", true, "index"},
        {"convert text", {"-q"}, ".out"},
        {"  --best-server", {"-q", "--best-server"}, ".out"},
        {"  40-lambda db", {"-q", "--average", "40-lambda"}, ".out"},
        {"  40-lambda linear",
         {"-q", "--average", "40-lambda", "--average-domain", "linear"},
         ".out"},
        {"  --drop-outages 30", {"-q", "--drop-outages", "30"}, ".out"},
        {"convert gpkg", {"-q", "--format", "gpkg"}, ".gpkg"},
        {"convert geojson", {"-q", "--format", "geojson"}, ".geojson"},
        {"convert fgb", {"-q", "--format", "fgb"}, ".fgb"},
        {"convert kml", {"-q", "--format", "kml"}, ".kml"},
        {"  --kml-points", {"-q", "--format", "kml", "--kml-points"}, ".kml", false},
        {"convert csv", {"-q", "--format", "csv"}, ".csv"},
        {"map", {"-q"}, ".png", true, "map"},
        {"report", {}, "", true, "report"},
        {"bins (7 statistics)",
         {"-q", "--statistics", "linear-mean,db-mean,median,count,std,min,max"},
         ".tif",
         true,
         "bins"},
    };
}

void RemoveOutputs(const fs::path& stem) {
    for (const char* extension : {".out", ".gpkg", ".geojson", ".route.geojson", ".fgb", ".kml",
                                  ".csv", ".png", ".tif", ".qml"}) {
        std::error_code ignored;
        fs::remove_all(stem.string() + extension, ignored);
    }
}

int Main(const Options& o) {
    fs::create_directories(o.work);
    const fs::path shapes = o.work / "shapes";
    if (Run({o.shapes, shapes.string()}).status != 0)
        throw std::runtime_error("cannot write the shape logs");
    // About 37,000 features of the samples layer a MiB of the mixed scenario.
    const double featureMb = std::max(1.0, static_cast<double>(o.features) / 37000.0);
    std::vector<Log> logs = {
        {"small", CachedLog(o, "small-mixed.klf", "mixed", 7, o.smallMb), true},
        {"gap short", shapes / "gap-one-sample-records.klf"},
        {"gap long", shapes / "gap-4094-sample-records.klf"},
        {"scans", shapes / "scan-definitions.klf"},
        {"drive " + std::to_string(o.driveMb) + "M",
         CachedLog(o, "drive-single-" + std::to_string(o.driveMb) + "mb.klf", "single-gps", 3,
                   o.driveMb)},
        {"features",
         CachedLog(o, "features-" + std::to_string(o.features) + ".klf", "mixed", 11, featureMb)},
    };

    const fs::path messages = o.work / "memory-messages.log";
    const fs::path stem = o.work / "memory-output";
    std::vector<long> startups;
    for (int k = 0; k < 3; ++k) startups.push_back(Run({o.cli, "--version"}).peakKb);
    std::sort(startups.begin(), startups.end());
    const double startupMiB = static_cast<double>(startups[1]) / 1024.0;

    const std::vector<Command> commands = Commands();
    // figures[command][log]: MiB above start-up; none where not measured.
    std::vector<std::vector<std::optional<double>>> figures(
        commands.size(), std::vector<std::optional<double>>(logs.size()));
    std::vector<std::string> failures;
    long long features = 0;
    for (std::size_t l = 0; l < logs.size(); ++l) {
        std::printf("measuring %s (%s)...\n", logs[l].label.c_str(), logs[l].path.c_str());
        std::fflush(stdout);
        for (std::size_t c = 0; c < commands.size(); ++c) {
            const Command& command = commands[c];
            if (!command.everyLog && !logs[l].small) continue;
            RemoveOutputs(stem);
            std::vector<std::string> args = {o.cli, command.command, logs[l].path.string()};
            args.insert(args.end(), command.options.begin(), command.options.end());
            if (!command.extension.empty()) {
                args.push_back("-o");
                args.push_back(stem.string() + command.extension);
            }
            const Outcome outcome = Run(args, "/dev/null", messages.string());
            if (outcome.status != 0) {
                failures.push_back(logs[l].label + ", " + command.label + ": exit " +
                                   std::to_string(outcome.status) + ": " + FirstLine(messages));
            }
            figures[c][l] = static_cast<double>(outcome.peakKb) / 1024.0 - startupMiB;
            if (logs[l].label == "features" && command.extension == ".gpkg")
                features = SampleFeatures(stem.string() + ".gpkg");
        }
    }
    RemoveOutputs(stem);

    std::printf(
        "\npeak resident memory above start-up (MiB; start-up, the peak of --version: %.1f MiB);\n"
        "'!' marks a figure at or above %.0f MiB\n",
        startupMiB, kBoundMiB);
    std::printf("%-20s", "");
    for (const Log& log : logs) std::printf(" %11s", log.label.c_str());
    std::printf("\n");
    bool within = true;
    for (std::size_t c = 0; c < commands.size(); ++c) {
        std::printf("%-20s", commands[c].label.c_str());
        for (std::size_t l = 0; l < logs.size(); ++l) {
            if (!figures[c][l]) {
                std::printf(" %11s", "-");
                continue;
            }
            const double mib = *figures[c][l];
            const bool over = mib >= kBoundMiB;
            within = within && !over;
            std::printf(" %9.1f %s", mib, over ? "!" : " ");
        }
        std::printf("\n");
    }
    std::printf("logs:");
    for (const Log& log : logs) {
        std::printf(" %s %.0f MiB%s", log.label.c_str(),
                    static_cast<double>(fs::file_size(log.path)) / (1 << 20),
                    &log == &logs.back() ? "" : ",");
    }
    std::printf("\n  features: %lld of the samples layer (%s)\n", features,
                logs.back().path.filename().c_str());
    std::printf("all figures below %.0f MiB: %s\n", kBoundMiB, within ? "yes" : "NO");
    for (const std::string& failure : failures) std::printf("  failed: %s\n", failure.c_str());
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
        else if (key == "--shapes")
            o.shapes = value;
        else if (key == "--work")
            o.work = value;
        else if (key == "--drive-mb")
            o.driveMb = std::atoi(value.c_str());
        else if (key == "--features")
            o.features = std::atoll(value.c_str());
        else if (key == "--small-mb")
            o.smallMb = std::atof(value.c_str());
    }
    if (o.cli.empty() || o.sim.empty() || o.shapes.empty() || o.work.empty() || o.driveMb < 1 ||
        o.features < 1 || o.smallMb <= 0) {
        std::fprintf(stderr,
                     "usage: %s --cli PATH --sim PATH --shapes PATH --work DIR [--drive-mb N]\n"
                     "          [--features N] [--small-mb N]\n",
                     argv[0]);
        return 2;
    }
    try {
        return Main(o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "memory benchmark failed: %s\n", e.what());
        return 1;
    }
}
