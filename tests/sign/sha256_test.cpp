// SHA-256 against the standard's test vectors, streamed in pieces and over
// files, and the strict reading of the list's digest text.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "sha256.h"
#include "temp_folder.h"

namespace {

std::string HexOf(const std::string& data)
{
    return Sha256Hex(Sha256OfBuffer(data.data(), data.size()));
}

TEST(Sha256, StandardVectors)
{
    EXPECT_EQ(HexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(HexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(HexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(HexOf(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PiecesAndFilesGiveTheSameDigest)
{
    std::string data(3u << 20 | 12345, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 2654435761u >> 13);
    const SHA256_DIGEST whole = Sha256OfBuffer(data.data(), data.size());
    CSha256 pieces;
    for (std::size_t done = 0, step = 1; done < data.size(); done += step, step = step * 3 + 1)
        pieces.Update(data.data() + done, std::min(step, data.size() - done));
    EXPECT_EQ(pieces.Final(), whole);

    test::TempFolder folder;
    const std::string path = folder / "data";
    test::WriteFile(path, data);
    SHA256_DIGEST fromFile{};
    ASSERT_TRUE(Sha256OfFile(path, fromFile));
    EXPECT_EQ(fromFile, whole);
    test::WriteFile(path, "");
    ASSERT_TRUE(Sha256OfFile(path, fromFile));
    EXPECT_EQ(Sha256Hex(fromFile), HexOf(""));
    std::remove(path.c_str());
    SHA256_DIGEST untouched = whole;
    EXPECT_FALSE(Sha256OfFile(path, untouched));
    EXPECT_EQ(untouched, whole);
}

TEST(Sha256, DigestTextIsExactlySixtyFourLowercaseHexDigits)
{
    const std::string good = HexOf("abc");
    SHA256_DIGEST digest{};
    ASSERT_TRUE(ParseSha256Hex(good.c_str(), &digest));
    EXPECT_EQ(Sha256Hex(digest), good);
    std::string upper = good;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string refused[] = {
        "", good.substr(1), good + "0", upper, " " + good.substr(1), good.substr(0, 63) + "g",
        good.substr(0, 63) + " ", "0x" + good.substr(2),
    };
    for (const std::string& text : refused)
        EXPECT_FALSE(ParseSha256Hex(text.c_str())) << text;
    EXPECT_FALSE(ParseSha256Hex(nullptr));
}

} // namespace
