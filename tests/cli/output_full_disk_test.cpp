// SPDX-License-Identifier: GPL-3.0-or-later
// Every kind of output on a full disk (a small tmpfs, where the tests may mount one): the command
// fails naming the file, the earlier versions of all the output's files stay, and nothing else is
// left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/test_files.h"

namespace varistrum {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::RunCommand;
using test::TempDir;
using test::WriteFile;

const std::string kCli = VARISTRUM_CLI;

class FullDisk {
  public:
    explicit FullDisk(const std::string& path) : path_(path) {
        fs::create_directory(path);
        mounted_ = RunCommand("mount -t tmpfs -o size=512k tmpfs " + path + " 2>/dev/null") == 0;
    }
    ~FullDisk() {
        if (mounted_) RunCommand("umount " + path_);
    }
    bool Mounted() const { return mounted_; }
    // Fills the disk, leaving `bytes` free.
    void Fill(std::size_t bytes) const {
        const std::string filler = path_ + "/filler";
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::string block(4096, 'f');
        off_t written = 0;
        while (::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size()))
            written += static_cast<off_t>(block.size());
        ::ftruncate(fd,
                    written > static_cast<off_t>(bytes) ? written - static_cast<off_t>(bytes) : 0);
        ::close(fd);
    }

  private:
    std::string path_;
    bool mounted_ = false;
};

TEST(OutputFullDiskTest, EveryOutputKeepsItsEarlierFiles) {
    TempDir dir, messages;
    FullDisk disk(dir.File("full"));
    if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
    const std::string log = test::Simulate(dir, "mixed", 5, 60);
    const std::string full = dir.File("full");
    const struct {
        const char* name;
        std::string arguments;
        std::vector<std::string> files;  // of the output, with earlier versions
    } cases[] = {
        {"text", "convert -q --tags 5,11,18,0 " + log + " -o " + full + "/t.out", {"t.out"}},
        {"text with its record",
         "convert -q --tags 5,11,18,0 --provenance " + log + " -o " + full + "/t.out",
         {"t.out", "t.out.provenance.json"}},
        {"picture", "map -q --size 800x600 " + log + " -o " + full + "/m.png", {"m.png"}},
        {"geopackage with its record",
         "convert -q --provenance " + log + " -o " + full + "/g.gpkg",
         {"g.gpkg", "g.gpkg.provenance.json"}},
        {"geojson with its route",
         "convert -q " + log + " -o " + full + "/j.geojson",
         {"j.geojson", "j.route.geojson"}},
        {"flatgeobuf", "convert -q " + log + " -o " + full + "/f.fgb", {"f.fgb"}},
        {"kml", "convert -q " + log + " -o " + full + "/k.kml", {"k.kml"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string& file : c.files) WriteFile(full + "/" + file, "earlier " + file);
        disk.Fill(4096);
        EXPECT_EQ(
            RunCommand("timeout 20 " + kCli + " " + c.arguments + " 2>" + messages.File("err")), 1);
        const std::string err = ReadFile(messages.File("err"));
        EXPECT_NE(err.find("Error: "), std::string::npos) << err;
        EXPECT_NE(err.find(full + "/"), std::string::npos) << err;  // names its own file
        std::vector<std::string> left = {"filler"};
        for (const std::string& file : c.files) {
            EXPECT_EQ(ReadFile(full + "/" + file), "earlier " + file);
            left.push_back(file);
        }
        std::sort(left.begin(), left.end());
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(full))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, left);
        for (const auto& entry : fs::directory_iterator(full)) fs::remove_all(entry.path());
    }
}

// A GIS folder job that fails says which file failed and counts, with no completion message.
TEST(OutputFullDiskTest, AFailedGisFolderJobEndsWithItsSummary) {
    TempDir dir, messages;
    FullDisk disk(dir.File("full"));
    if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
    fs::create_directory(dir.File("in"));
    fs::rename(test::Simulate(dir, "mixed", 5, 60), dir.File("in/a.klf"));
    fs::copy_file(dir.File("in/a.klf"), dir.File("in/b.klf"));
    disk.Fill(4096);
    EXPECT_EQ(RunCommand(kCli + " convert --input-folder " + dir.File("in") + " --output-folder " +
                         dir.File("full") + " --format gpkg 2>" + messages.File("err")),
              1);
    const std::string err = ReadFile(messages.File("err"));
    EXPECT_EQ(
        err.rfind("Error: Output File Cannot Be Accessed! '" + dir.File("full/a.gpkg") + "'", 0),
        0u)
        << err;
    EXPECT_NE(err.find("\nFailed a.klf: "), std::string::npos) << err;
    EXPECT_NE(err.find("0 converted, 0 skipped, 1 failed, 1 not started\n"), std::string::npos)
        << err;
    EXPECT_EQ(err.find("Completed"), std::string::npos) << err;
}

}  // namespace
}  // namespace varistrum
