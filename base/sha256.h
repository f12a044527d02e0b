// SPDX-License-Identifier: GPL-3.0-or-later
// SHA-256 (FIPS 180-4): the fingerprint of an input file in its provenance record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varistrum {

class Sha256 {
  public:
    Sha256();
    void Update(const void* data, std::size_t size);
    // The digest; the object must not be updated afterwards.
    std::array<std::uint8_t, 32> Finish();
    // Lower-case hexadecimal of Finish().
    std::string FinishHex();

  private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;  // bytes
};

std::string Sha256Hex(std::string_view data);

struct FileDigest {
    std::uint64_t size = 0;
    std::string sha256;  // lower-case hexadecimal
};

// Reads the whole file; nullopt when it cannot be read.
std::optional<FileDigest> DigestOfFile(const std::string& path);

}  // namespace varistrum
