// Background music: one MIDI piece per level. A piece started by a level
// plays once; after a pause or an activation (ResumeMusic) the end of the
// piece restarts it from the beginning, for as long as the level lasts.
// Called from the game's thread only. Each returns whether the player
// accepted its last command; no caller needs the result.
#pragma once

bool PlayMusic(const char* path);  // replaces the piece, plays it once from the start
bool StopMusic();                  // stops, keeping the position
bool ResumeMusic();                // plays on from the position, its end reported
bool LoopMusic();                  // plays from the start, its end reported
bool CloseMusic();                 // unloads the piece

// Mutes the music, or unmutes it when muted; true when now muted. Muting is
// only the volume: the pieces play on unheard, so they end, loop and restart
// when they would, and the setting holds across pieces and levels.
bool ToggleMusicMute();
// The music's volume back on, as at program start.
void ResetMusicMute();

// The window procedure's answer to WEV_MUSIC_END: the end of the play that
// asked for a report restarts the piece; the end of any other play (one
// without a report, or one since stopped or replaced) is ignored.
void OnMusicEnded(unsigned token);
