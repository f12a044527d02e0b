// SPDX-License-Identifier: GPL-3.0-or-later
// Every kind of output the command line writes, given every kind of target an attacker or a
// careless user can name: the target stays what it was and holds what it should, the exit status
// says what happened, and no temporary file is left.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "support/test_files.h"

namespace varistrum {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::RunCommand;
using test::TempDir;
using test::WriteFile;

const std::string kCli = VARISTRUM_CLI;

// One simulated log for every case.
const std::string& SharedLog() {
    static TempDir dir;
    static const std::string log = test::Simulate(dir, "mixed", 5, 60);
    return log;
}

enum class Target {
    Regular,
    Missing,
    Symlink,
    HardLink,
    NamedPipe,
    Device,
    Folder,
    Input,
    Background
};

const char* NameOf(Target target) {
    static const char* const names[] = {"regular",   "missing",    "symlink",
                                        "hard link", "named pipe", "device",
                                        "folder",    "input file", "background file"};
    return names[static_cast<int>(target)];
}

struct OutputKind {
    const char* name;
    // The command's arguments given the log, the folder and the file under attack (for a side
    // file, the main output is named so that the side file is that one).
    std::function<std::string(const std::string& log, const TempDir& dir)> arguments;
    std::string target;  // the name under attack, in the case's folder
    bool streams;        // may be written into a device or a named pipe
    bool derived;        // named after another output: a link there is refused
};

const OutputKind kKinds[] = {
    {"text",
     [](auto& log, auto& dir) { return "convert -q --tags 5 " + log + " -o " + dir.File("out"); },
     "out", true, false},
    {"gpkg",
     [](auto& log, auto& dir) {
         return "convert -q --format gpkg " + log + " -o " + dir.File("out");
     },
     "out", false, false},
    {"geojson",
     [](auto& log, auto& dir) {
         return "convert -q --format geojson " + log + " -o " + dir.File("out");
     },
     "out", false, false},
    {"fgb",
     [](auto& log, auto& dir) {
         return "convert -q --format fgb " + log + " -o " + dir.File("out");
     },
     "out", false, false},
    {"kml",
     [](auto& log, auto& dir) {
         return "convert -q --format kml " + log + " -o " + dir.File("out");
     },
     "out", false, false},
    {"csv",
     [](auto& log, auto& dir) {
         return "convert -q --format csv " + log + " -o " + dir.File("out");
     },
     "out", false, false},
    {"png",
     [](auto& log, auto& dir) { return "map -q --size 160x120 " + log + " -o " + dir.File("out"); },
     "out", true, false},
    {"provenance record",
     [](auto& log, auto& dir) {
         return "convert -q --tags 5 --provenance " + log + " -o " + dir.File("o.out");
     },
     "o.out.provenance.json", false, true},
    {"route file",
     [](auto& log, auto& dir) { return "convert -q " + log + " -o " + dir.File("g.geojson"); },
     "g.route.geojson", false, true},
};

// What a target is, without following a link.
fs::file_type TypeOf(const std::string& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type();
}

bool HasTemporary(const std::string& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().front() == '.') return true;
    }
    return false;
}

class OutputAttackTest : public ::testing::Test {
  protected:
    void Attack(const OutputKind& kind) {
        const bool root = ::geteuid() == 0;
        for (int t = 0; t <= static_cast<int>(Target::Background); ++t) {
            const auto target = static_cast<Target>(t);
            if (target == Target::Device && !root) continue;  // mknod needs root
            if (target == Target::Background && std::string(kind.name) != "png") continue;
            SCOPED_TRACE(std::string(kind.name) + " into a " + NameOf(target));
            AttackOne(kind, target);
        }
    }

  private:
    void AttackOne(const OutputKind& kind, Target target) {
        TempDir dir, logs;
        const std::string log = dir.File("drive.klf");
        fs::copy_file(SharedLog(), log);
        const std::string logBytes = ReadFile(log);
        const std::string path = dir.File(kind.target);
        std::string arguments = kind.arguments(log, dir);
        switch (target) {
            case Target::Regular:
                WriteFile(path, std::string("old"));
                break;
            case Target::Missing:
                break;
            case Target::Symlink:
                WriteFile(dir.File("victim"), std::string("victim"));
                fs::create_symlink("victim", path);
                break;
            case Target::HardLink:
                WriteFile(dir.File("other"), std::string("old"));
                fs::create_hard_link(dir.File("other"), path);
                break;
            case Target::NamedPipe:
                ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
                break;
            case Target::Device:  // a null device of our own
                ASSERT_EQ(::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
                break;
            case Target::Folder:
                fs::create_directory(path);
                break;
            case Target::Input:
                // The log under the output's name: a hard link, so no name gives it away.
                fs::create_hard_link(log, path);
                break;
            case Target::Background:
                ASSERT_EQ(RunCommand(kCli + " convert -q " + log + " -o " + dir.File("bg.gpkg")),
                          0);
                arguments += " --background " + dir.File("bg.gpkg");
                fs::rename(dir.File("bg.gpkg"), path);
                arguments.replace(arguments.find(dir.File("bg.gpkg")), dir.File("bg.gpkg").size(),
                                  path);
                break;
        }
        const std::string before = target == Target::Background ? ReadFile(path) : "";
        const fs::file_type type = TypeOf(path);
        const int status = RunCommand("timeout 20 " + kCli + " " + arguments + " >" +
                                      logs.File("out") + " 2>" + logs.File("err"));
        const std::string err = ReadFile(logs.File("err"));

        // What each target gives: written (0) or refused before anything is written (1).
        int expected = 0;
        std::string said;
        switch (target) {
            case Target::Symlink:
                if (kind.derived) {
                    expected = 1;
                    said = "is a symbolic link";
                }
                break;
            case Target::NamedPipe:
                expected = 1;
                said = kind.streams ? "no process reads the named pipe" : "is not a regular file";
                break;
            case Target::Device:
                if (!kind.streams) {
                    expected = 1;
                    said = "is not a regular file";
                }
                break;
            case Target::Folder:
                expected = 1;
                said = kind.streams && std::string(kind.name) == "text" ? "Is a directory"
                                                                        : "is a folder";
                break;
            case Target::Input:
                expected = 1;
                said = "The output file is the input file.";
                break;
            case Target::Background:
                expected = 1;
                said = "The output file is the background file.";
                break;
            default:
                break;
        }
        EXPECT_EQ(status, expected) << err;
        EXPECT_NE(err.find(said), std::string::npos) << err;
        EXPECT_EQ(err.find("Warning:"), std::string::npos) << err;
        // The target is what it was and holds what it should.
        if (target != Target::Missing) {
            EXPECT_EQ(TypeOf(path), type);
        }
        EXPECT_EQ(ReadFile(log), logBytes);
        switch (target) {
            case Target::Regular:
            case Target::Missing:
            case Target::HardLink:
                if (expected == 0) {
                    EXPECT_GT(ReadFile(path).size(), 3u);
                }
                if (target == Target::HardLink) {
                    EXPECT_EQ(ReadFile(dir.File("other")), "old");
                }
                break;
            case Target::Symlink:
                if (expected == 0) {
                    EXPECT_GT(ReadFile(dir.File("victim")).size(), 6u);  // followed
                } else {
                    EXPECT_EQ(ReadFile(dir.File("victim")), "victim");
                }
                break;
            case Target::Folder:
                EXPECT_TRUE(fs::is_empty(path));
                break;
            case Target::Background:
                EXPECT_EQ(ReadFile(path), before);
                break;
            default:
                break;
        }
        EXPECT_FALSE(HasTemporary(dir.Path().string()));
    }
};

TEST_F(OutputAttackTest, Text) {
    Attack(kKinds[0]);
}
TEST_F(OutputAttackTest, GeoPackage) {
    Attack(kKinds[1]);
}
TEST_F(OutputAttackTest, GeoJson) {
    Attack(kKinds[2]);
}
TEST_F(OutputAttackTest, FlatGeobuf) {
    Attack(kKinds[3]);
}
TEST_F(OutputAttackTest, Kml) {
    Attack(kKinds[4]);
}
TEST_F(OutputAttackTest, CsvTable) {
    Attack(kKinds[5]);
}
TEST_F(OutputAttackTest, Picture) {
    Attack(kKinds[6]);
}
TEST_F(OutputAttackTest, ProvenanceRecord) {
    Attack(kKinds[7]);
}
TEST_F(OutputAttackTest, RouteFile) {
    Attack(kKinds[8]);
}

// Runs the command line in `dir`, its messages kept in `messages`; the exit status.
int Cli(const TempDir& messages, const std::string& arguments) {
    return RunCommand("timeout 20 " + kCli + " " + arguments + " >" + messages.File("out") + " 2>" +
                      messages.File("err"));
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Outputs named after the log, or side files of an output, that would be the log itself.
TEST(OutputNamesTest, AnOutputNamedAfterItsInputIsRefused) {
    const struct {
        const char* log;
        const char* arguments;  // after the command; {log} is the log's path, {dir} the folder
    } cases[] = {
        {"x.png", "map -q --size 160x120 {log}"},  // the picture's default name
        {"r.route.geojson", "convert -q {log} -o {dir}/r.geojson"},
        {"q.out.provenance.json", "convert -q --tags 5 --provenance {log} -o {dir}/q.out"},
        {"g.gpkg.provenance.json", "convert -q --provenance {log} -o {dir}/g.gpkg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        TempDir dir, messages;
        const std::string log = dir.File(c.log);
        fs::copy_file(SharedLog(), log);
        std::string arguments = c.arguments;
        for (const auto& [key, value] :
             {std::pair<std::string, std::string>{"{log}", log}, {"{dir}", dir.Path().string()}}) {
            for (std::size_t at = arguments.find(key); at != std::string::npos;
                 at = arguments.find(key))
                arguments.replace(at, key.size(), value);
        }
        EXPECT_EQ(Cli(messages, arguments), 1);
        EXPECT_NE(ReadFile(messages.File("err")).find("The output file is the input file."),
                  std::string::npos);
        EXPECT_EQ(ReadFile(log), ReadFile(SharedLog()));
        EXPECT_EQ(Names(dir.Path().string()), std::vector<std::string>{c.log});
    }
}

// Links waiting under the names a writer might use for its temporary files lead nowhere: the
// temporary files are made in private folders under fresh names.
TEST(OutputNamesTest, TemporaryNamesCannotBeTakenOverByLinks) {
    TempDir dir, messages;
    WriteFile(dir.File("victim"), std::string("victim"));
    const std::vector<std::string> traps = {".o.partial_temp.fgb", ".o.partial.fgb", "o_temp.fgb",
                                            ".o.fgb.tmp",          "w.fgb",          "w_temp.fgb"};
    for (const std::string& trap : traps) fs::create_symlink("victim", dir.File(trap));
    EXPECT_EQ(Cli(messages, "convert -q " + SharedLog() + " -o " + dir.File("o.fgb")), 0);
    EXPECT_EQ(ReadFile(dir.File("victim")), "victim");
    for (const std::string& trap : traps) EXPECT_TRUE(fs::is_symlink(dir.File(trap))) << trap;
    // A layer named without its format's extension is still one file of that format.
    EXPECT_EQ(Cli(messages, "convert -q --format fgb " + SharedLog() + " -o " + dir.File("x.dat")),
              0);
    EXPECT_TRUE(fs::is_regular_file(dir.File("x.dat")));
    EXPECT_EQ(RunCommand("ogrinfo -ro -so " + dir.File("x.dat") + " | grep -q FlatGeobuf"), 0);
}

TEST(OutputNamesTest, FolderJobsStayInTheirFolderAndApart) {
    TempDir dir, messages;
    fs::create_directories(dir.File("in"));
    fs::create_directories(dir.File("out/deep"));
    fs::copy_file(SharedLog(), dir.File("in/a.klf"));
    fs::copy_file(SharedLog(), dir.File("in/a.route.klf"));
    const std::string folders =
        " --input-folder " + dir.File("in") + " --output-folder " + dir.File("out/deep");
    const struct {
        const char* options;
        int status;
        const char* error;
    } cases[] = {
        {" --format geojson", 1, "give the same output file."},
        {" --output-ext /../../escaped.out", 2, "--output-ext takes a file name extension"},
        {" --output-ext ..", 2, "--output-ext takes a file name extension"},
        {" --output-ext .", 2, "--output-ext takes a file name extension"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        EXPECT_EQ(Cli(messages, "convert -q --tags 5" + folders + c.options), c.status);
        EXPECT_NE(ReadFile(messages.File("err")).find(c.error), std::string::npos);
        EXPECT_TRUE(fs::is_empty(dir.File("out/deep")));
        EXPECT_EQ(Names(dir.File("out")), std::vector<std::string>{"deep"});
        EXPECT_EQ(Names(dir.Path().string()), (std::vector<std::string>{"in", "out"}));
    }
    // Names that differ only in letter case are one file in a folder job.
    fs::remove(dir.File("in/a.route.klf"));
    fs::copy_file(SharedLog(), dir.File("in/A.KLF"));
    EXPECT_EQ(Cli(messages, "convert -q --tags 5" + folders), 1);
    EXPECT_NE(ReadFile(messages.File("err")).find("give the same output file."), std::string::npos);
    EXPECT_TRUE(fs::is_empty(dir.File("out/deep")));
}

// Names with what would break a KML or JSON document: the files are valid all the same, bytes
// that are not UTF-8 replaced by U+FFFD.
TEST(OutputNamesTest, HostileNamesGiveValidDocuments) {
    TempDir dir, messages;
    const std::string hostile = "we]]>ird\x01 <&>\xff";
    const std::string log = dir.File(hostile + ".klf");
    fs::copy_file(SharedLog(), log);
    ASSERT_EQ(Cli(messages,
                  "convert -q --provenance '" + log + "' -o '" + dir.File(hostile + ".kml") + "'"),
              0)
        << ReadFile(messages.File("err"));
    ASSERT_EQ(Cli(messages, "convert -q --tags 5 --provenance '" + log + "'"), 0);
    const std::string check =
        "/usr/bin/python3 -c \"import sys, json, xml.dom.minidom as x; "
        "x.parse(sys.argv[1]); "
        "[json.loads(open(p, encoding='utf-8').read()) for p in sys.argv[2:]]\" ";
    EXPECT_EQ(RunCommand(check + "'" + dir.File(hostile + ".kml") + "' '" +
                         dir.File(hostile + ".kml.provenance.json") + "' '" +
                         dir.File(hostile + ".out.provenance.json") + "'"),
              0);
    const std::string record = ReadFile(dir.File(hostile + ".out.provenance.json"));
    EXPECT_NE(record.find("\xef\xbf\xbd"), std::string::npos);  // U+FFFD
    EXPECT_EQ(record.find('\xff'), std::string::npos);
}

// Names up to the system's limit: the temporary names stay short. A route file whose name would
// pass the limit is refused before anything is written.
TEST(OutputNamesTest, NamesNearTheSystemsLimitAreWritten) {
    TempDir dir, messages;
    const std::string base = dir.File(std::string(240, 'n'));
    for (const char* extension : {".out", ".gpkg", ".geojson", ".fgb", ".kml"}) {
        SCOPED_TRACE(extension);
        EXPECT_EQ(Cli(messages, "convert -q --tags 5 " + SharedLog() + " -o " + base + extension),
                  0)
            << ReadFile(messages.File("err"));
        EXPECT_TRUE(fs::is_regular_file(base + extension));
    }
    EXPECT_EQ(Cli(messages, "map -q --size 160x120 " + SharedLog() + " -o " + base + ".png"), 0);
    EXPECT_TRUE(fs::is_regular_file(base + ".png"));
    const std::string longer = dir.File(std::string(245, 'l') + ".geojson");
    EXPECT_EQ(Cli(messages, "convert -q " + SharedLog() + " -o " + longer), 1);
    EXPECT_NE(ReadFile(messages.File("err")).find("File name too long"), std::string::npos);
    EXPECT_FALSE(fs::exists(longer));
    for (const std::string& name : Names(dir.Path().string())) EXPECT_NE(name.front(), '.');
}

// Two runs writing the same output at once: each writes its own temporary files, both succeed.
TEST(OutputNamesTest, TwoRunsWritingOneOutputBothSucceed) {
    TempDir dir, messages;
    for (const char* name : {"same.geojson", "same.gpkg", "same.out"}) {
        SCOPED_TRACE(name);
        const std::string one =
            kCli + " convert -q --tags 5 " + SharedLog() + " -o " + dir.File(name);
        EXPECT_EQ(RunCommand("sh -c '" + one + " & a=$!; " + one + "; b=$?; wait $a; a=$?; " +
                             "[ $a = 0 ] && [ $b = 0 ]'"),
                  0);
        EXPECT_TRUE(fs::is_regular_file(dir.File(name)));
    }
    for (const std::string& name : Names(dir.Path().string())) EXPECT_NE(name.front(), '.');
}

TEST(OutputNamesTest, SmallRefusals) {
    TempDir dir, messages;
    WriteFile(dir.File("big.cfg"), std::string((1 << 20) + 1, '\n'));
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    const struct {
        std::string arguments;
        int status;
        std::string error;
    } cases[] = {
        {"convert -q --config " + dir.File("big.cfg") + " " + SharedLog() + " -o " +
             dir.File("c.out"),
         1, "Error: '" + dir.File("big.cfg") + "' is not a configuration file"},
        {"map -q --provenance " + SharedLog() + " -o " + dir.File("p.png"), 2,
         "Error: --provenance does not apply to map"},
        {"convert -q --no-spatial-index " + SharedLog() + " -o " + dir.File("s.gpkg"), 2,
         "--no-spatial-index applies only to FlatGeobuf"},
        {"map -q --size 160x120 --background " + dir.File("fifo") + " " + SharedLog() + " -o " +
             dir.File("b.png"),
         1, "Error: The background file is not a regular file"},
        {"convert -q --tags 5 --split " + SharedLog() + " -o " + dir.File("fifo"), 1,
         "is not a regular file; an output split into parts needs one"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        EXPECT_EQ(Cli(messages, c.arguments), c.status);
        EXPECT_NE(ReadFile(messages.File("err")).find(c.error), std::string::npos)
            << ReadFile(messages.File("err"));
    }
    EXPECT_EQ(Names(dir.Path().string()), (std::vector<std::string>{"big.cfg", "fifo"}));
    // Without its spatial index a FlatGeobuf is written as a stream, and reads back.
    EXPECT_EQ(
        Cli(messages, "convert -q --no-spatial-index " + SharedLog() + " -o " + dir.File("n.fgb")),
        0);
    EXPECT_EQ(RunCommand("ogrinfo -ro -so " + dir.File("n.fgb") +
                         " samples | grep -q 'Feature Count: [1-9]'"),
              0);
}

// A merged GeoPackage job names a skipped log once; a GIS folder job ends with its summary.
TEST(OutputNamesTest, GisFolderJobsEndWithTheirSummary) {
    TempDir dir, messages;
    fs::create_directories(dir.File("in"));
    fs::create_directories(dir.File("out"));
    fs::copy_file(SharedLog(), dir.File("in/a.klf"));
    WriteFile(dir.File("in/c.klf"), std::string("not a log"));
    EXPECT_EQ(Cli(messages, "convert -q --input-folder " + dir.File("in") + " --merge " +
                                dir.File("all.gpkg")),
              1);
    const std::string merged = ReadFile(messages.File("err"));
    EXPECT_EQ(merged,
              "Skipped c.klf: File is not from a QTX CW product.\n1 converted, 1 skipped\n");
    EXPECT_EQ(Cli(messages, "convert --input-folder " + dir.File("in") + " --output-folder " +
                                dir.File("out") + " --format fgb"),
              1);
    EXPECT_EQ(ReadFile(messages.File("err")),
              "Information: Conversion Has Been Completed!\n"
              "Skipped c.klf: File is not from a QTX CW product.\n1 converted, 1 skipped\n");
}

}  // namespace
}  // namespace varistrum
