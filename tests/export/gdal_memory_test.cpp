// SPDX-License-Identifier: GPL-3.0-or-later
// GDAL running out of memory ends a map layer job as an allocation failure of ours does: the
// error trap keeps "not enough memory" whatever GDAL says after it.
#include <cpl_error.h>
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "base/resource_error.h"
#include "export/gdal_support.h"

namespace varistrum {
namespace {

TEST(GdalMemoryTest, OutOfMemoryStaysTheTrapsError) {
    const struct {
        const char* name;
        std::vector<std::pair<CPLErrorNum, const char*>> errors;  // raised in order
        std::string last;
        bool outOfMemory;
    } cases[] = {
        {"an ordinary failure",
         {{CPLE_AppDefined, "The disk\nis full"}},
         "The disk is full",
         false},
        {"out of memory", {{CPLE_OutOfMemory, "Cannot allocate 12 bytes"}}, kNotEnoughMemory, true},
        {"a failure that follows it",
         {{CPLE_OutOfMemory, "Cannot allocate"}, {CPLE_FileIO, "Write failed"}},
         kNotEnoughMemory,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GdalErrorTrap trap;
        for (const auto& [number, text] : c.errors) CPLError(CE_Failure, number, "%s", text);
        EXPECT_EQ(trap.LastError(), c.last);
        EXPECT_EQ(trap.OutOfMemory(), c.outOfMemory);
        if (c.outOfMemory) {
            EXPECT_THROW(ThrowIfOutOfMemory(trap.LastError()), std::bad_alloc);
        } else {
            EXPECT_NO_THROW(ThrowIfOutOfMemory(trap.LastError()));
        }
    }
}

}  // namespace
}  // namespace varistrum
