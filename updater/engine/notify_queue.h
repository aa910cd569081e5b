// The queue between the update worker and the thread of whatever receives its
// messages: the progress window, the terminal front end, the headless runner.
//
// The worker posts from its thread and never waits for the receiver: a post
// takes a short lock and appends. Every message keeps its place and order, so
// a receiver sees exactly what the worker posted; a front end that only shows
// the latest byte count takes a flood of them in one TakeAll and draws once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "update_messages.h"

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
    explicit CNotifyQueue(std::function<void()> wake = {});
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
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::vector<NOTIFY_MESSAGE> m_items;
    std::function<void()> m_wake;
    bool m_bClosed = false;
};

// Frees the status string a WM_UPDATE_STATUS message carries (lParam may be 0).
void FreeNotifyMessage(const NOTIFY_MESSAGE& msg);
