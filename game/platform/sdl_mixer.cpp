// The MIDI player on SDL2_mixer. The mixer's "music finished" hook runs on
// the audio thread, and also synchronously inside Mix_HaltMusic with the
// audio lock held: it only pushes an event, and only for a play whose end
// the game asked to hear about. Halting or replacing a piece is never
// reported as its end.
#include <SDL_mixer.h>

#include "mixer_ops.h"
#include "sdl_platform.h"

namespace {

enum class AudioState { Untried, Open, Failed };
AudioState s_audio = AudioState::Untried;
Mix_Music* s_music = nullptr;
// Token of the play in progress whose end is to be reported; 0: none. Read
// by the hook on the audio thread.
SDL_atomic_t s_endToken;

void PushEnd(int token)
{
    Uint32 type = MusicEventType();
    if (type == 0 || token == 0)
        return;
    SDL_Event e{};
    e.type = type;
    e.user.code = token;
    SDL_PushEvent(&e);
}

void OnMusicFinished()
{
    PushEnd(SDL_AtomicSet(&s_endToken, 0));
}

// Stops the piece without its end being reported.
void Silence()
{
    SDL_AtomicSet(&s_endToken, 0);
    Mix_HaltMusic();
}

// Debian's mixer prefers FluidSynth when a General MIDI sound font is
// installed; it holds a piece about 3 s past its end, far too long a gap
// before a loop. The built-in Timidity (with freepats) ends on time.
bool OpenAudio()
{
    if (s_audio != AudioState::Untried)
        return s_audio == AudioState::Open;
    s_audio = AudioState::Failed;
    SDL_SetHint("SDL_MIXER_DISABLE_FLUIDSYNTH", "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    Mix_Init(MIX_INIT_MID);
    if (Mix_OpenAudio(44100, MIX_DEFAULT_FORMAT, 2, 2048) != 0) {
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    Mix_HookMusicFinished(OnMusicFinished);
    s_audio = AudioState::Open;
    return true;
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
    if (!OpenAudio())
        return false;
    s_music = Mix_LoadMUS(path);
    return s_music != nullptr;
}

void MixerUnload()
{
    if (!s_music)
        return;
    Silence();
    Mix_FreeMusic(s_music);
    s_music = nullptr;
}

bool MixerPlay(bool fromStart, unsigned endToken)
{
    if (!s_music)
        return false;
    int token = static_cast<int>(endToken);
    if (fromStart) {
        Silence();
        SDL_AtomicSet(&s_endToken, token);
        return Mix_PlayMusic(s_music, 1) == 0;
    }
    if (Mix_PausedMusic()) {
        SDL_AtomicSet(&s_endToken, token);
        Mix_ResumeMusic();
        return true;
    }
    if (Mix_PlayingMusic()) {
        SDL_AtomicSet(&s_endToken, token);
        return true;
    }
    // Resumed at the piece's end: that end is reached at once.
    PushEnd(token);
    return true;
}

bool MixerPause()
{
    SDL_AtomicSet(&s_endToken, 0);
    if (!s_music || !Mix_PlayingMusic())
        return false;
    Mix_PauseMusic();
    return true;
}

void ShutdownMixer()
{
    MixerUnload();
    if (s_audio == AudioState::Open) {
        Mix_CloseAudio();
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    s_audio = AudioState::Untried;
}
