// SPDX-License-Identifier: GPL-3.0-or-later
// Scratch files of a fuzz process: the core reads and writes paths, so inputs go through files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace varistrum::fuzz {

// Path of `name` in this process's scratch folder (on a RAM disk when there is one); the
// folder is created on first use and removed when the process exits normally.
std::string ScratchPath(const std::string& name);

// Writes the bytes as the whole of scratch file `name`; returns its path.
std::string WriteScratch(const std::string& name, const std::uint8_t* data, std::size_t size);

// Contents of a file; empty when it cannot be read.
std::string ReadWhole(const std::string& path);

// Stops the process so the fuzzer records the input: a broken property, not a crash.
[[noreturn]] void PropertyFailed(const char* what);

}  // namespace varistrum::fuzz
