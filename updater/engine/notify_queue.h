// The queue between the update worker and the thread of whatever receives its
// messages: the progress window, the terminal front end, the headless runner.
//
// The worker posts from its thread and never waits for the receiver: a post
// takes a short lock and appends. Every message keeps its place and order.
// A queue that keeps every byte count gives its receiver exactly what the
// worker posted (the tests and the headless runner's records need that). A
// queue that keeps the latest byte count, for a front end that shows only
// the newest counts, replaces a waiting byte count by the next one, and a
// byte count wakes the receiver only when the last wake is NOTIFY_BYTES_WAKE
// old; any other message wakes it at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "update_messages.h"

enum class NOTIFY_BYTES {
    Every,   // every WM_UPDATE_BYTES is kept, in order
    Latest,  // a waiting WM_UPDATE_BYTES is replaced by the one posted after it
};

// How often a stream of byte counts alone wakes a NOTIFY_BYTES::Latest
// receiver at most.
constexpr std::chrono::milliseconds NOTIFY_BYTES_WAKE{10};

struct NOTIFY_MESSAGE {
    unsigned message;
    WPARAM wParam;
    LPARAM lParam;
};

class CNotifyQueue : public CNotifyTarget {
public:
    // wake runs on the posting thread, under the queue's lock, when the queue
    // turns from empty to non-empty; it must be quick and must not call back
    // into the queue. A receiver with an event loop of its own uses it to be
    // woken; one that waits in WaitAndTakeAll needs none.
    explicit CNotifyQueue(std::function<void()> wake = {}, NOTIFY_BYTES bytes = NOTIFY_BYTES::Every);
    // Frees the status strings of messages nobody took.
    ~CNotifyQueue() override;

    CNotifyQueue(const CNotifyQueue&) = delete;
    CNotifyQueue& operator=(const CNotifyQueue&) = delete;

    // Any thread. Refuses (false) unknown message numbers and posts after
    // Close; the sender then keeps ownership of its status string.
    bool PostNotify(unsigned message, WPARAM wParam, LPARAM lParam) override;

    // Receiving thread: every waiting message, oldest first, without waiting.
    // The receiver owns the status strings of the messages it took.
    std::vector<NOTIFY_MESSAGE> TakeAll();
    // Receiving thread: waits up to `timeout` for a first message, then takes
    // every waiting one (none when the time ran out).
    std::vector<NOTIFY_MESSAGE> WaitAndTakeAll(std::chrono::milliseconds timeout);

    // Receiving thread: later posts are refused; waiting messages stay.
    void Close();

private:
    // Under the lock: whether this post must wake the receiver.
    bool ShouldWake(unsigned message);

    std::mutex m_lock;
    std::condition_variable m_ready;
    std::vector<NOTIFY_MESSAGE> m_items;
    std::function<void()> m_wake;
    NOTIFY_BYTES m_bytes;
    bool m_bClosed = false;
    bool m_bWoken = false;  // a wake was given since the receiver last took
    std::chrono::steady_clock::time_point m_lastWake;
};

// Frees the status string a WM_UPDATE_STATUS message carries (lParam may be 0).
void FreeNotifyMessage(const NOTIFY_MESSAGE& msg);
