// The key-script format: parsing, its refusals with line numbers, writing
// runs back with steps that read back as the same float, merging recorded
// frames, and the summary line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "replay.h"

namespace {

constexpr std::uint8_t R = 0x01, L = 0x08, A = 0x10, J = 0x20;

std::string Describe(const std::vector<KeyRun>& runs)
{
    std::string s;
    for (const KeyRun& r : runs)
        s += FormatKeyRun(r);
    return s;
}

TEST(KeyScript, ReadsRunsIgnoringBlankAndCommentLines)
{
    const struct {
        const char* text;
        const char* runs;   // as written back
    } cases[] = {
        {"", ""},
        {"# only a comment\n\n   \n\t# indented comment\n", ""},
        {"5 R\n", "5 R\n"},
        {"3 JALR 0.02\r\n", "3 RLAJ 0.0199999996\n"},
        {"1\tJ\t0\n", "1 J 0\n"},
        {"  7 -  \n", "7 -\n"},
        {"2 AJ 0.05", "2 AJ 0.0500000007\n"},
        {"# a play\n60 R\n12 RJ 1e-3\n", "60 R\n12 RJ 0.00100000005\n"},
        {"100000000 L\n", "100000000 L\n"},
    };
    for (const auto& c : cases) {
        std::vector<KeyRun> runs;
        std::string error;
        EXPECT_TRUE(ParseKeyScript(c.text, runs, error)) << c.text << ": " << error;
        EXPECT_EQ(Describe(runs), c.runs) << c.text;
    }
}

TEST(KeyScript, RefusesMalformedLinesNamingTheLine)
{
    const struct {
        const char* text;
        const char* error;   // its start
    } cases[] = {
        {"5\n", "line 1: expected COUNT KEYS [DT]"},
        {"5 R 0.01 x\n", "line 1: expected COUNT KEYS [DT]"},
        {"x R\n", "line 1: the frame count"},
        {"0 R\n", "line 1: the frame count"},
        {"-1 R\n", "line 1: the frame count"},
        {"100000001 R\n", "line 1: the frame count"},
        {"5 RR\n", "line 1: the keys"},
        {"5 r\n", "line 1: the keys"},
        {"5 Q\n", "line 1: the keys"},
        {"5 R- \n", "line 1: the keys"},
        {"5 R 0.06\n", "line 1: the step"},
        {"5 R -0.01\n", "line 1: the step"},
        {"5 R nan\n", "line 1: the step"},
        {"5 R inf\n", "line 1: the step"},
        {"5 R 0.01s\n", "line 1: the step"},
        {"5 R 1e-99\n", "line 1: the step"},
        {"1 R\n\n# fine so far\n2 X\n", "line 4: the keys"},
    };
    for (const auto& c : cases) {
        std::vector<KeyRun> runs = {KeyRun{}};
        std::string error;
        EXPECT_FALSE(ParseKeyScript(c.text, runs, error)) << c.text;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " gave: " << error;
        EXPECT_EQ(runs.size(), 1u);   // left as it was
    }
}

TEST(KeyScript, StepsAreWrittenSoThatTheyReadBackExactly)
{
    const float steps[] = {0.016f, 0.017f, 0.001f, 0.05f, 0.0f, 1e-5f, std::nextafter(0.016f, 1.0f),
                           std::nextafter(0.05f, 0.0f), 1e-40f, 1.0f / 60.0f};
    for (float dt : steps) {
        KeyRun run;
        run.count = 4;
        run.keys = R | J;
        run.hasDt = true;
        run.dt = dt;
        std::vector<KeyRun> back;
        std::string error;
        ASSERT_TRUE(ParseKeyScript(FormatKeyRun(run), back, error)) << FormatKeyRun(run) << error;
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(std::memcmp(&back[0].dt, &dt, sizeof dt), 0) << FormatKeyRun(run);
    }
}

TEST(KeyScript, RecorderMergesRunsOfEqualFrames)
{
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    KeyRecorder recorder(file);
    const struct {
        float dt;
        std::uint8_t keys;
    } frames[] = {{0.016f, R}, {0.016f, R}, {0.016f, R}, {0.016f, R | J}, {0.017f, R | J},
                  {0.017f, R | J}, {0.016f, R}, {0.0f, 0}};
    for (const auto& f : frames)
        recorder.Frame(f.dt, f.keys);
    recorder.Flush();
    recorder.Flush();   // nothing more to write
    EXPECT_EQ(recorder.Frames(), 8);
    std::rewind(file);
    char buffer[512] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    EXPECT_EQ(std::string(buffer, n),
              "3 R 0.0160000008\n1 RJ 0.0160000008\n2 RJ 0.0170000009\n1 R 0.0160000008\n1 - 0\n");
}

TEST(KeyScript, SummaryLine)
{
    EXPECT_EQ(FormatSummary(12, 3, 64.5f, 383.307190f, 7), "frames 12, level 3, x 64.5, y 383.30719, action 7");
    EXPECT_EQ(FormatSummary(0, 1, 64.0f, 383.0f, 1), "frames 0, level 1, x 64, y 383, action 1");
}

TEST(KeyScript, KeyLettersInTheirOrder)
{
    EXPECT_EQ(KeyLetters(0), "-");
    EXPECT_EQ(KeyLetters(J | A | L | R), "RLAJ");
    EXPECT_EQ(KeyLetters(J | R), "RJ");
}

}  // namespace
