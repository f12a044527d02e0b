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

TEST(FolderFilesTest, DefaultOutputNameDropsFourCharactersNotBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {"/data/run1.klf", "/data/run1.out"},
        {"/data/run1.qel", "/data/run1.out"},
        {"/data/run1.k", "/data/ru.out"},       // whatever the extension's length
        {"/data/x.l\xC3\xB6g", "/data/x.out"},  // "ö" is one character
        {"/data/\xE6\xB8\xAC\xE8\xA9\xA6.klf", "/data/\xE6\xB8\xAC\xE8\xA9\xA6.out"},
        {"/d/\xE6\xB8\xAC\xE8\xA9\xA6\xF0\x9F\x93\xA1\xC3\xB6", "/d/.out"},
        {"abc", ".out"},
        {"", ".out"},
        {"/d/ab\x80\x80", "/d/.out"},  // stray continuation bytes count one each
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(DefaultOutputName(input), expected) << input;
}

}  // namespace
}  // namespace varistrum
