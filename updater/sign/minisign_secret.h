// Signing in minisign's format, for the publisher: the secret key file as
// minisign keeps it, and signature files that minisign verifies.
//
// Secret key file: "untrusted comment: <text>" LF, then base64 of 158 bytes:
//   "Ed" | KDF: "Sc" (scrypt) or two zero bytes (none) | "B2" |
//   salt (32) | opslimit (8, little-endian) | memlimit (8, little-endian) |
//   key id (8) | Ed25519 secret key (64) | checksum (32)
// When the KDF is scrypt, the last 104 bytes are XORed with that many bytes
// of scrypt (salsa20/8, SHA-256) of the password under the salt and limits.
// The checksum is BLAKE2b-256 of "Ed" | key id | secret key; minisign leaves
// it zero in keys it writes unencrypted ("-W").
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "minisign.h"

struct MINISIGN_SECRET_KEY_FILE {
    bool bEncrypted = false;
    std::array<unsigned char, 32> salt{};
    std::uint64_t nOpsLimit = 0;
    std::uint64_t nMemLimit = 0;
    std::array<unsigned char, 104> sealed{};  // key id | secret key | checksum, encrypted or not
};

// An opened key. Wiped on destruction.
struct MINISIGN_SECRET_KEY {
    MINISIGN_SECRET_KEY() = default;
    MINISIGN_SECRET_KEY(const MINISIGN_SECRET_KEY&) = delete;
    MINISIGN_SECRET_KEY& operator=(const MINISIGN_SECRET_KEY&) = delete;
    ~MINISIGN_SECRET_KEY();

    MINISIGN_KEY_ID keyId{};
    std::array<unsigned char, 64> key{};  // seed | public key, as libsodium holds it
};

enum class MINISIGN_KEY_RESULT {
    Ok,
    WrongPassword,  // the checksum does not match after decryption
    BadKey,         // the key's halves do not belong together, or a checksum is wrong
    KdfFailed,      // scrypt could not run (memory) or its limits are out of bounds
};

// Strict like the other parsers; false when the text is not a secret key file.
bool ParseMinisignSecretKeyFile(std::string_view text, MINISIGN_SECRET_KEY_FILE& file);

// Decrypts (when encrypted) and checks the key. The password is ignored for
// an unencrypted key.
MINISIGN_KEY_RESULT OpenMinisignSecretKey(const MINISIGN_SECRET_KEY_FILE& file, std::string_view password,
                                          MINISIGN_SECRET_KEY& key);

MINISIGN_PUBLIC_KEY MinisignPublicKeyOf(const MINISIGN_SECRET_KEY& key);

// The 56-character base64 line of a public key.
std::string MinisignPublicKeyLine(const MINISIGN_PUBLIC_KEY& key);

// A whole signature file over data in memory, prehashed ("ED") or legacy
// ("Ed"). False when a comment holds a line break or a NUL or is longer than
// kMinisignMaxComment.
bool SignMinisign(const MINISIGN_SECRET_KEY& key, const unsigned char* data, std::size_t length, bool prehashed,
                  std::string_view trustedComment, std::string_view untrustedComment, std::string& text);

// The same, prehashed, over a file streamed from disk (UTF-8 path); false
// also when the file cannot be read.
bool SignMinisignFile(const MINISIGN_SECRET_KEY& key, const std::string& path, std::string_view trustedComment,
                      std::string_view untrustedComment, std::string& text);
