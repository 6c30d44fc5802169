#include "job/minisign.h"

#include <sodium.h>

#include <cstdio>

namespace vmjob {

namespace {

constexpr std::string_view kUntrusted = "untrusted comment: ";
constexpr std::string_view kTrusted = "trusted comment: ";

// The lines of a key or signature file, without their line ends ("\n" or
// "\r\n"); a last line end is optional.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// Standard base64 that decodes to exactly `size` bytes, with nothing after it.
bool decodeExactly(std::string_view base64, std::uint8_t* out, std::size_t size) {
    if (sodium_init() < 0) return false;
    std::vector<std::uint8_t> bytes(size + 1);
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(bytes.data(), bytes.size(), base64.data(), base64.size(), nullptr, &length,
                          &end, sodium_base64_VARIANT_ORIGINAL) != 0) {
        return false;
    }
    if (end != base64.data() + base64.size() || length != size) return false;
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size), out);
    return true;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::optional<PublicKey> parsePublicKey(std::string_view text, std::string* error) {
    const std::vector<std::string_view> lines = linesOf(text);
    if (lines.size() < 2 || !startsWith(lines[0], kUntrusted)) {
        *error = "not a minisign public key (no untrusted comment line and key)";
        return std::nullopt;
    }
    std::array<std::uint8_t, 42> raw{};
    if (!decodeExactly(lines[1], raw.data(), raw.size()) || raw[0] != 'E' || raw[1] != 'd') {
        *error = "not a minisign public key (the key line is not an Ed25519 key in base64)";
        return std::nullopt;
    }
    PublicKey key;
    std::copy(raw.begin() + 2, raw.begin() + 10, key.id.begin());
    std::copy(raw.begin() + 10, raw.end(), key.key.begin());
    return key;
}

std::optional<Signature> parseSignature(std::string_view text, std::string* error) {
    const std::vector<std::string_view> lines = linesOf(text);
    if (lines.size() < 4 || !startsWith(lines[0], kUntrusted) || !startsWith(lines[2], kTrusted)) {
        *error = "not a minisign signature (it needs four lines: untrusted comment, signature, "
                 "trusted comment, global signature)";
        return std::nullopt;
    }
    std::array<std::uint8_t, 74> raw{};
    if (!decodeExactly(lines[1], raw.data(), raw.size()) || raw[0] != 'E' ||
        (raw[1] != 'd' && raw[1] != 'D')) {
        *error = "not a minisign signature (the signature line is not an Ed25519 signature in base64)";
        return std::nullopt;
    }
    Signature signature;
    signature.prehashed = raw[1] == 'D';
    std::copy(raw.begin() + 2, raw.begin() + 10, signature.keyId.begin());
    std::copy(raw.begin() + 10, raw.end(), signature.signature.begin());
    signature.trustedComment = std::string(lines[2].substr(kTrusted.size()));
    if (!decodeExactly(lines[3], signature.globalSignature.data(), signature.globalSignature.size())) {
        *error = "not a minisign signature (the global signature line is not 64 bytes in base64)";
        return std::nullopt;
    }
    return signature;
}

std::string keyIdText(const KeyId& id) {
    std::string text;
    char digits[3];
    for (std::size_t i = id.size(); i-- > 0;) {
        std::snprintf(digits, sizeof digits, "%02X", id[i]);
        text += digits;
    }
    // minisign prints the id as a number: without leading zeros.
    const std::size_t first = text.find_first_not_of('0');
    return first == std::string::npos ? "0" : text.substr(first);
}

std::string verifySignature(std::span<const std::uint8_t> message, const Signature& signature,
                            const std::vector<PublicKey>& keys) {
    if (sodium_init() < 0) return "the signature library could not start";
    const PublicKey* signer = nullptr;
    for (const PublicKey& key : keys) {
        if (key.id == signature.keyId) signer = &key;
    }
    if (!signer) return "signed by key " + keyIdText(signature.keyId) + ", which is not trusted";

    std::array<std::uint8_t, crypto_generichash_BYTES_MAX> hash{};
    std::span<const std::uint8_t> signedBytes = message;
    if (signature.prehashed) {
        crypto_generichash(hash.data(), hash.size(), message.data(), message.size(), nullptr, 0);
        signedBytes = hash;
    }
    if (crypto_sign_verify_detached(signature.signature.data(), signedBytes.data(), signedBytes.size(),
                                    signer->key.data()) != 0) {
        return "the signature does not match the file's bytes (changed after signing?)";
    }
    std::vector<std::uint8_t> global(signature.signature.begin(), signature.signature.end());
    global.insert(global.end(), signature.trustedComment.begin(), signature.trustedComment.end());
    if (crypto_sign_verify_detached(signature.globalSignature.data(), global.data(), global.size(),
                                    signer->key.data()) != 0) {
        return "the trusted comment does not match its signature (changed after signing?)";
    }
    return "";
}

}  // namespace vmjob
