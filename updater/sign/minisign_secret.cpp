#include "minisign_secret.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include <sodium.h>

#include "minisign_internal.h"
#include "sodium_ready.h"

namespace {

using namespace minisign_internal;

constexpr std::size_t kSecretKeyBytes = 158;
constexpr std::size_t kSealedOffset = 54;  // after "Ed", KDF, "B2", salt and the two limits

// Bounds on the KDF's limits: four times what minisign writes, so that a
// damaged file cannot ask scrypt for absurd time or memory.
constexpr std::uint64_t kMaxOpsLimit = 4ull * crypto_pwhash_scryptsalsa208sha256_OPSLIMIT_SENSITIVE;
constexpr std::uint64_t kMaxMemLimit = 4ull * crypto_pwhash_scryptsalsa208sha256_MEMLIMIT_SENSITIVE;

std::uint64_t ReadLittleEndian(const unsigned char* bytes)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

// BLAKE2b-256 of "Ed" | key id | secret key.
std::array<unsigned char, 32> Checksum(const unsigned char* keyIdAndKey)
{
    std::array<unsigned char, 32> sum{};
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, sum.size());
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>("Ed"), 2);
    crypto_generichash_update(&state, keyIdAndKey, 72);
    crypto_generichash_final(&state, sum.data(), sum.size());
    return sum;
}

bool IsZero(const unsigned char* bytes, std::size_t length)
{
    return sodium_is_zero(bytes, length) == 1;
}

// The public half that the seed gives must be the one stored beside it.
bool HalvesAgree(const std::array<unsigned char, 64>& key)
{
    unsigned char pk[crypto_sign_PUBLICKEYBYTES];
    unsigned char sk[crypto_sign_SECRETKEYBYTES];
    crypto_sign_seed_keypair(pk, sk, key.data());
    const bool agree = sodium_memcmp(sk, key.data(), sizeof sk) == 0;
    sodium_memzero(sk, sizeof sk);
    return agree;
}

bool Sign(const MINISIGN_SECRET_KEY& key, const unsigned char* message, std::size_t length, unsigned char* signature)
{
    return crypto_sign_detached(signature, nullptr, message, length, key.key.data()) == 0;
}

// Writes the four lines around a data signature already made.
bool Assemble(const MINISIGN_SECRET_KEY& key, bool prehashed, const unsigned char* signature,
              std::string_view trustedComment, std::string_view untrustedComment, std::string& text)
{
    if (!CanWriteComment(trustedComment) || !CanWriteComment(untrustedComment))
        return false;
    unsigned char line[74];
    line[0] = 'E';
    line[1] = prehashed ? 'D' : 'd';
    std::copy(key.keyId.begin(), key.keyId.end(), line + 2);
    std::copy(signature, signature + 64, line + 10);
    std::vector<unsigned char> covered(signature, signature + 64);
    covered.insert(covered.end(), trustedComment.begin(), trustedComment.end());
    unsigned char global[64];
    if (!Sign(key, covered.data(), covered.size(), global))
        return false;
    text = std::string(kUntrusted) + std::string(untrustedComment) + "\n" + Encode(line, sizeof line) + "\n" +
           std::string(kTrusted) + std::string(trustedComment) + "\n" + Encode(global, sizeof global) + "\n";
    return true;
}

bool SignHash(const MINISIGN_SECRET_KEY& key, const PREHASH& hash, std::string_view trustedComment,
              std::string_view untrustedComment, std::string& text)
{
    unsigned char signature[64];
    return Sign(key, hash.data(), hash.size(), signature) &&
           Assemble(key, true, signature, trustedComment, untrustedComment, text);
}

} // namespace

MINISIGN_SECRET_KEY::~MINISIGN_SECRET_KEY()
{
    sodium_memzero(key.data(), key.size());
}

bool ParseMinisignSecretKeyFile(std::string_view text, MINISIGN_SECRET_KEY_FILE& file)
{
    std::string_view lines[2];
    std::string comment;
    unsigned char bytes[kSecretKeyBytes];
    if (!SplitLines(text, lines, 2) || !CommentText(lines[0], kUntrusted, comment) ||
        !DecodeExact(lines[1], bytes, sizeof bytes))
        return false;
    const bool scrypt = bytes[2] == 'S' && bytes[3] == 'c';
    const bool plain = bytes[2] == 0 && bytes[3] == 0;
    if (bytes[0] != 'E' || bytes[1] != 'd' || !(scrypt || plain) || bytes[4] != 'B' || bytes[5] != '2')
        return false;
    MINISIGN_SECRET_KEY_FILE parsed;
    parsed.bEncrypted = scrypt;
    std::copy(bytes + 6, bytes + 38, parsed.salt.begin());
    parsed.nOpsLimit = ReadLittleEndian(bytes + 38);
    parsed.nMemLimit = ReadLittleEndian(bytes + 46);
    std::copy(bytes + kSealedOffset, bytes + kSecretKeyBytes, parsed.sealed.begin());
    sodium_memzero(bytes, sizeof bytes);
    file = parsed;
    sodium_memzero(parsed.sealed.data(), parsed.sealed.size());
    return true;
}

MINISIGN_KEY_RESULT OpenMinisignSecretKey(const MINISIGN_SECRET_KEY_FILE& file, std::string_view password,
                                          MINISIGN_SECRET_KEY& key)
{
    if (!SodiumReady())
        return MINISIGN_KEY_RESULT::KdfFailed;
    std::array<unsigned char, 104> plain = file.sealed;
    if (file.bEncrypted) {
        if (file.nOpsLimit > kMaxOpsLimit || file.nMemLimit > kMaxMemLimit)
            return MINISIGN_KEY_RESULT::KdfFailed;
        std::array<unsigned char, 104> stream{};
        if (crypto_pwhash_scryptsalsa208sha256(stream.data(), stream.size(), password.data(), password.size(),
                                               file.salt.data(), file.nOpsLimit,
                                               static_cast<std::size_t>(file.nMemLimit)) != 0)
            return MINISIGN_KEY_RESULT::KdfFailed;
        for (std::size_t i = 0; i < plain.size(); ++i)
            plain[i] ^= stream[i];
        sodium_memzero(stream.data(), stream.size());
    }
    const std::array<unsigned char, 32> sum = Checksum(plain.data());
    const bool sumMatches = sodium_memcmp(sum.data(), plain.data() + 72, sum.size()) == 0;
    MINISIGN_KEY_RESULT result = MINISIGN_KEY_RESULT::Ok;
    if (!sumMatches && (file.bEncrypted || !IsZero(plain.data() + 72, 32)))
        result = file.bEncrypted ? MINISIGN_KEY_RESULT::WrongPassword : MINISIGN_KEY_RESULT::BadKey;
    if (result == MINISIGN_KEY_RESULT::Ok) {
        std::copy(plain.begin(), plain.begin() + 8, key.keyId.begin());
        std::copy(plain.begin() + 8, plain.begin() + 72, key.key.begin());
        if (!HalvesAgree(key.key)) {
            sodium_memzero(key.key.data(), key.key.size());
            result = MINISIGN_KEY_RESULT::BadKey;
        }
    }
    sodium_memzero(plain.data(), plain.size());
    return result;
}

MINISIGN_PUBLIC_KEY MinisignPublicKeyOf(const MINISIGN_SECRET_KEY& key)
{
    MINISIGN_PUBLIC_KEY pub;
    pub.keyId = key.keyId;
    std::copy(key.key.begin() + 32, key.key.end(), pub.key.begin());
    return pub;
}

std::string MinisignPublicKeyLine(const MINISIGN_PUBLIC_KEY& key)
{
    unsigned char bytes[42] = {'E', 'd'};
    std::copy(key.keyId.begin(), key.keyId.end(), bytes + 2);
    std::copy(key.key.begin(), key.key.end(), bytes + 10);
    return Encode(bytes, sizeof bytes);
}

bool SignMinisign(const MINISIGN_SECRET_KEY& key, const unsigned char* data, std::size_t length, bool prehashed,
                  std::string_view trustedComment, std::string_view untrustedComment, std::string& text)
{
    if (!SodiumReady())
        return false;
    if (prehashed)
        return SignHash(key, PrehashBuffer(data, length), trustedComment, untrustedComment, text);
    unsigned char signature[64];
    return Sign(key, data, length, signature) &&
           Assemble(key, false, signature, trustedComment, untrustedComment, text);
}

bool SignMinisignFile(const MINISIGN_SECRET_KEY& key, const std::string& path, std::string_view trustedComment,
                      std::string_view untrustedComment, std::string& text)
{
    if (!SodiumReady())
        return false;
    PREHASH hash;
    return PrehashFile(path, hash) && SignHash(key, hash, trustedComment, untrustedComment, text);
}
