// SPDX-License-Identifier: GPL-3.0-or-later
// The one output writer: what each kind of output does with each kind of target, output sets put
// in place whole or not at all, temporary names, and the job's file checks.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "base/job_files.h"
#include "base/output_set.h"
#include "base/staged_file.h"
#include "support/test_files.h"

namespace varistrum {
namespace {

namespace fs = std::filesystem;
using test::InChild;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// What a library that writes by name makes of a work file.
constexpr OutputKind kLayerLike{"a layer", false, ".lyr"};

enum class Target { Regular, Missing, Symlink, HardLink, NamedPipe, Device, Folder, Socket };
enum class Writer { Stream, Record, Work };

const char* NameOf(Target target) {
    static const char* const names[] = {"regular",    "missing", "symlink", "hard link",
                                        "named pipe", "device",  "folder",  "socket"};
    return names[static_cast<int>(target)];
}

// The names in a folder: what a write left behind.
std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// The file type of a path, without following a link.
fs::file_type TypeOf(const std::string& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type();
}

// Makes the target in `dir` as "out"; false when this kind cannot be made here.
bool MakeTarget(const TempDir& dir, Target target) {
    const std::string out = dir.File("out");
    switch (target) {
        case Target::Regular:
            WriteFile(out, std::string("old"));
            return true;
        case Target::Missing:
            return true;
        case Target::Symlink:
            WriteFile(dir.File("real"), std::string("old"));
            fs::create_symlink("real", out);
            return true;
        case Target::HardLink:
            WriteFile(dir.File("other"), std::string("old"));
            fs::create_hard_link(dir.File("other"), out);
            return true;
        case Target::NamedPipe:
            return ::mkfifo(out.c_str(), 0600) == 0;
        case Target::Device:  // a null device of our own
            return ::mknod(out.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
        case Target::Folder:
            fs::create_directory(out);
            return true;
        case Target::Socket: {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::snprintf(address.sun_path, sizeof address.sun_path, "%s", out.c_str());
            const bool bound =
                ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
            ::close(fd);
            return bound;
        }
    }
    return false;
}

// Writes "new" as one output of `writer`'s kind to `path`; the refusal or failure text, empty
// when it was put in place.
std::string WriteOne(const std::string& path, Writer writer) {
    OutputSet files;
    const OutputKind& kind = writer == Writer::Stream   ? kTextOutput
                             : writer == Writer::Record ? kJsonRecordOutput
                                                        : kLayerLike;
    const std::size_t index = files.Add(path, kind);
    if (const auto refusal = files.Check()) return refusal->message;
    if (writer == Writer::Work) {
        StagedFile* work = files.WorkFile(index);
        if (work == nullptr) return files.FailureReason();
        WriteFile(work->WorkPath(), std::string("new"));
        WriteFile(work->WorkFolder() + "/side-file", std::string("journal"));
    } else {
        OutputFile* stream = files.Stream(index);
        if (stream == nullptr) return files.FailureReason();
        stream->Write("new");
    }
    return files.Commit() ? std::string() : files.FailureReason();
}

TEST(OutputWriterTest, EachKindOfOutputOnEachKindOfTarget) {
    const bool root = ::geteuid() == 0;
    // "new": the file there holds the new bytes; "old": it kept its own; "" when the target is
    // no regular file. `refusal` is a part of the refusal's or failure's text.
    const struct {
        Target target;
        Writer writer;
        const char* refusal;
        const char* content;
    } cases[] = {
        {Target::Regular, Writer::Stream, "", "new"},
        {Target::Regular, Writer::Record, "", "new"},
        {Target::Regular, Writer::Work, "", "new"},
        {Target::Missing, Writer::Stream, "", "new"},
        {Target::Missing, Writer::Work, "", "new"},
        {Target::Symlink, Writer::Stream, "", "new"},
        {Target::Symlink, Writer::Work, "", "new"},
        {Target::HardLink, Writer::Stream, "", "new"},
        {Target::HardLink, Writer::Work, "", "new"},
        {Target::NamedPipe, Writer::Stream, "no process reads the named pipe", ""},
        {Target::NamedPipe, Writer::Record, "is not a regular file; a JSON record needs one", ""},
        {Target::NamedPipe, Writer::Work, "is not a regular file; a layer needs one", ""},
        {Target::Device, Writer::Stream, "", ""},
        {Target::Device, Writer::Record, "is not a regular file; a JSON record needs one", ""},
        {Target::Device, Writer::Work, "is not a regular file; a layer needs one", ""},
        {Target::Folder, Writer::Stream, "is a folder; text needs a regular file", ""},
        {Target::Folder, Writer::Work, "is a folder; a layer needs a regular file", ""},
        {Target::Socket, Writer::Stream, "is not a regular file; text needs one", ""},
        {Target::Socket, Writer::Work, "is not a regular file; a layer needs one", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(NameOf(c.target)) + " " + std::to_string(int(c.writer)));
        TempDir dir;
        if (c.target == Target::Device && !root) continue;  // mknod needs root
        ASSERT_TRUE(MakeTarget(dir, c.target));
        const std::set<std::string> before = Names(dir.Path().string());
        const fs::file_type type = TypeOf(dir.File("out"));
        // In a child process, so that a write that waits for a reader fails the test.
        TempDir scratch;
        ASSERT_EQ(InChild(
                      [&] {
                          WriteFile(scratch.File("said"), WriteOne(dir.File("out"), c.writer));
                          return 0;
                      },
                      10),
                  0);
        const std::string refusal = ReadFile(scratch.File("said"));
        EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
        EXPECT_EQ(refusal.empty(), std::string(c.refusal).empty()) << refusal;
        // The target is what it was (a link stays a link, a device a device), holds what it
        // should, and nothing else is left in its folder.
        std::set<std::string> after = before;
        if (c.target == Target::Missing && refusal.empty()) after.insert("out");
        EXPECT_EQ(Names(dir.Path().string()), after);
        if (c.target != Target::Missing) {
            EXPECT_EQ(TypeOf(dir.File("out")), type);
        }
        if (std::string(c.content) == "new") {
            EXPECT_EQ(ReadFile(dir.File("out")), "new");
        }
        if (c.target == Target::Symlink) {
            EXPECT_EQ(ReadFile(dir.File("real")), "new");
        }
        // A hard link's other name keeps the earlier file: the new one replaced only this name.
        if (c.target == Target::HardLink) {
            EXPECT_EQ(ReadFile(dir.File("other")), "old");
        }
    }
}

// The files of one output replace their earlier versions all together or not at all.
TEST(OutputWriterTest, ASetIsPutInPlaceWholeOrNotAtAll) {
    for (const bool failLast : {false, true}) {
        SCOPED_TRACE(failLast ? "the last file fails" : "all succeed");
        TempDir dir;
        WriteFile(dir.File("a.lyr"), std::string("old layer"));
        WriteFile(dir.File("a.route.lyr"), std::string("old route"));
        OutputSet files;
        const std::size_t layer = files.Add(dir.File("a.lyr"), kLayerLike);
        const std::size_t route = files.Add(dir.File("a.route.lyr"), kLayerLike);
        const std::size_t record = files.Add(dir.File("a.json"), kJsonRecordOutput);
        ASSERT_FALSE(files.Check().has_value());
        WriteFile(files.WorkFile(layer)->WorkPath(), std::string("new layer"));
        WriteFile(files.WorkFile(route)->WorkPath(), std::string("new route"));
        files.Stream(record)->Write("{}");
        // The record's name taken by a folder meanwhile: its rename is refused at the end.
        if (failLast) fs::create_directory(dir.File("a.json"));
        EXPECT_EQ(files.Commit(), !failLast);
        EXPECT_EQ(ReadFile(dir.File("a.lyr")), failLast ? "old layer" : "new layer");
        EXPECT_EQ(ReadFile(dir.File("a.route.lyr")), failLast ? "old route" : "new route");
        EXPECT_EQ(
            failLast ? fs::is_directory(dir.File("a.json")) : ReadFile(dir.File("a.json")) == "{}",
            true);
        EXPECT_EQ(Names(dir.Path().string()),
                  (std::set<std::string>{"a.json", "a.lyr", "a.route.lyr"}));
        if (failLast) {
            EXPECT_EQ(files.FailedPath(), dir.File("a.json"));
        }
    }
}

// A file registered but never opened (a record not written after a cancel) stays as it was,
// and a set dropped unfinished leaves nothing behind.
TEST(OutputWriterTest, UnopenedFilesStayAndDiscardedSetsLeaveNothing) {
    TempDir dir;
    WriteFile(dir.File("t.out"), std::string("old text"));
    WriteFile(dir.File("t.out.json"), std::string("old record"));
    {
        OutputSet files;
        const std::size_t text = files.Add(dir.File("t.out"), kTextOutput);
        files.Add(dir.File("t.out.json"), kJsonRecordOutput, OutputSet::Naming::Derived);
        files.Stream(text)->Write("new text");
        ASSERT_TRUE(files.Commit());
    }
    EXPECT_EQ(ReadFile(dir.File("t.out")), "new text");
    EXPECT_EQ(ReadFile(dir.File("t.out.json")), "old record");
    {
        OutputSet files;
        const std::size_t layer = files.Add(dir.File("t.lyr"), kLayerLike);
        const std::size_t text = files.Add(dir.File("t.out"), kTextOutput);
        WriteFile(files.WorkFile(layer)->WorkPath(), std::string("layer"));
        files.Stream(text)->Write("lost");
    }
    EXPECT_EQ(Names(dir.Path().string()), (std::set<std::string>{"t.out", "t.out.json"}));
    EXPECT_EQ(ReadFile(dir.File("t.out")), "new text");
}

TEST(OutputWriterTest, TemporaryNamesSuitAnyLegalNameAndNeverRepeat) {
    TempDir dir;
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        const std::string name =
            fs::path(TemporaryNameIn(dir.Path().string(), std::string(255, 'n'), ".fgb"))
                .filename()
                .string();
        EXPECT_LE(name.size(), 100u);
        EXPECT_EQ(name.front(), '.');
        EXPECT_TRUE(seen.insert(name).second) << name;
    }
    // A name of 250 bytes (multi-byte characters cut whole) as every kind of output.
    std::string longName;
    while (longName.size() < 246) longName += "\xc3\xa9";  // "é"
    for (const Writer writer : {Writer::Stream, Writer::Record, Writer::Work}) {
        const std::string path = dir.File(longName + ".lyr");
        EXPECT_EQ(WriteOne(path, writer), "");
        EXPECT_EQ(ReadFile(path), "new");
    }
    const std::string tooLong = dir.File(std::string(256, 'x'));
    EXPECT_NE(WriteOne(tooLong, Writer::Work).find("File name too long"), std::string::npos);
}

// Two processes writing the same files at once: each writes its own temporary files, both
// succeed, and one's whole set is what stays.
TEST(OutputWriterTest, TwoProcessesWritingOneOutputBothSucceed) {
    TempDir dir;
    const auto write = [&](const std::string& text) {
        for (int round = 0; round < 50; ++round) {
            OutputSet files;
            const std::size_t layer = files.Add(dir.File("same.lyr"), kLayerLike);
            const std::size_t record = files.Add(dir.File("same.json"), kJsonRecordOutput);
            WriteFile(files.WorkFile(layer)->WorkPath(), text);
            files.Stream(record)->Write(text);
            if (!files.Commit()) return 1;
        }
        return 0;
    };
    const pid_t other = ::fork();
    if (other == 0) _exit(write(std::string(100000, 'b')));
    const int mine = write(std::string(50000, 'a'));
    int status = 0;
    ::waitpid(other, &status, 0);
    EXPECT_EQ(mine, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string layer = ReadFile(dir.File("same.lyr"));
    EXPECT_TRUE(layer == std::string(50000, 'a') || layer == std::string(100000, 'b'));
    EXPECT_EQ(Names(dir.Path().string()), (std::set<std::string>{"same.json", "same.lyr"}));
}

TEST(JobFilesTest, OutputsThatAreReadOrNamedTwiceAreRefused) {
    TempDir dir;
    WriteFile(dir.File("a.klf"), std::string("log"));
    WriteFile(dir.File("bg.gpkg"), std::string("background"));
    fs::create_hard_link(dir.File("bg.gpkg"), dir.File("hard.png"));
    fs::create_symlink(dir.File("a.klf"), dir.File("soft.png"));
    const std::string a = dir.File("a.klf"), b = dir.File("b.klf");
    const struct {
        const char* name;
        JobFileList files;
        const char* refusal;  // empty: accepted
    } cases[] = {
        {"the input", {{a}, {}, {{a}}, false}, "The output file is the input file."},
        {"the input through a link",
         {{a}, {}, {{dir.File("soft.png")}}, false},
         "The output file is the input file."},
        {"the background",
         {{a}, {dir.File("bg.gpkg")}, {{dir.File("bg.gpkg")}}, false},
         "The output file is the background file."},
        {"the background through a hard link",
         {{a}, {dir.File("bg.gpkg")}, {{dir.File("hard.png")}}, false},
         "The output file is the background file."},
        {"a side file of one output is another's layer",
         {{a, b},
          {},
          {{dir.File("a.geojson"), dir.File("a.route.geojson")}, {dir.File("a.route.geojson")}},
          false},
         "give the same output file."},
        {"names differing in case, folder job",
         {{a, b}, {}, {{dir.File("x/A.out")}, {dir.File("x/a.out")}}, true},
         "give the same output file."},
        {"names differing in case, case kept",
         {{a, b}, {}, {{dir.File("x/A.out")}, {dir.File("x/a.out")}}, false},
         ""},
        {"one output naming a file twice",
         {{a}, {}, {{dir.File("o.out"), dir.File("x/../o.out")}}, false},
         "is written twice"},
        {"a merged file of several inputs", {{a, b}, {}, {{dir.File("all.gpkg")}}, true}, ""},
    };
    for (const auto& c : cases) {
        const auto refusal = CheckJobFiles(c.files);
        EXPECT_EQ(refusal ? refusal->message.find(c.refusal) != std::string::npos
                          : std::string(c.refusal).empty(),
                  true)
            << c.name << ": " << (refusal ? refusal->message : "accepted");
    }
}

// A file named after an output is never written through a link: it would lead to a file
// nobody named.
TEST(JobFilesTest, ADerivedNameThatIsALinkIsRefused) {
    TempDir dir;
    WriteFile(dir.File("victim.klf"), std::string("victim"));
    fs::create_symlink("victim.klf", dir.File("o.out.provenance.json"));
    OutputSet files;
    files.Add(dir.File("o.out"), kTextOutput);
    files.Add(dir.File("o.out.provenance.json"), kJsonRecordOutput, OutputSet::Naming::Derived);
    const auto refusal = files.Check();
    ASSERT_TRUE(refusal.has_value());
    EXPECT_NE(refusal->message.find("is a symbolic link"), std::string::npos);
    EXPECT_EQ(ReadFile(dir.File("victim.klf")), "victim");
    // The same link named by the user is followed.
    OutputSet named;
    named.Add(dir.File("o.out.provenance.json"), kJsonRecordOutput);
    EXPECT_FALSE(named.Check().has_value());
}

}  // namespace
}  // namespace varistrum
