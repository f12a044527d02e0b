// SPDX-License-Identifier: GPL-3.0-or-later
// SHA-256 by libcrypto's digest interface; files are read a megabyte at a time.
#include "base/sha256.h"

#include <openssl/evp.h>

#include <cstdio>
#include <new>
#include <stdexcept>
#include <vector>

namespace varistrum {

namespace {

constexpr std::size_t kFileBlockBytes = std::size_t{1} << 20;

}  // namespace

struct Sha256::Context {
    EVP_MD_CTX* digest = nullptr;
    ~Context() { EVP_MD_CTX_free(digest); }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
    context_->digest = EVP_MD_CTX_new();
    if (context_->digest == nullptr) throw std::bad_alloc();
    if (EVP_DigestInit_ex(context_->digest, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available");
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
    if (size == 0) return;
    if (EVP_DigestUpdate(context_->digest, data, size) != 1)
        throw std::runtime_error("SHA-256 failed");
}

std::array<std::uint8_t, 32> Sha256::Finish() {
    std::array<std::uint8_t, 32> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_->digest, digest.data(), &length) != 1 ||
        length != digest.size())
        throw std::runtime_error("SHA-256 failed");
    return digest;
}

std::string Sha256::FinishHex() {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : Finish()) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 15]);
    }
    return text;
}

std::string Sha256Hex(std::string_view data) {
    Sha256 hash;
    hash.Update(data.data(), data.size());
    return hash.FinishHex();
}

std::optional<FileDigest> DigestOfFile(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) return std::nullopt;
    try {
        Sha256 hash;
        FileDigest digest;
        std::vector<char> block(kFileBlockBytes);
        for (;;) {
            const std::size_t got = std::fread(block.data(), 1, block.size(), file.get());
            hash.Update(block.data(), got);
            digest.size += got;
            if (got < block.size()) break;
        }
        if (std::ferror(file.get())) return std::nullopt;
        digest.sha256 = hash.FinishHex();
        return digest;
    } catch (const std::runtime_error&) {
        return std::nullopt;  // no digest: the record says so, as for an unreadable file
    }
}

}  // namespace varistrum
