// The seven game keys from SDL's keyboard state, by scan code: the keypad's
// arrows are other scan codes and do not count.
#include "keyboard_ops.h"
#include "sdl_platform.h"

namespace {

constexpr SDL_Scancode kScancodes[GKEY_COUNT] = {
    SDL_SCANCODE_LEFT,  SDL_SCANCODE_RIGHT, SDL_SCANCODE_LSHIFT, SDL_SCANCODE_RSHIFT,
    SDL_SCANCODE_LCTRL, SDL_SCANCODE_RCTRL, SDL_SCANCODE_SPACE,
};

}  // namespace

bool OpenKeyboard()
{
    return SDL_WasInit(SDL_INIT_VIDEO) != 0;
}

bool ReadKeyboard(bool held[GKEY_COUNT])
{
    for (int i = 0; i < GKEY_COUNT; ++i)
        held[i] = false;
    SDL_Window* window = Sdl().window;
    if (!window || SDL_GetKeyboardFocus() != window)
        return false;
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    for (int i = 0; i < GKEY_COUNT; ++i)
        held[i] = kScancodes[i] < count && state[kScancodes[i]] != 0;
    return true;
}
