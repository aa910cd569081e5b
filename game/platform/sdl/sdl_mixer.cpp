// The MIDI player on SDL2_mixer. The mixer's "music finished" hook runs on
// the audio thread, and also synchronously inside Mix_HaltMusic with the
// audio lock held: it only pushes an event, and only for a play whose end
// the game asked to hear about. Halting or replacing a piece is never
// reported as its end.
#include "mixer_ops.h"
#include "sdl_platform.h"

namespace {

void PushEnd(int token)
{
    Uint32 type = Sdl().musicEventType;
    if (type == 0 || token == 0)
        return;
    SDL_Event e{};
    e.type = type;
    e.user.code = token;
    SDL_PushEvent(&e);
}

void OnMusicFinished()
{
    PushEnd(SDL_AtomicSet(&Sdl().audio.endToken, 0));
}

}  // namespace

bool MixerLoad(const char* path)
{
    MixerUnload();
    // A missing file is found out before the audio device is opened.
    SDL_RWops* probe = SDL_RWFromFile(path, "rb");
    if (!probe)
        return false;
    SDL_RWclose(probe);
    if (!OpenAudio(OnMusicFinished))
        return false;
    Sdl().audio.music = Mix_LoadMUS(path);
    return Sdl().audio.music != nullptr;
}

void MixerUnload()
{
    FreeMusic();
}

bool MixerPlay(bool fromStart, unsigned endToken)
{
    SdlAudioState& audio = Sdl().audio;
    if (!audio.music)
        return false;
    int token = static_cast<int>(endToken);
    if (fromStart) {
        SilenceMusic();
        SDL_AtomicSet(&audio.endToken, token);
        return Mix_PlayMusic(audio.music, 1) == 0;
    }
    if (Mix_PausedMusic()) {
        SDL_AtomicSet(&audio.endToken, token);
        Mix_ResumeMusic();
        return true;
    }
    if (Mix_PlayingMusic()) {
        SDL_AtomicSet(&audio.endToken, token);
        return true;
    }
    // Resumed at the piece's end: that end is reached at once.
    PushEnd(token);
    return true;
}

// The mixer's music volume applies to every piece it plays.
void MixerSetMuted(bool muted)
{
    SdlAudioState& audio = Sdl().audio;
    audio.muted = muted;
    if (audio.device == SdlAudioState::Device::Open)
        Mix_VolumeMusic(muted ? 0 : MIX_MAX_VOLUME);
}

bool MixerPause()
{
    SdlAudioState& audio = Sdl().audio;
    SDL_AtomicSet(&audio.endToken, 0);
    if (!audio.music || !Mix_PlayingMusic())
        return false;
    Mix_PauseMusic();
    return true;
}
