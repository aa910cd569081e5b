// Puts the game back to program start between the flow's tests: the null
// platform recording from scratch, the music closed, the loop's and the
// flow's globals zeroed, no actors, an empty map, a new player.
#pragma once

#include "display.h"
#include "gameflow.h"
#include "input.h"
#include "mainloop.h"
#include "music.h"
#include "null_platform.h"
#include "player.h"
#include "sprite.h"
#include "tilemap.h"

inline void ResetGame()
{
    ResetProgramState();
    ResetNullPlatform(NullRecord::On);
}

// Hands every queued window event to WindowProc.
inline void DeliverEvents()
{
    WindowEvent event;
    while (PollWindowEvent(event))
        WindowProc(event);
}
