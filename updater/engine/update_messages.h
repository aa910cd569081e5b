// The channel from the update worker to whatever front end shows its progress.
// The worker only posts; it never waits for the receiver.
#pragma once

#include <cstdint>

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

constexpr unsigned WM_USER = 0x0400;

// wParam: progress step 0..65. lParam: a std::wstring* allocated with new by the
// worker; the receiver owns it from the moment the post succeeds and deletes it
// after copying the text. The receiver also accepts 0 (empty status line).
constexpr unsigned WM_UPDATE_STATUS = WM_USER + 1;
// wParam: bytes received so far; lParam: bytes expected (0 clears the byte line).
constexpr unsigned WM_UPDATE_BYTES = WM_USER + 2;
// The update ended without installing (nothing to do, or a failure).
constexpr unsigned WM_UPDATE_CLOSE = WM_USER + 3;
// The update is installed: progress 66 (full), then close.
constexpr unsigned WM_UPDATE_DONE = WM_USER + 4;

// The progress scale the messages move: a status step is shown capped at
// UPDATE_STEP_LAST_STATUS; only WM_UPDATE_DONE reaches UPDATE_STEP_DONE.
constexpr unsigned UPDATE_STEP_LAST_STATUS = 65;
constexpr unsigned UPDATE_STEP_DONE = 66;

// Implemented by each front end (the SDL window, the terminal, test recorders).
// PostNotify may be called from the worker thread; it must be thread-safe, must
// not block on the receiver, and returns false when the message was not queued
// (the sender then still owns a status string it passed).
class CNotifyTarget {
public:
    virtual ~CNotifyTarget() = default;
    virtual bool PostNotify(unsigned message, WPARAM wParam, LPARAM lParam) = 0;
};
