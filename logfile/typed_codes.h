// SPDX-License-Identifier: GPL-3.0-or-later
// The channel codes of receiver frequencies typed in for logs that lack them.
#pragma once

#include <cstdint>

namespace varistrum {

// Each receiver's typed frequency as a channel code of its plan: the conversion fills the
// receiver's whole channel table with it, and scan definitions of the log replace it.
struct TypedCodes {
    std::uint32_t receiver1 = 0;
    std::uint32_t receiver2 = 0;
};

}  // namespace varistrum
