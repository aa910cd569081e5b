// The key-flag byte and when the keyboard is read at all.
#include <gtest/gtest.h>

#include "input.h"
#include "null_platform.h"

namespace {

class InputTest : public ::testing::Test {
protected:
    void SetUp() override { ResetNullPlatform(); }
    std::uint8_t ReadWith(std::initializer_list<GameKey> keys)
    {
        for (bool& h : NullPlatform().held)
            h = false;
        for (GameKey k : keys)
            NullPlatform().held[k] = true;
        std::uint8_t flags = 0xFF;
        input.Read(flags);
        return flags;
    }
    CInput input;
};

TEST_F(InputTest, FlagRules)
{
    struct Case {
        const char* what;
        std::initializer_list<GameKey> keys;
        std::uint8_t flags;
    };
    const Case cases[] = {
        {"nothing", {}, 0},
        {"right", {GKEY_RIGHT}, KEY_RIGHT},
        {"left", {GKEY_LEFT}, KEY_LEFT},
        {"left wins over right", {GKEY_LEFT, GKEY_RIGHT}, KEY_LEFT},
        {"left shift", {GKEY_LSHIFT}, KEY_ACTION},
        {"right shift", {GKEY_RSHIFT}, KEY_ACTION},
        {"left ctrl", {GKEY_LCTRL}, KEY_JUMP},
        {"right ctrl", {GKEY_RCTRL}, KEY_JUMP},
        {"space", {GKEY_SPACE}, KEY_JUMP},
        {"space and ctrl: one flag", {GKEY_SPACE, GKEY_LCTRL}, KEY_JUMP},
        {"everything", {GKEY_LEFT, GKEY_RIGHT, GKEY_LSHIFT, GKEY_RSHIFT, GKEY_LCTRL, GKEY_RCTRL, GKEY_SPACE},
         KEY_LEFT | KEY_ACTION | KEY_JUMP},
        {"run right and jump", {GKEY_RIGHT, GKEY_RSHIFT, GKEY_SPACE}, KEY_RIGHT | KEY_ACTION | KEY_JUMP},
        {"pad right", {GKEY_PAD_RIGHT}, KEY_RIGHT},
        {"pad left", {GKEY_PAD_LEFT}, KEY_LEFT},
        {"pad left wins over pad right", {GKEY_PAD_LEFT, GKEY_PAD_RIGHT}, KEY_LEFT},
        {"pad left wins over the right arrow", {GKEY_PAD_LEFT, GKEY_RIGHT}, KEY_LEFT},
        {"left arrow wins over pad right", {GKEY_LEFT, GKEY_PAD_RIGHT}, KEY_LEFT},
        {"south button jumps", {GKEY_PAD_SOUTH}, KEY_JUMP},
        {"west button runs", {GKEY_PAD_WEST}, KEY_ACTION},
        {"south button and space: one flag", {GKEY_PAD_SOUTH, GKEY_SPACE}, KEY_JUMP},
        {"pad run right and jump", {GKEY_PAD_RIGHT, GKEY_PAD_WEST, GKEY_PAD_SOUTH}, KEY_RIGHT | KEY_ACTION | KEY_JUMP},
    };
    ASSERT_TRUE(input.Init());
    for (const auto& c : cases)
        EXPECT_EQ(ReadWith(c.keys), c.flags) << c.what;
}

TEST_F(InputTest, ReleasingOneJumpKeyKeepsTheFlagWhileAnotherIsHeld)
{
    ASSERT_TRUE(input.Init());
    EXPECT_EQ(ReadWith({GKEY_SPACE, GKEY_RCTRL}), KEY_JUMP);
    EXPECT_EQ(ReadWith({GKEY_RCTRL}), KEY_JUMP);
}

TEST_F(InputTest, NoKeysWithoutFocusDeviceOrActivation)
{
    NullPlatform().keyboardAvailable = false;
    EXPECT_FALSE(input.Init());
    EXPECT_EQ(ReadWith({GKEY_RIGHT}), 0);

    NullPlatform().keyboardAvailable = true;
    ASSERT_TRUE(input.Init());
    NullPlatform().focus = false;
    EXPECT_EQ(ReadWith({GKEY_RIGHT}), 0);
    EXPECT_EQ(ReadWith({GKEY_PAD_RIGHT, GKEY_PAD_SOUTH}), 0);
    std::uint8_t flags = 0xFF;
    EXPECT_FALSE(input.Read(flags));
    EXPECT_EQ(flags, 0);

    NullPlatform().focus = true;
    input.SetActive(false);
    EXPECT_EQ(ReadWith({GKEY_LEFT}), 0);
    // A key held while switching back counts from the first read after it.
    input.SetActive(true);
    EXPECT_EQ(ReadWith({GKEY_LEFT}), KEY_LEFT);
}

}  // namespace
