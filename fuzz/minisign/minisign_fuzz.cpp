// Arbitrary bytes as a signature file, a public key (line and file) and a
// secret key file, as they may arrive from the network or a damaged disk.
// Nothing may crash or leak; whatever parses keeps the format's limits, and
// a parsed signature is checked against a fixed key and data without any
// result but a refusal (no input can be signed with that key's secret).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "minisign.h"
#include "minisign_secret.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// A comment line's text as the parsers must leave it: one line, bounded.
void CheckComment(const std::string& text)
{
    Check(text.size() <= kMinisignMaxComment);
    Check(text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
}

// The public key of the test fixtures, whose secret is published: an input
// could carry a genuine signature of it, which must then verify.
const char kTestKey[] = "RWQ6G9ExSAKnSedsBMR5DnfqSap9dh/482Ew39zg3fRaSl82ZQAtDKxS";
const char kData[] = "A small file signed for the tests.\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static MINISIGN_PUBLIC_KEY testKey;
    static const bool keyParsed = ParseMinisignPublicKey(kTestKey, testKey);
    Check(keyParsed);

    MINISIGN_SIGNATURE signature;
    if (ParseMinisignSignature(text, signature)) {
        CheckComment(signature.strUntrustedComment);
        CheckComment(signature.strTrustedComment);
        const MINISIGN_RESULT result = VerifyMinisign(testKey, signature,
            reinterpret_cast<const unsigned char*>(kData), sizeof kData - 1);
        Check(result != MINISIGN_RESULT::Unreadable && result != MINISIGN_RESULT::Malformed &&
              result != MINISIGN_RESULT::TooLarge);
        std::string value;
        if (FindTrustedCommentField(signature.strTrustedComment, "version", value))
            Check(value.size() < signature.strTrustedComment.size());
    }

    MINISIGN_PUBLIC_KEY key;
    if (ParseMinisignPublicKey(text, key))
        Check(MinisignPublicKeyLine(key) == text);
    if (ParseMinisignPublicKeyFile(text, key)) {
        MINISIGN_PUBLIC_KEY again;
        Check(ParseMinisignPublicKey(MinisignPublicKeyLine(key), again) && again.key == key.key);
    }

    // Parsed only: opening an encrypted key runs scrypt with the limits the
    // input names, which is bounded but far too slow for a fuzzer.
    MINISIGN_SECRET_KEY_FILE secret;
    if (ParseMinisignSecretKeyFile(text, secret) && !secret.bEncrypted) {
        MINISIGN_SECRET_KEY opened;
        OpenMinisignSecretKey(secret, "", opened);
    }
    return 0;
}
