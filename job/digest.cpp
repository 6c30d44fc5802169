#include "job/digest.h"

#include <sodium.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

namespace vmjob {

namespace {

std::string hexOf(const unsigned char* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

}  // namespace

std::string sha256Hex(std::span<const std::uint8_t> bytes) {
    if (sodium_init() < 0) return "";
    unsigned char hash[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(hash, bytes.data(), bytes.size());
    return hexOf(hash, sizeof hash);
}

std::optional<FileDigest> digestFile(const std::string& path, std::string* error) {
    if (sodium_init() < 0) {
        *error = "the digest library could not start";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = std::strerror(errno);
        return std::nullopt;
    }
    FileDigest digest;
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    std::vector<char> block(1 << 16);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
        crypto_hash_sha256_update(&state, bytes, got);
        for (std::size_t i = 0; i < got; ++i) digest.checksum += bytes[i];
        digest.size += got;
    }
    if (in.bad()) {
        *error = "a read failed";
        return std::nullopt;
    }
    unsigned char hash[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&state, hash);
    digest.sha256 = hexOf(hash, sizeof hash);
    return digest;
}

}  // namespace vmjob
