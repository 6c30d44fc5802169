// minisign's files as the verifier reads them, with keys and signatures
// made here by libsodium in minisign's layout (the stock tool's own are
// tried by the command line's tests).
#include <gtest/gtest.h>

#include <sodium.h>

#include <string>
#include <vector>

#include "job/minisign.h"

namespace {

std::string base64(const std::vector<std::uint8_t>& bytes) {
    std::string out(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), bytes.data(), bytes.size(), sodium_base64_VARIANT_ORIGINAL);
    out.resize(out.size() - 1);
    return out;
}

struct Signer {
    std::uint8_t id[8];
    std::uint8_t pk[crypto_sign_PUBLICKEYBYTES];
    std::uint8_t sk[crypto_sign_SECRETKEYBYTES];

    explicit Signer(std::uint8_t seed) {
        EXPECT_GE(sodium_init(), 0);
        for (int i = 0; i < 8; ++i) id[i] = static_cast<std::uint8_t>(seed + i);
        crypto_sign_keypair(pk, sk);
    }
    std::string publicKeyFile() const {
        std::vector<std::uint8_t> raw{'E', 'd'};
        raw.insert(raw.end(), id, id + 8);
        raw.insert(raw.end(), pk, pk + sizeof pk);
        return "untrusted comment: minisign public key\n" + base64(raw) + "\n";
    }
    std::string sign(const std::string& message, bool prehashed, const std::string& comment) const {
        std::vector<std::uint8_t> signedBytes(message.begin(), message.end());
        if (prehashed) {
            signedBytes.assign(crypto_generichash_BYTES_MAX, 0);
            crypto_generichash(signedBytes.data(), signedBytes.size(),
                               reinterpret_cast<const std::uint8_t*>(message.data()), message.size(),
                               nullptr, 0);
        }
        std::uint8_t sig[crypto_sign_BYTES];
        crypto_sign_detached(sig, nullptr, signedBytes.data(), signedBytes.size(), sk);
        std::vector<std::uint8_t> raw{'E', static_cast<std::uint8_t>(prehashed ? 'D' : 'd')};
        raw.insert(raw.end(), id, id + 8);
        raw.insert(raw.end(), sig, sig + sizeof sig);
        std::vector<std::uint8_t> global(sig, sig + sizeof sig);
        global.insert(global.end(), comment.begin(), comment.end());
        std::uint8_t globalSig[crypto_sign_BYTES];
        crypto_sign_detached(globalSig, nullptr, global.data(), global.size(), sk);
        return "untrusted comment: signature\n" + base64(raw) + "\ntrusted comment: " + comment +
               "\n" + base64({globalSig, globalSig + sizeof globalSig}) + "\n";
    }
    vmjob::PublicKey key() const {
        std::string error;
        std::optional<vmjob::PublicKey> key = vmjob::parsePublicKey(publicKeyFile(), &error);
        EXPECT_TRUE(key) << error;
        return key.value_or(vmjob::PublicKey{});
    }
};

std::string verify(const std::string& message, const std::string& sigText,
                   const std::vector<vmjob::PublicKey>& keys) {
    std::string error;
    std::optional<vmjob::Signature> sig = vmjob::parseSignature(sigText, &error);
    if (!sig) return "unreadable: " + error;
    return vmjob::verifySignature({reinterpret_cast<const std::uint8_t*>(message.data()), message.size()},
                                  *sig, keys);
}

const std::string kJob = "[job]\nname = \"x\"\n";

}  // namespace

TEST(Minisign, BothAlgorithmsHoldForTheSignedBytesAndTheRightKey) {
    const Signer signer(1), other(40);
    for (bool prehashed : {false, true}) {
        const std::string sig = signer.sign(kJob, prehashed, "timestamp:1 file:job.toml");
        EXPECT_EQ(verify(kJob, sig, {other.key(), signer.key()}), "") << prehashed;
        std::string error;
        EXPECT_EQ(vmjob::parseSignature(sig, &error)->trustedComment, "timestamp:1 file:job.toml");
        EXPECT_NE(verify(kJob + " ", sig, {signer.key()}).find("does not match the file"), std::string::npos);
        EXPECT_NE(verify(kJob, sig, {other.key()}).find("not trusted"), std::string::npos);
    }
}

TEST(Minisign, AnotherKeyWithTheSameIdIsRefused) {
    const Signer signer(1), impostor(1);
    EXPECT_NE(verify(kJob, impostor.sign(kJob, true, "c"), {signer.key()}), "");
}

TEST(Minisign, AnEditedTrustedCommentIsRefused) {
    const Signer signer(7);
    std::string sig = signer.sign(kJob, true, "release 3.1");
    sig.replace(sig.find("release 3.1"), 11, "release 9.9");
    EXPECT_NE(verify(kJob, sig, {signer.key()}).find("trusted comment"), std::string::npos);
}

TEST(Minisign, MalformedFilesAreRefusedWithAReason) {
    const Signer signer(3);
    const std::string sig = signer.sign(kJob, false, "c");
    const std::string cases[] = {
        "",
        sig.substr(0, sig.size() / 2),                          // truncated
        sig.substr(sig.find('\n') + 1),                         // no untrusted comment
        "untrusted comment: x\nRWQ=\ntrusted comment: c\nAAAA\n",  // short
        [&] { std::string s = sig; s[s.find('\n') + 3] = '*'; return s; }(),
    };
    for (const std::string& text : cases) {
        std::string error;
        EXPECT_FALSE(vmjob::parseSignature(text, &error)) << text;
        EXPECT_NE(error.find("not a minisign signature"), std::string::npos);
    }
    std::string error;
    EXPECT_FALSE(vmjob::parsePublicKey(sig, &error));
    std::string key = signer.publicKeyFile();
    key.insert(key.rfind('\n'), "AA");
    EXPECT_FALSE(vmjob::parsePublicKey(key, &error)) << "bytes beyond the key";
}

TEST(Minisign, KeyIdReadsAsMinisignPrintsIt) {
    vmjob::KeyId id{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(vmjob::keyIdText(id), "EFCDAB8967452301");
    // As a number: no leading zeros (minisign -G printed "16CB42536EC5D57").
    vmjob::KeyId small{0x57, 0x5D, 0xEC, 0x36, 0x25, 0xB4, 0x6C, 0x01};
    EXPECT_EQ(vmjob::keyIdText(small), "16CB42536EC5D57");
}
