// Signatures in minisign's formats: Ed25519 public keys and ".minisig"
// signature files, verified with libsodium. Everything read here may come
// from the network, so every parser is strict: exact lengths, canonical
// base64, known algorithm bytes, exact line structure, bounded sizes.
//
// Public key, the base64 line (56 characters) of 42 bytes:
//   "Ed" | key id (8) | Ed25519 public key (32)
// and its file form: "untrusted comment: <text>" LF, that line, LF.
//
// Signature file, four lines, each ended by LF (a CR before the LF is
// dropped; the last LF may be missing):
//   "untrusted comment: <text>"
//   base64 of 74 bytes: algorithm (2) | key id (8) | signature (64)
//   "trusted comment: <text>"
//   base64 of 64 bytes: the global signature
// The algorithm is "Ed" (the signature covers the data itself) or "ED" (it
// covers the BLAKE2b-512 hash of the data). The global signature covers the
// signature (64 bytes) followed by the trusted comment's text, so the
// trusted comment cannot be changed without the secret key; the untrusted
// comment can.
//
// Portable: libsodium and standard C file reading. Any thread.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

using MINISIGN_KEY_ID = std::array<unsigned char, 8>;

struct MINISIGN_PUBLIC_KEY {
    MINISIGN_KEY_ID keyId{};
    std::array<unsigned char, 32> key{};
};

struct MINISIGN_SIGNATURE {
    bool bPrehashed = false;  // "ED": the signature covers BLAKE2b-512 of the data
    MINISIGN_KEY_ID keyId{};
    std::array<unsigned char, 64> signature{};
    std::string strUntrustedComment;  // the text after "untrusted comment: "
    std::string strTrustedComment;    // the text after "trusted comment: "
    std::array<unsigned char, 64> globalSignature{};
};

// Limits of what is read: a signature file of at most kMinisignMaxFile
// bytes, comments of at most kMinisignMaxComment bytes, and, for the legacy
// "Ed" form (which needs the whole data in memory), data of at most
// kMinisignMaxLegacyData bytes.
constexpr std::size_t kMinisignMaxFile = 16384;
constexpr std::size_t kMinisignMaxComment = 8192;
constexpr std::size_t kMinisignMaxLegacyData = 64u << 20;

enum class MINISIGN_RESULT {
    Ok,
    Unreadable,         // the data or signature file cannot be read
    Malformed,          // a key or signature file not in the format
    TooLarge,           // legacy signature over data beyond the limit
    OtherKey,           // signed with a key of another id
    BadSignature,       // the signature does not cover this data
    BadTrustedComment,  // the global signature does not cover the comment
};

// The base64 line alone, exactly 56 characters (no white space).
bool ParseMinisignPublicKey(std::string_view line, MINISIGN_PUBLIC_KEY& key);

// A public key file: the untrusted comment line and the base64 line.
bool ParseMinisignPublicKeyFile(std::string_view text, MINISIGN_PUBLIC_KEY& key);

bool ParseMinisignSignature(std::string_view text, MINISIGN_SIGNATURE& signature);

// Reads and parses a signature file: Unreadable, Malformed or Ok.
MINISIGN_RESULT ReadMinisignSignature(const std::string& path, MINISIGN_SIGNATURE& signature);

// Checks, in this order: the key id, the global signature over the trusted
// comment, the signature over the data.
MINISIGN_RESULT VerifyMinisign(const MINISIGN_PUBLIC_KEY& key, const MINISIGN_SIGNATURE& signature,
                               const unsigned char* data, std::size_t length);

// The same over a file (UTF-8 path), streamed for the prehashed form.
MINISIGN_RESULT VerifyMinisignFile(const MINISIGN_PUBLIC_KEY& key, const MINISIGN_SIGNATURE& signature,
                                   const std::string& path);

// The key id as minisign prints it: 16 upper-case hex digits, last byte first.
std::string MinisignKeyIdText(const MINISIGN_KEY_ID& keyId);

// Trusted comments as tab-separated "name:value" fields, as minisign writes
// them ("timestamp:...<TAB>file:..."). Gives the value of the one field
// called `name`; false when there is none or more than one.
bool FindTrustedCommentField(std::string_view comment, std::string_view name, std::string& value);
