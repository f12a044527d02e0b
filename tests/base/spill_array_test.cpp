// SPDX-License-Identifier: GPL-3.0-or-later
// The spill array: values in order whatever part of them went to the temporary file.
#include "base/spill_array.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

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

}  // namespace
}  // namespace varistrum
