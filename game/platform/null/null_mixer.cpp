// The null MIDI player: it plays nothing, but keeps the piece's state as a
// player would (loaded, playing, paused, the play whose end is to be
// reported), so that FinishNullPiece can deliver the end the game expects.
#include <string>

#include "mixer_ops.h"
#include "null_platform.h"

namespace {

void NoteMixerCall(const std::string& call)
{
    if (NullPlatform().record)
        NullPlatform().mixerCalls.push_back(call);
}

void QueueEnd(unsigned token)
{
    NullPlatform().events.push_back(WindowEvent{WEV_MUSIC_END, static_cast<int>(token)});
}

}  // namespace

bool MixerLoad(const char* path)
{
    MixerUnload();
    NullPlatformState& p = NullPlatform();
    if (!p.mixerAvailable || path == nullptr)
        return false;
    p.piece = path;
    NoteMixerCall("load " + p.piece);
    return true;
}

void MixerUnload()
{
    NullPlatformState& p = NullPlatform();
    if (p.piece.empty())
        return;
    p.piece.clear();
    p.playing = false;
    p.paused = false;
    p.endToken = 0;
    NoteMixerCall("unload");
}

bool MixerPlay(bool fromStart, unsigned endToken)
{
    NullPlatformState& p = NullPlatform();
    if (p.piece.empty())
        return false;
    NoteMixerCall(std::string(fromStart ? "play start " : "play resume ") + (endToken != 0 ? "1" : "0"));
    if (fromStart || p.playing) {
        p.playing = true;
        p.paused = false;
        p.endToken = endToken;
    } else if (endToken != 0) {
        QueueEnd(endToken);  // resumed at the piece's end: that end is reached at once
    }
    return true;
}

bool MixerPause()
{
    NullPlatformState& p = NullPlatform();
    p.endToken = 0;
    if (!p.playing)
        return false;
    p.paused = true;
    NoteMixerCall("pause");
    return true;
}

void MixerSetMuted(bool muted)
{
    NullPlatform().muted = muted;
    NoteMixerCall(muted ? "mute" : "unmute");
}

void FinishNullPiece()
{
    NullPlatformState& p = NullPlatform();
    if (!p.playing || p.paused)
        return;
    p.playing = false;
    if (p.endToken != 0)
        QueueEnd(p.endToken);
    p.endToken = 0;
}
