// Running one whole update without a window: for tests, benchmarks and the
// terminal front end.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "update_messages.h"

// One message as the worker posted it; a status text is copied out of the
// posted string, which the queue frees at once.
struct UPDATE_MESSAGE {
    unsigned nMessage = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::wstring strText;  // WM_UPDATE_STATUS only
};

// A thread-safe message queue that any thread may post to; one consumer
// takes the messages in order.
class CQueuedNotifyTarget : public CNotifyTarget {
public:
    ~CQueuedNotifyTarget() override = default;

    // Takes ownership of a status string at once; never blocks on the
    // consumer. False (the sender keeps the string) once Refuse was called.
    bool PostNotify(unsigned message, WPARAM wParam, LPARAM lParam) override;

    // Waits up to `timeout` for the next message; false when none came.
    bool Take(UPDATE_MESSAGE& message, std::chrono::milliseconds timeout);

    // Makes every later post fail, as a front end that has gone away.
    void Refuse();

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<UPDATE_MESSAGE> m_queue;
    bool m_bRefusing = false;
};

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
