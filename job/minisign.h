// minisign's public keys and signatures, read and checked as minisign
// itself checks them: the signature over the file (the file's bytes, or
// their BLAKE2b-512 for the pre-hashed algorithm) and the global signature
// over the signature and its trusted comment, both Ed25519.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vmjob {

using KeyId = std::array<std::uint8_t, 8>;

struct PublicKey {
    KeyId id{};
    std::array<std::uint8_t, 32> key{};
};

struct Signature {
    bool prehashed = false;  // "ED": signs the file's BLAKE2b-512; "Ed": its bytes
    KeyId keyId{};
    std::array<std::uint8_t, 64> signature{};
    std::string trustedComment;  // the text after "trusted comment: "
    std::array<std::uint8_t, 64> globalSignature{};
};

// A public key file: an untrusted comment line, then the key in base64.
// Nothing, with the reason in `error`, when the text is not one.
std::optional<PublicKey> parsePublicKey(std::string_view text, std::string* error);

// A signature file: an untrusted comment line, the signature in base64, a
// trusted comment line and the global signature in base64.
std::optional<Signature> parseSignature(std::string_view text, std::string* error);

// The key id as minisign prints it: 16 upper-case hexadecimal digits.
std::string keyIdText(const KeyId& id);

// Checks `signature` over `message` with the one of `keys` that made it.
// Empty when it holds, else the reason in words.
std::string verifySignature(std::span<const std::uint8_t> message, const Signature& signature,
                            const std::vector<PublicKey>& keys);

}  // namespace vmjob
