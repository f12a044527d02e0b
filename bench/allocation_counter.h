// SPDX-License-Identifier: GPL-3.0-or-later
// Counts the heap allocations of the benchmark program, to show that nothing allocates per record.
#pragma once

#include <cstdint>

namespace varistrum::bench {

// Allocations made by operator new since the program started.
std::uint64_t AllocationCount();

}  // namespace varistrum::bench
