// SPDX-License-Identifier: GPL-3.0-or-later
// The spill array: values in order whatever part of them went to the temporary file.
#include "base/spill_array.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/resource_error.h"
#include "support/test_files.h"

namespace varistrum {
namespace {

class SpillArrayTest : public ::testing::Test {
  protected:
    void TearDown() override { SetSpillChunkBytes(normal_); }
    std::size_t normal_ = SpillChunkBytes();
};

TEST_F(SpillArrayTest, EveryValueReadsBackInOrderAndOutOfOrder) {
    struct Case {
        std::size_t chunkBytes;
        std::vector<std::size_t> appends;  // sizes of the Append calls
    } cases[] = {
        {1 << 20, {1, 2, 3, 1000}},  // all in memory
        {4, {1, 1, 1, 1, 1, 1, 1}},  // a part of one value
        {40, {3, 25, 1, 7, 0, 64}},  // appends across part ends
        {64, {4096, 4096, 1}},       // record-sized appends
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chunkBytes);
        SetSpillChunkBytes(c.chunkBytes);
        SpillArray<std::int32_t> array;
        for (int round = 0; round < 2; ++round) {  // the second after clear() reuses the file
            std::vector<std::int32_t> expected;
            std::int8_t next = static_cast<std::int8_t>(round);
            for (std::size_t n : c.appends) {
                std::vector<std::int8_t> values(n);
                for (std::int8_t& v : values) v = next++;
                array.Append(values.data(), n);
                expected.insert(expected.end(), values.begin(), values.end());
            }
            ASSERT_EQ(array.size(), expected.size());
            EXPECT_EQ(array.Spilled(), expected.size() * 4 >= 2 * c.chunkBytes);
            for (std::size_t k = 0; k < expected.size(); ++k) ASSERT_EQ(array[k], expected[k]) << k;
            for (std::size_t k = expected.size(); k-- > 0;) ASSERT_EQ(array[k], expected[k]) << k;
            std::vector<std::int32_t> copy(expected.size());
            array.CopyOut(0, copy.size(), copy.data());
            EXPECT_EQ(copy, expected);
            array.clear();
            EXPECT_TRUE(array.empty());
        }
    }
}

// Sets TMPDIR (nothing: unset) while it lives.
class TemporaryFolderSetting {
  public:
    explicit TemporaryFolderSetting(const std::optional<std::string>& folder) {
        if (const char* old = std::getenv("TMPDIR")) old_ = old;
        if (folder)
            setenv("TMPDIR", folder->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    ~TemporaryFolderSetting() {
        if (old_)
            setenv("TMPDIR", old_->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

  private:
    std::optional<std::string> old_;
};

// The files this process holds open whose path lies in `folder` (an unnamed file shows as
// "FOLDER/#123 (deleted)").
int OpenFilesIn(const std::string& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (!error && target.rfind(folder + "/", 0) == 0) ++count;
    }
    return count;
}

TEST_F(SpillArrayTest, TheTemporaryFileGoesWhereTmpdirSays) {
    test::TempDir dir;
    const std::string folder = std::filesystem::canonical(dir.Path()).string();
    const struct {
        std::optional<std::string> tmpdir;
        std::string expected;
    } cases[] = {{folder, folder}, {std::nullopt, "/tmp"}, {"", "/tmp"}};
    SetSpillChunkBytes(16);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tmpdir.value_or("(unset)"));
        TemporaryFolderSetting setting(c.tmpdir);
        EXPECT_EQ(TemporaryFolder(), c.expected);
        SpillArray<std::int32_t> array;
        for (std::int32_t k = 0; k < 100; ++k) array.push_back(k);
        ASSERT_TRUE(array.Spilled());
        if (c.expected == folder) {
            EXPECT_EQ(OpenFilesIn(folder), 1);
            EXPECT_TRUE(std::filesystem::is_empty(folder));  // it has no name
        }
        for (std::int32_t k = 0; k < 100; ++k) ASSERT_EQ(array[static_cast<std::size_t>(k)], k);
    }
    EXPECT_EQ(OpenFilesIn(folder), 0);  // gone with the arrays
}

// A spill file that cannot be written ends the work with the folder and the reason, never with
// values kept in memory beyond the bound (the command line's test makes one in a missing folder).
TEST_F(SpillArrayTest, AFileThatCannotBeWrittenSaysSo) {
    test::TempDir dir;
    // A full disk, as a file size limit shows it: in a child, which the limit would end.
    TemporaryFolderSetting setting(dir.Path().string());
    const int status = test::InChild(
        [] {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{64 << 10, 64 << 10};
            setrlimit(RLIMIT_FSIZE, &limit);
            SetSpillChunkBytes(16 << 10);
            SpillArray<std::int32_t> array;
            try {
                for (std::int32_t k = 0; k < (1 << 20); ++k) array.push_back(k);
            } catch (const ResourceError& e) {
                const std::string text = e.what();
                return text.find("Cannot write a temporary file in '") == 0 &&
                               text.find("File too large") != std::string::npos
                           ? 0
                           : 2;
            }
            return 1;
        },
        60);
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace varistrum
