// The null platform's state, clock, window, events and keyboard.
#include "null_platform.h"

#include "clock_ops.h"

NullPlatformState& NullPlatform()
{
    static NullPlatformState state;
    return state;
}

void ResetNullPlatform(NullRecord record)
{
    NullPlatform() = NullPlatformState();
    NullPlatform().record = record == NullRecord::On;
}

void AdvanceNullClock(std::uint32_t ms)
{
    NullPlatform().ticks += ms;
}

std::uint32_t GetTickMilliseconds()
{
    return NullPlatform().ticks;
}

namespace {

void NoteWindowCall(const char* call)
{
    if (NullPlatform().record)
        NullPlatform().windowCalls.emplace_back(call);
}

}  // namespace

bool OpenGameWindow(const char*)
{
    NullPlatformState& p = NullPlatform();
    NoteWindowCall("open");
    p.windowOpen = p.windowAvailable;
    if (!p.windowOpen)
        p.error = "no window: the null platform has none available";
    return p.windowOpen;
}

void CloseGameWindow()
{
    NoteWindowCall("close");
    NullPlatform().windowOpen = false;
}

bool PollWindowEvent(WindowEvent& event)
{
    std::deque<WindowEvent>& events = NullPlatform().events;
    if (events.empty())
        return false;
    event = events.front();
    events.pop_front();
    return true;
}

void WaitWindowEvent()
{
    NullPlatformState& p = NullPlatform();
    NoteWindowCall("wait");
    ++p.waits;
    if (!p.events.empty())
        return;
    if (p.wakeUps.empty()) {
        p.events.push_back(WindowEvent{WEV_CLOSE, 0});
        return;
    }
    p.events.push_back(p.wakeUps.front());
    p.wakeUps.pop_front();
}

void MakeProgramFolderCurrent()
{
}

void ShutdownPlatform()
{
    NoteWindowCall("shutdown");
    NullPlatform().windowOpen = false;
}

const char* PlatformError()
{
    return NullPlatform().error.c_str();
}

bool OpenKeyboard()
{
    return NullPlatform().keyboardAvailable;
}

bool ReadKeyboard(bool held[GKEY_COUNT])
{
    const NullPlatformState& p = NullPlatform();
    for (int i = 0; i < GKEY_COUNT; ++i)
        held[i] = p.focus && p.held[i];
    return p.focus;
}
