// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes as a file to identify.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_scratch.h"
#include "logfile/identify.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int format =
        varistrum::IdentifyLogFile(varistrum::fuzz::WriteScratch("in.klf", data, size));
    if (format != 0 && format != 8 && format != 9)
        varistrum::fuzz::PropertyFailed("unknown format");
    if (varistrum::InputFormatName(format).empty())
        varistrum::fuzz::PropertyFailed("unnamed format");
    return 0;
}
