#include "minisign.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sodium.h>

#include "minisign_internal.h"
#include "sodium_ready.h"

namespace minisign_internal {

namespace {

// The base64 length of n bytes, with padding.
constexpr std::size_t Base64Length(std::size_t bytes)
{
    return (bytes + 2) / 3 * 4;
}

bool IsBase64Letter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

// libsodium's decoder takes some bytes above 0x7F for letters; only the
// alphabet itself, then exactly the padding that `bytes` needs, pass here.
bool IsBase64Text(std::string_view text, std::size_t bytes)
{
    const std::size_t padding = (3 - bytes % 3) % 3;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool pad = i >= text.size() - padding;
        if (pad ? text[i] != '=' : !IsBase64Letter(text[i]))
            return false;
    }
    return true;
}

} // namespace

bool DecodeExact(std::string_view text, unsigned char* out, std::size_t bytes)
{
    if (text.size() != Base64Length(bytes) || !IsBase64Text(text, bytes))
        return false;
    std::size_t decoded = 0;
    const char* end = nullptr;
    if (sodium_base642bin(out, bytes, text.data(), text.size(), nullptr, &decoded, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0)
        return false;
    return decoded == bytes && end == text.data() + text.size();
}

std::string Encode(const unsigned char* data, std::size_t bytes)
{
    std::string text(sodium_base64_ENCODED_LEN(bytes, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), data, bytes, sodium_base64_VARIANT_ORIGINAL);
    text.resize(Base64Length(bytes));
    return text;
}

bool SplitLines(std::string_view text, std::string_view* lines, std::size_t count)
{
    if (text.size() > kMinisignMaxFile)
        return false;
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    std::size_t found = 0;
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        if (found == count)
            return false;
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.find('\r') != std::string_view::npos || line.find('\0') != std::string_view::npos)
            return false;
        lines[found++] = line;
        if (end == text.size())
            break;
        start = end + 1;
    }
    return found == count;
}

bool CommentText(std::string_view line, std::string_view prefix, std::string& text)
{
    if (line.substr(0, prefix.size()) != prefix || line.size() - prefix.size() > kMinisignMaxComment)
        return false;
    text.assign(line.substr(prefix.size()));
    return true;
}

bool CanWriteComment(std::string_view text)
{
    return text.size() <= kMinisignMaxComment && text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

PREHASH PrehashBuffer(const unsigned char* data, std::size_t length)
{
    PREHASH hash{};
    crypto_generichash(hash.data(), hash.size(), data, length, nullptr, 0);
    return hash;
}

bool PrehashFile(const std::string& path, PREHASH& hash)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, hash.size());
    std::vector<unsigned char> block(1 << 16);
    for (std::size_t got; (got = std::fread(block.data(), 1, block.size(), file)) > 0;)
        crypto_generichash_update(&state, block.data(), got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    if (ok)
        crypto_generichash_final(&state, hash.data(), hash.size());
    return ok;
}

} // namespace minisign_internal

namespace {

using namespace minisign_internal;

constexpr std::size_t kPublicKeyBytes = 42;  // "Ed" | key id | key
constexpr std::size_t kSignatureBytes = 74;  // algorithm | key id | signature

bool VerifyEd25519(const unsigned char* signature, const unsigned char* message, std::size_t length,
                   const MINISIGN_PUBLIC_KEY& key)
{
    return crypto_sign_verify_detached(signature, message, length, key.key.data()) == 0;
}

// Key id and global signature: everything that does not need the data.
MINISIGN_RESULT VerifyHeader(const MINISIGN_PUBLIC_KEY& key, const MINISIGN_SIGNATURE& signature)
{
    if (!SodiumReady())
        return MINISIGN_RESULT::BadSignature;
    if (signature.keyId != key.keyId)
        return MINISIGN_RESULT::OtherKey;
    std::vector<unsigned char> covered(signature.signature.begin(), signature.signature.end());
    covered.insert(covered.end(), signature.strTrustedComment.begin(), signature.strTrustedComment.end());
    if (!VerifyEd25519(signature.globalSignature.data(), covered.data(), covered.size(), key))
        return MINISIGN_RESULT::BadTrustedComment;
    return MINISIGN_RESULT::Ok;
}

MINISIGN_RESULT VerifyPrehash(const MINISIGN_PUBLIC_KEY& key, const MINISIGN_SIGNATURE& signature,
                              const PREHASH& hash)
{
    return VerifyEd25519(signature.signature.data(), hash.data(), hash.size(), key) ? MINISIGN_RESULT::Ok
                                                                                    : MINISIGN_RESULT::BadSignature;
}

// Reads at most `limit` + 1 bytes of a file, so that the caller can tell a
// file beyond the limit.
bool ReadAtMost(const std::string& path, std::size_t limit, std::vector<unsigned char>& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    bytes.clear();
    unsigned char block[65536];
    for (std::size_t got; bytes.size() <= limit && (got = std::fread(block, 1, sizeof block, file)) > 0;)
        bytes.insert(bytes.end(), block, block + std::min(got, limit + 1 - bytes.size()));
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

// The data's own signature, for either form.
MINISIGN_RESULT VerifyData(const MINISIGN_PUBLIC_KEY& key, const MINISIGN_SIGNATURE& signature,
                           const unsigned char* data, std::size_t length)
{
    if (!signature.bPrehashed)
        return VerifyEd25519(signature.signature.data(), data, length, key) ? MINISIGN_RESULT::Ok
                                                                           : MINISIGN_RESULT::BadSignature;
    return VerifyPrehash(key, signature, PrehashBuffer(data, length));
}

} // namespace

bool ParseMinisignPublicKey(std::string_view line, MINISIGN_PUBLIC_KEY& key)
{
    unsigned char bytes[kPublicKeyBytes];
    if (!DecodeExact(line, bytes, sizeof bytes) || bytes[0] != 'E' || bytes[1] != 'd')
        return false;
    std::copy(bytes + 2, bytes + 10, key.keyId.begin());
    std::copy(bytes + 10, bytes + kPublicKeyBytes, key.key.begin());
    return true;
}

bool ParseMinisignPublicKeyFile(std::string_view text, MINISIGN_PUBLIC_KEY& key)
{
    std::string_view lines[2];
    std::string comment;
    return SplitLines(text, lines, 2) && CommentText(lines[0], kUntrusted, comment) &&
           ParseMinisignPublicKey(lines[1], key);
}

bool ParseMinisignSignature(std::string_view text, MINISIGN_SIGNATURE& signature)
{
    std::string_view lines[4];
    if (!SplitLines(text, lines, 4))
        return false;
    MINISIGN_SIGNATURE parsed;
    unsigned char bytes[kSignatureBytes];
    if (!CommentText(lines[0], kUntrusted, parsed.strUntrustedComment) ||
        !DecodeExact(lines[1], bytes, sizeof bytes) ||
        !CommentText(lines[2], kTrusted, parsed.strTrustedComment) ||
        !DecodeExact(lines[3], parsed.globalSignature.data(), parsed.globalSignature.size()))
        return false;
    if (bytes[0] != 'E' || (bytes[1] != 'd' && bytes[1] != 'D'))
        return false;
    parsed.bPrehashed = bytes[1] == 'D';
    std::copy(bytes + 2, bytes + 10, parsed.keyId.begin());
    std::copy(bytes + 10, bytes + kSignatureBytes, parsed.signature.begin());
    signature = std::move(parsed);
    return true;
}

MINISIGN_RESULT ReadMinisignSignature(const std::string& path, MINISIGN_SIGNATURE& signature)
{
    std::vector<unsigned char> bytes;
    if (!ReadAtMost(path, kMinisignMaxFile, bytes))
        return MINISIGN_RESULT::Unreadable;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return ParseMinisignSignature(text, signature) ? MINISIGN_RESULT::Ok : MINISIGN_RESULT::Malformed;
}

MINISIGN_RESULT VerifyMinisign(const MINISIGN_PUBLIC_KEY& key, const MINISIGN_SIGNATURE& signature,
                               const unsigned char* data, std::size_t length)
{
    const MINISIGN_RESULT header = VerifyHeader(key, signature);
    return header == MINISIGN_RESULT::Ok ? VerifyData(key, signature, data, length) : header;
}

MINISIGN_RESULT VerifyMinisignFile(const MINISIGN_PUBLIC_KEY& key, const MINISIGN_SIGNATURE& signature,
                                   const std::string& path)
{
    const MINISIGN_RESULT header = VerifyHeader(key, signature);
    if (header != MINISIGN_RESULT::Ok)
        return header;
    if (!signature.bPrehashed) {
        std::vector<unsigned char> bytes;
        if (!ReadAtMost(path, kMinisignMaxLegacyData, bytes))
            return MINISIGN_RESULT::Unreadable;
        if (bytes.size() > kMinisignMaxLegacyData)
            return MINISIGN_RESULT::TooLarge;
        return VerifyData(key, signature, bytes.data(), bytes.size());
    }
    PREHASH hash;
    if (!PrehashFile(path, hash))
        return MINISIGN_RESULT::Unreadable;
    return VerifyPrehash(key, signature, hash);
}

std::string MinisignKeyIdText(const MINISIGN_KEY_ID& keyId)
{
    std::string text;
    char digits[3];
    for (auto it = keyId.rbegin(); it != keyId.rend(); ++it) {
        std::snprintf(digits, sizeof digits, "%02X", *it);
        text += digits;
    }
    return text;
}

bool FindTrustedCommentField(std::string_view comment, std::string_view name, std::string& value)
{
    int found = 0;
    std::string text;
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(comment.find('\t', start), comment.size());
        const std::string_view field = comment.substr(start, end - start);
        if (field.size() > name.size() && field.substr(0, name.size()) == name && field[name.size()] == ':') {
            if (++found > 1)
                return false;
            text.assign(field.substr(name.size() + 1));
        }
        if (end == comment.size())
            break;
        start = end + 1;
    }
    if (found != 1)
        return false;
    value = std::move(text);
    return true;
}
