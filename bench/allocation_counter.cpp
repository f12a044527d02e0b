// SPDX-License-Identifier: GPL-3.0-or-later
// A counting global operator new: every allocation of the benchmark program passes here.
#include "bench/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace varistrum::bench {
namespace {
std::atomic<std::uint64_t> allocations{0};
}  // namespace

std::uint64_t AllocationCount() {
    return allocations.load(std::memory_order_relaxed);
}

}  // namespace varistrum::bench

void* operator new(std::size_t size) {
    varistrum::bench::allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
