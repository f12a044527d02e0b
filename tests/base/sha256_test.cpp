// SPDX-License-Identifier: GPL-3.0-or-later
// Known answers of the files' SHA-256: short messages, and files across the read block.
#include "base/sha256.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace varistrum {
namespace {

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 % 251);
    return bytes;
}

TEST(Sha256FileTest, KnownAnswersOfFiles) {
    test::TempDir dir;
    const struct {
        const char* name;
        std::string bytes;
        const char* digest;
    } cases[] = {
        {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"a million a", std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // Exactly one read block, then a read that finds nothing.
        {"one block of a", std::string(std::size_t{1} << 20, 'a'),
         "9bc1b2a288b26af7257a36277ae3816a7d4f16e89c1e7e77d0a5c48bad62b360"},
        // Three reads, the last a short one.
        {"two blocks and five bytes", Pattern((std::size_t{2} << 20) + 5),
         "b051f5d89e9b1e6babc27191566c479e90350b577707ba69d22b9c9ffdf1c83a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("input");
        test::WriteFile(path, c.bytes);
        const auto digest = DigestOfFile(path);
        ASSERT_TRUE(digest.has_value());
        EXPECT_EQ(digest->sha256, c.digest);
        EXPECT_EQ(digest->size, c.bytes.size());
        EXPECT_EQ(Sha256Hex(c.bytes), c.digest);
    }
    EXPECT_FALSE(DigestOfFile(dir.File("missing")).has_value());
    EXPECT_FALSE(DigestOfFile(dir.Path().string()).has_value());  // a folder reads nothing
}

}  // namespace
}  // namespace varistrum
