// SPDX-License-Identifier: GPL-3.0-or-later
// Folder listings and output names of multiple-files jobs and the window's default name.
#include "convert/folder_files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_files.h"

namespace varistrum {
namespace {

TEST(FolderFilesTest, ListsMatchingFilesOfAnyCaseInNameOrderAndSkipsFolders) {
    test::TempDir dir;
    for (const char* name : {"b.klf", "A.KLF", "c.qel", "drive.Klf", "klf"})
        test::WriteFile(dir.File(name), std::string("x"));
    std::filesystem::create_directory(dir.File("old.klf"));
    const FileLists lists = ListFolderFiles(dir.Path().string(), "*.klf", "/out", ".txt");
    const std::string in = dir.Path().string() + "/";
    EXPECT_EQ(lists.inputs,
              (std::vector<std::string>{in + "A.KLF", in + "b.klf", in + "drive.Klf"}));
    EXPECT_EQ(lists.outputs,
              (std::vector<std::string>{"/out/A.txt", "/out/b.txt", "/out/drive.txt"}));
    EXPECT_TRUE(ListFolderFiles(dir.File("missing"), "*.klf", "/out", ".out").inputs.empty());
}

// The name's extension, from its last '.', is replaced; a name without one gets ".out".
TEST(FolderFilesTest, DefaultOutputNameReplacesTheExtensionOfTheFileName) {
    const std::pair<std::string, std::string> cases[] = {
        {"/data/run1.klf", "/data/run1.out"},
        {"/data/run1.qel", "/data/run1.out"},
        {"/data/RUN1.KLF", "/data/RUN1.out"},
        {"/data/run1.out", "/data/run1.out"},
        {"/data/measurements", "/data/measurements.out"},
        {"abc", "abc.out"},
        {"/data/run1.k", "/data/run1.out"},                // whatever the extension's length
        {"/data/drive.2026.klf", "/data/drive.2026.out"},  // only the last '.' counts
        {"/data/v1.2/run1", "/data/v1.2/run1.out"},        // a folder's '.' is no extension
        {"/data/x.l\xC3\xB6g", "/data/x.out"},
        {"/data/\xE6\xB8\xAC\xE8\xA9\xA6.klf", "/data/\xE6\xB8\xAC\xE8\xA9\xA6.out"},
        {"/data/run1.", "/data/run1.out"},
        {"", ".out"},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(DefaultOutputName(input), expected) << input;
}

TEST(FolderFilesTest, FolderJobOutputsDropTheInputExtensionOnly) {
    test::TempDir dir;
    for (const char* name : {"measurements", "run.1.klf", "abc.qel"})
        test::WriteFile(dir.File(name), std::string("x"));
    const FileLists lists = ListFolderFiles(dir.Path().string(), "*", "/out", ".csv");
    EXPECT_EQ(lists.outputs, (std::vector<std::string>{"/out/abc.csv", "/out/measurements.csv",
                                                       "/out/run.1.csv"}));
}

}  // namespace
}  // namespace varistrum
