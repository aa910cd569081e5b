// Running one whole update without a front end, for the headless tool, the
// engine's tests and the update benchmarks: the worker posts into a message
// queue and the calling thread waits for its final message.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "notify_queue.h"

// One message as the worker posted it; a status text is copied out of the
// posted string, which is freed at once.
struct UPDATE_MESSAGE {
    unsigned nMessage = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::wstring strText;  // WM_UPDATE_STATUS only
};

// Takes the messages waiting in a queue (waiting up to `timeout` for the
// first) as records that own their texts.
std::vector<UPDATE_MESSAGE> TakeUpdateMessages(CNotifyQueue& queue,
                                               std::chrono::milliseconds timeout = std::chrono::milliseconds(0));

// The launch settings of one update.
struct HEADLESS_SETTINGS {
    std::wstring strName;
    std::wstring strNumber;
    std::wstring strProgDir;
    std::wstring strDownDir;
    std::wstring strHttpUrl;
    bool bReboot = false;
    bool bSigned = false;   // -key given: verify against strKey
    std::wstring strKey;
};

struct HEADLESS_RESULT {
    bool bStarted = false;      // the worker's thread was started
    bool bFinished = false;     // a final message (CLOSE or DONE) arrived
    unsigned nFinalMessage = 0; // WM_UPDATE_CLOSE or WM_UPDATE_DONE
    int nOutcome = 0;           // UPDATE_OUTCOME_* (tovarin_thread.h)
    std::vector<UPDATE_MESSAGE> messages;  // every message, in order, when kept
};

struct HEADLESS_OPTIONS {
    bool bKeepMessages = true;
    // Called on the waiting thread for every message, in order.
    std::function<void(const UPDATE_MESSAGE&)> onMessage;
    // Give up waiting for the final message after this long.
    std::chrono::milliseconds timeout = std::chrono::hours(24);
};

// Creates the worker, fills it with the settings, starts it, and waits for
// the final message and for the worker's thread to end. The worker is freed
// afterwards, unless the wait timed out (it is then left to the process).
HEADLESS_RESULT RunHeadlessUpdate(const HEADLESS_SETTINGS& settings, const HEADLESS_OPTIONS& options = {});
