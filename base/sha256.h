// SPDX-License-Identifier: GPL-3.0-or-later
// SHA-256 through OpenSSL's libcrypto: the fingerprint of an input file in its provenance record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace varistrum {

class Sha256 {
  public:
    // Throws std::bad_alloc when libcrypto cannot make its context, std::runtime_error when it
    // offers no SHA-256.
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, std::size_t size);
    // The digest; the object must not be updated afterwards.
    std::array<std::uint8_t, 32> Finish();
    // Lower-case hexadecimal of Finish().
    std::string FinishHex();

  private:
    struct Context;
    std::unique_ptr<Context> context_;
};

std::string Sha256Hex(std::string_view data);

struct FileDigest {
    std::uint64_t size = 0;
    std::string sha256;  // lower-case hexadecimal
};

// Reads the whole file in large blocks; nullopt when it cannot be read (or hashed).
std::optional<FileDigest> DigestOfFile(const std::string& path);

}  // namespace varistrum
