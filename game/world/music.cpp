#include "music.h"

#include "mixer_ops.h"

namespace {

// Token of the last play whose end must be answered with LoopMusic; 0 when
// none. Stopping, replacing or closing the piece clears it, so a notice of an
// end that was already on its way is recognised as stale.
unsigned s_awaitedEnd = 0;
unsigned s_lastToken = 0;
bool s_muted = false;

unsigned NewToken()
{
    ++s_lastToken;
    if (s_lastToken == 0)
        s_lastToken = 1;
    return s_lastToken;
}

}  // namespace

bool CloseMusic()
{
    s_awaitedEnd = 0;
    MixerUnload();
    return true;
}

bool PlayMusic(const char* path)
{
    CloseMusic();
    if (!MixerLoad(path))
        return false;
    return MixerPlay(true, 0);
}

bool StopMusic()
{
    s_awaitedEnd = 0;
    return MixerPause();
}

bool ResumeMusic()
{
    s_awaitedEnd = NewToken();
    return MixerPlay(false, s_awaitedEnd);
}

bool LoopMusic()
{
    s_awaitedEnd = NewToken();
    return MixerPlay(true, s_awaitedEnd);
}

bool ToggleMusicMute()
{
    s_muted = !s_muted;
    MixerSetMuted(s_muted);
    return s_muted;
}

void ResetMusicMute()
{
    s_muted = false;
    MixerSetMuted(false);
}

void OnMusicEnded(unsigned token)
{
    if (token == 0 || token != s_awaitedEnd)
        return;
    LoopMusic();
}
