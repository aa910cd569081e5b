// The minisign formats against files made by the real minisign tool (the
// fixtures), and against hostile variations of them: every parser refuses
// what is not exactly in the format, every check names the part that fails.
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sodium.h>

#include "minisign.h"
#include "minisign_secret.h"

namespace {

std::string Fixture(const std::string& name)
{
    std::ifstream in(std::string(SIGN_FIXTURES) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string FixturePath(const std::string& name)
{
    return std::string(SIGN_FIXTURES) + "/" + name;
}

const unsigned char* Bytes(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

// Line n (from 0) of a text, without its LF.
std::string Line(const std::string& text, int n)
{
    std::istringstream in(text);
    std::string line;
    for (int i = 0; i <= n; ++i)
        std::getline(in, line);
    return line;
}

std::string ReplaceLine(const std::string& text, int n, const std::string& replacement)
{
    std::istringstream in(text);
    std::string line, out;
    for (int i = 0; std::getline(in, line); ++i)
        out += (i == n ? replacement : line) + "\n";
    return out;
}

MINISIGN_PUBLIC_KEY TestKey()
{
    MINISIGN_PUBLIC_KEY key;
    EXPECT_TRUE(ParseMinisignPublicKeyFile(Fixture("test-only.pub"), key));
    return key;
}

// The base64 line of `bytes` after `edit` changed them.
std::string Reencode(const std::string& line, std::size_t length, void (*edit)(unsigned char*))
{
    std::vector<unsigned char> bytes(length);
    std::size_t decoded = 0;
    sodium_base642bin(bytes.data(), length, line.data(), line.size(), nullptr, &decoded, nullptr,
                      sodium_base64_VARIANT_ORIGINAL);
    edit(bytes.data());
    std::string text(sodium_base64_ENCODED_LEN(length, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes.data(), length, sodium_base64_VARIANT_ORIGINAL);
    text.resize(std::strlen(text.c_str()));
    return text;
}

TEST(MinisignKey, ParsesTheLineAndTheFileOfTheTool)
{
    const std::string file = Fixture("test-only.pub");
    MINISIGN_PUBLIC_KEY fromFile, fromLine;
    ASSERT_TRUE(ParseMinisignPublicKeyFile(file, fromFile));
    ASSERT_TRUE(ParseMinisignPublicKey(Line(file, 1), fromLine));
    EXPECT_EQ(fromFile.key, fromLine.key);
    // The tool names the key by its id in the comment.
    EXPECT_EQ("untrusted comment: minisign public key " + MinisignKeyIdText(fromFile.keyId), Line(file, 0));
    EXPECT_EQ(MinisignPublicKeyLine(fromLine), Line(file, 1));
}

TEST(MinisignKey, RefusesAnythingElse)
{
    const std::string line = Line(Fixture("test-only.pub"), 1);
    const std::string notEd = Reencode(line, 42, [](unsigned char* b) { b[1] = 'D'; });
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"one character short", line.substr(1)},
        {"one character more", line + "A"},
        {"trailing newline", line + "\n"},
        {"leading space", " " + line.substr(1)},
        {"not base64", line.substr(0, 20) + "*" + line.substr(21)},
        // libsodium's own decoder takes these for letters.
        {"bytes above 0x7F", line.substr(0, 20) + "\xb5\x91" + line.substr(22)},
        {"url-safe alphabet", std::string(line).replace(5, 1, "_")},
        {"algorithm ED", notEd},
        {"the file form", Fixture("test-only.pub")},
    };
    for (const auto& c : cases) {
        MINISIGN_PUBLIC_KEY key;
        EXPECT_FALSE(ParseMinisignPublicKey(c.text, key)) << c.what;
    }
    MINISIGN_PUBLIC_KEY key;
    EXPECT_FALSE(ParseMinisignPublicKeyFile(line + "\n", key));
    EXPECT_FALSE(ParseMinisignPublicKeyFile("comment: x\n" + line + "\n", key));
    EXPECT_FALSE(ParseMinisignPublicKeyFile(Fixture("test-only.pub") + "\n", key));
}

TEST(MinisignSignature, TheToolsSignaturesVerify)
{
    const MINISIGN_PUBLIC_KEY key = TestKey();
    const std::string data = Fixture("data.txt");
    for (const char* name : {"data.txt.prehashed.minisig", "data.txt.legacy.minisig"}) {
        MINISIGN_SIGNATURE signature;
        ASSERT_TRUE(ParseMinisignSignature(Fixture(name), signature)) << name;
        EXPECT_EQ(signature.bPrehashed, std::string(name).find("prehashed") != std::string::npos);
        EXPECT_EQ(VerifyMinisign(key, signature, Bytes(data), data.size()), MINISIGN_RESULT::Ok) << name;
        EXPECT_EQ(VerifyMinisignFile(key, signature, FixturePath("data.txt")), MINISIGN_RESULT::Ok) << name;
        std::string version;
        EXPECT_TRUE(FindTrustedCommentField(signature.strTrustedComment, "version", version));
        EXPECT_EQ(version, "2");
    }
    MINISIGN_SIGNATURE signature;
    ASSERT_EQ(ReadMinisignSignature(FixturePath("data.txt.prehashed.minisig"), signature), MINISIGN_RESULT::Ok);
    EXPECT_EQ(signature.strTrustedComment, "timestamp:1700000000\tfile:data.txt\tversion:2");
    EXPECT_EQ(signature.strUntrustedComment, "signature from minisign secret key");
    EXPECT_EQ(ReadMinisignSignature(FixturePath("missing.minisig"), signature), MINISIGN_RESULT::Unreadable);
}

// Line endings written on another system, and a missing final LF, change
// nothing; the untrusted comment is not covered by any signature.
TEST(MinisignSignature, CrLfAndUntrustedCommentAreHarmless)
{
    const MINISIGN_PUBLIC_KEY key = TestKey();
    const std::string data = Fixture("data.txt");
    const std::string text = Fixture("data.txt.prehashed.minisig");
    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& variant :
         {crlf, text.substr(0, text.size() - 1), ReplaceLine(text, 0, "untrusted comment: anything at all")}) {
        MINISIGN_SIGNATURE signature;
        ASSERT_TRUE(ParseMinisignSignature(variant, signature));
        EXPECT_EQ(VerifyMinisign(key, signature, Bytes(data), data.size()), MINISIGN_RESULT::Ok);
    }
}

TEST(MinisignSignature, MalformedFilesAreRefused)
{
    const std::string good = Fixture("data.txt.prehashed.minisig");
    const std::string sig = Line(good, 1), global = Line(good, 3);
    // The last base64 character of the 74 bytes carries two unused bits;
    // setting them gives a non-canonical text of the same bytes.
    std::string loose = sig;
    loose[98] = static_cast<char>(loose[98] + 1);
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"three lines", good.substr(0, good.rfind('\n', good.size() - 2) + 1)},
        {"five lines", good + "extra\n"},
        {"blank line after", good + "\n"},
        {"blank line before", "\n" + good},
        {"no untrusted prefix", ReplaceLine(good, 0, "signature from minisign secret key")},
        {"trusted prefix misspelt", ReplaceLine(good, 2, "trusted_comment: version:2")},
        {"trusted line in first place", ReplaceLine(good, 0, "trusted comment: x")},
        {"signature line cut", ReplaceLine(good, 1, sig.substr(0, 96))},
        {"signature line longer", ReplaceLine(good, 1, sig + "AAAA")},
        {"signature not base64", ReplaceLine(good, 1, "#" + sig.substr(1))},
        {"signature unpadded", ReplaceLine(good, 1, sig.substr(0, 99) + "A")},
        {"signature non-canonical", ReplaceLine(good, 1, loose)},
        {"byte above 0x7F", ReplaceLine(good, 1, sig.substr(0, 10) + "\xb5" + sig.substr(11))},
        {"space in base64", ReplaceLine(good, 1, sig.substr(0, 50) + " " + sig.substr(51))},
        {"global signature cut", ReplaceLine(good, 3, global.substr(0, 84))},
        {"global signature swapped with signature", ReplaceLine(ReplaceLine(good, 1, global), 3, sig)},
        {"algorithm Ex", ReplaceLine(good, 1, Reencode(sig, 74, [](unsigned char* b) { b[1] = 'x'; }))},
        {"algorithm ed", ReplaceLine(good, 1, Reencode(sig, 74, [](unsigned char* b) { b[0] = 'e'; }))},
        {"NUL in a comment", ReplaceLine(good, 2, std::string("trusted comment: a\0b", 20))},
        {"lone CR in a comment", ReplaceLine(good, 2, "trusted comment: a\rb")},
        {"comment beyond the limit", ReplaceLine(good, 0, "untrusted comment: " + std::string(kMinisignMaxComment + 1, 'x'))},
        {"file beyond the limit", good + std::string(kMinisignMaxFile, '\n')},
    };
    for (const auto& c : cases) {
        MINISIGN_SIGNATURE signature;
        EXPECT_FALSE(ParseMinisignSignature(c.text, signature)) << c.what;
    }
}

TEST(MinisignSignature, EachForgeryIsNamed)
{
    const MINISIGN_PUBLIC_KEY key = TestKey();
    MINISIGN_PUBLIC_KEY other;
    ASSERT_TRUE(ParseMinisignPublicKeyFile(Fixture("other-test-only.pub"), other));
    MINISIGN_PUBLIC_KEY sameIdOtherKey = other;
    sameIdOtherKey.keyId = key.keyId;
    const std::string data = Fixture("data.txt");
    const std::string good = Fixture("data.txt.prehashed.minisig");
    const std::string sig = Line(good, 1);
    const struct {
        const char* what;
        MINISIGN_PUBLIC_KEY key;
        std::string signature;
        std::string data;
        MINISIGN_RESULT expected;
    } cases[] = {
        {"genuine", key, good, data, MINISIGN_RESULT::Ok},
        {"another key", other, good, data, MINISIGN_RESULT::OtherKey},
        {"another key under the same id", sameIdOtherKey, good, data, MINISIGN_RESULT::BadTrustedComment},
        {"trusted comment changed", key, ReplaceLine(good, 2, "trusted comment: timestamp:1700000000\tfile:data.txt\tversion:3"), data,
         MINISIGN_RESULT::BadTrustedComment},
        {"data changed", key, good, data + " ", MINISIGN_RESULT::BadSignature},
        {"data empty", key, good, "", MINISIGN_RESULT::BadSignature},
        {"signature bit flipped", key, ReplaceLine(good, 1, Reencode(sig, 74, [](unsigned char* b) { b[40] ^= 1; })),
         data, MINISIGN_RESULT::BadTrustedComment},
        // The global signature covers the signature bytes but not the
        // algorithm: a prehashed signature read as legacy fails on the data.
        {"read as legacy", key, ReplaceLine(good, 1, Reencode(sig, 74, [](unsigned char* b) { b[1] = 'd'; })), data,
         MINISIGN_RESULT::BadSignature},
    };
    for (const auto& c : cases) {
        MINISIGN_SIGNATURE signature;
        ASSERT_TRUE(ParseMinisignSignature(c.signature, signature)) << c.what;
        EXPECT_EQ(VerifyMinisign(c.key, signature, Bytes(c.data), c.data.size()), c.expected) << c.what;
    }
}

TEST(MinisignSignature, TrustedCommentFields)
{
    const struct {
        const char* comment;
        bool found;
        const char* value;
    } cases[] = {
        {"version:2", true, "2"},
        {"timestamp:1\tfile:a\tversion:2.1 beta", true, "2.1 beta"},
        {"version:", true, ""},
        {"version:2\tversion:2", false, ""},
        {"versions:2", false, ""},
        {"xversion:2", false, ""},
        {"version 2", false, ""},
        {"", false, ""},
        {"file:version:2", false, ""},
    };
    for (const auto& c : cases) {
        std::string value = "unchanged";
        EXPECT_EQ(FindTrustedCommentField(c.comment, "version", value), c.found) << c.comment;
        EXPECT_EQ(value, c.found ? c.value : "unchanged") << c.comment;
    }
}

MINISIGN_SECRET_KEY_FILE TestSecretKeyFile()
{
    MINISIGN_SECRET_KEY_FILE file;
    EXPECT_TRUE(ParseMinisignSecretKeyFile(Fixture("test-only-secret.key"), file));
    return file;
}

TEST(MinisignSecretKey, SignaturesOfBothFormsVerify)
{
    const MINISIGN_SECRET_KEY_FILE file = TestSecretKeyFile();
    EXPECT_FALSE(file.bEncrypted);
    MINISIGN_SECRET_KEY key;
    ASSERT_EQ(OpenMinisignSecretKey(file, "", key), MINISIGN_KEY_RESULT::Ok);
    const MINISIGN_PUBLIC_KEY pub = MinisignPublicKeyOf(key);
    EXPECT_EQ(MinisignPublicKeyLine(pub), Line(Fixture("test-only.pub"), 1));

    const std::string data = "the data";
    for (bool prehashed : {true, false}) {
        std::string text;
        ASSERT_TRUE(SignMinisign(key, Bytes(data), data.size(), prehashed, "version:7", "comment", text));
        MINISIGN_SIGNATURE signature;
        ASSERT_TRUE(ParseMinisignSignature(text, signature));
        EXPECT_EQ(signature.bPrehashed, prehashed);
        EXPECT_EQ(signature.strTrustedComment, "version:7");
        EXPECT_EQ(VerifyMinisign(pub, signature, Bytes(data), data.size()), MINISIGN_RESULT::Ok);
    }
    std::string text;
    ASSERT_TRUE(SignMinisignFile(key, FixturePath("data.txt"), "version:2", "c", text));
    MINISIGN_SIGNATURE signature;
    ASSERT_TRUE(ParseMinisignSignature(text, signature));
    EXPECT_EQ(VerifyMinisignFile(pub, signature, FixturePath("data.txt")), MINISIGN_RESULT::Ok);
    EXPECT_FALSE(SignMinisignFile(key, FixturePath("missing"), "version:2", "c", text));
    for (const char* comment : {"a\nb", "a\rb", "trailing\n"})
        EXPECT_FALSE(SignMinisign(key, Bytes(data), data.size(), true, comment, "c", text)) << comment;
    EXPECT_FALSE(SignMinisign(key, Bytes(data), data.size(), true, "ok", "two\nlines", text));
}

// An encrypted key made here with the cheapest scrypt limits, in the layout
// minisign writes with its own (much dearer) limits.
std::string EncryptedKeyText(const MINISIGN_SECRET_KEY_FILE& plain, const std::string& password)
{
    unsigned char bytes[158] = {'E', 'd', 'S', 'c', 'B', '2'};
    for (int i = 0; i < 32; ++i)
        bytes[6 + i] = static_cast<unsigned char>(i * 7 + 1);
    const std::uint64_t ops = crypto_pwhash_scryptsalsa208sha256_OPSLIMIT_MIN;
    const std::uint64_t mem = crypto_pwhash_scryptsalsa208sha256_MEMLIMIT_MIN;
    for (int i = 0; i < 8; ++i) {
        bytes[38 + i] = static_cast<unsigned char>(ops >> (8 * i));
        bytes[46 + i] = static_cast<unsigned char>(mem >> (8 * i));
    }
    unsigned char sealed[104];
    std::memcpy(sealed, plain.sealed.data(), 104);
    // The checksum the tool writes into encrypted keys.
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, 32);
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>("Ed"), 2);
    crypto_generichash_update(&state, sealed, 72);
    crypto_generichash_final(&state, sealed + 72, 32);
    unsigned char stream[104];
    EXPECT_EQ(crypto_pwhash_scryptsalsa208sha256(stream, sizeof stream, password.data(), password.size(), bytes + 6,
                                                 ops, mem),
              0);
    for (int i = 0; i < 104; ++i)
        bytes[54 + i] = sealed[i] ^ stream[i];
    std::string line(sodium_base64_ENCODED_LEN(158, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(line.data(), line.size(), bytes, sizeof bytes, sodium_base64_VARIANT_ORIGINAL);
    line.resize(std::strlen(line.c_str()));
    return "untrusted comment: minisign encrypted secret key\n" + line + "\n";
}

TEST(MinisignSecretKey, EncryptedKeyNeedsItsPassword)
{
    ASSERT_GE(sodium_init(), 0);
    MINISIGN_SECRET_KEY_FILE file;
    ASSERT_TRUE(ParseMinisignSecretKeyFile(EncryptedKeyText(TestSecretKeyFile(), "correct horse"), file));
    EXPECT_TRUE(file.bEncrypted);
    MINISIGN_SECRET_KEY key;
    EXPECT_EQ(OpenMinisignSecretKey(file, "correct horse!", key), MINISIGN_KEY_RESULT::WrongPassword);
    EXPECT_EQ(OpenMinisignSecretKey(file, "", key), MINISIGN_KEY_RESULT::WrongPassword);
    ASSERT_EQ(OpenMinisignSecretKey(file, "correct horse", key), MINISIGN_KEY_RESULT::Ok);
    EXPECT_EQ(MinisignPublicKeyLine(MinisignPublicKeyOf(key)), Line(Fixture("test-only.pub"), 1));

    MINISIGN_SECRET_KEY_FILE greedy = file;
    greedy.nMemLimit = 1ull << 40;
    EXPECT_EQ(OpenMinisignSecretKey(greedy, "correct horse", key), MINISIGN_KEY_RESULT::KdfFailed);
}

TEST(MinisignSecretKey, DamagedKeysAreRefused)
{
    const std::string text = Fixture("test-only-secret.key");
    const std::string line = Line(text, 1);
    const struct {
        const char* what;
        std::string text;
    } unparsable[] = {
        {"public key file", Fixture("test-only.pub")},
        {"KDF Xx", ReplaceLine(text, 1, Reencode(line, 158, [](unsigned char* b) { b[2] = 'X'; b[3] = 'x'; }))},
        {"checksum B3", ReplaceLine(text, 1, Reencode(line, 158, [](unsigned char* b) { b[5] = '3'; }))},
        {"algorithm ED", ReplaceLine(text, 1, Reencode(line, 158, [](unsigned char* b) { b[1] = 'D'; }))},
        {"cut", ReplaceLine(text, 1, line.substr(0, 208))},
        {"no comment", line + "\n"},
    };
    for (const auto& c : unparsable) {
        MINISIGN_SECRET_KEY_FILE file;
        EXPECT_FALSE(ParseMinisignSecretKeyFile(c.text, file)) << c.what;
    }
    const struct {
        const char* what;
        void (*edit)(unsigned char*);
    } inconsistent[] = {
        {"public half changed", [](unsigned char* b) { b[54 + 8 + 40] ^= 1; }},
        {"seed changed", [](unsigned char* b) { b[54 + 8 + 3] ^= 1; }},
        {"wrong checksum", [](unsigned char* b) { b[54 + 72] = 1; }},
    };
    for (const auto& c : inconsistent) {
        MINISIGN_SECRET_KEY_FILE file;
        ASSERT_TRUE(ParseMinisignSecretKeyFile(ReplaceLine(text, 1, Reencode(line, 158, c.edit)), file)) << c.what;
        MINISIGN_SECRET_KEY key;
        EXPECT_EQ(OpenMinisignSecretKey(file, "", key), MINISIGN_KEY_RESULT::BadKey) << c.what;
    }
}

} // namespace
