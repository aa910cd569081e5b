// What the music commands need of a MIDI player: one loaded piece that can be
// played from its start or resumed where it was stopped, and a notice of its
// end. Implemented by the platform layer (SDL2_mixer; the null platform
// plays nothing but keeps the piece's state).
#pragma once

// Loads the piece at path, unloading (and silencing) any piece loaded before.
// False when nothing could be loaded: missing or malformed file, no
// synthesiser, no audio device.
bool MixerLoad(const char* path);
// Unloads the piece, if any. Stopping a piece this way is never reported as
// its end.
void MixerUnload();
// Plays the loaded piece from its start, or else from where MixerPause
// stopped it. When endToken is not 0 the end of this play reaches the game's
// thread as a WEV_MUSIC_END event carrying endToken; a play resumed from a
// piece's end reports that end at once. False when no piece is loaded.
bool MixerPlay(bool fromStart, unsigned endToken);
// Stops the piece, keeping its position; never reported as its end.
bool MixerPause();
// Turns the music's volume off, or back to full. A muted piece plays on
// unheard, ending when it would; the setting holds for every piece loaded
// later.
void MixerSetMuted(bool muted);
