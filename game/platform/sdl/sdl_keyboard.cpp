// The seven game keys from SDL's keyboard state, by scan code (the keypad's
// arrows are other scan codes and do not count), and the game controls of
// every open game controller.
#include "keyboard_ops.h"
#include "sdl_platform.h"

namespace {

constexpr SDL_Scancode kScancodes[] = {
    SDL_SCANCODE_LEFT,  SDL_SCANCODE_RIGHT, SDL_SCANCODE_LSHIFT, SDL_SCANCODE_RSHIFT,
    SDL_SCANCODE_LCTRL, SDL_SCANCODE_RCTRL, SDL_SCANCODE_SPACE,
};
static_assert(sizeof kScancodes / sizeof kScancodes[0] == GKEY_PAD_LEFT);

// Half of the stick's travel: a light touch or a worn stick's rest position
// does not steer.
constexpr Sint16 kStickHalfWay = 16384;

void ReadController(SDL_GameController* c, bool held[GKEY_COUNT])
{
    const Sint16 x = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
    held[GKEY_PAD_LEFT] = held[GKEY_PAD_LEFT] || x <= -kStickHalfWay ||
                          SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
    held[GKEY_PAD_RIGHT] = held[GKEY_PAD_RIGHT] || x >= kStickHalfWay ||
                           SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
    held[GKEY_PAD_SOUTH] = held[GKEY_PAD_SOUTH] || SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_A);
    held[GKEY_PAD_WEST] = held[GKEY_PAD_WEST] || SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_X);
}

}  // namespace

// Without game controllers the keyboard still counts.
bool OpenKeyboard()
{
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0)
        return false;
    StartControllers();
    return true;
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
    for (int i = 0; i < GKEY_PAD_LEFT; ++i)
        held[i] = kScancodes[i] < count && state[kScancodes[i]] != 0;
    for (SDL_GameController* c : Sdl().input.controllers)
        ReadController(c, held);
    return true;
}
