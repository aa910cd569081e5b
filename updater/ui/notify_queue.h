// The queue between the update worker and a front end's own thread.
//
// The worker posts from its thread and never waits for the front end: a post
// takes a short lock, appends, and at most wakes the front end once. Byte
// counts arrive in floods (one per received block) and only the latest value
// is worth showing, so a byte message replaces a byte message still waiting at
// the end of the queue; every other message keeps its place and order.
#pragma once

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
    // into the queue.
    explicit CNotifyQueue(std::function<void()> wake = {});
    // Frees the status strings of messages nobody took.
    ~CNotifyQueue() override;

    CNotifyQueue(const CNotifyQueue&) = delete;
    CNotifyQueue& operator=(const CNotifyQueue&) = delete;

    // Any thread. Refuses (false) unknown message numbers and posts after
    // Close; the sender then keeps ownership of its status string.
    bool PostNotify(unsigned message, WPARAM wParam, LPARAM lParam) override;

    // Receiving thread: every waiting message, oldest first. The receiver owns
    // the status strings of the messages it took.
    std::vector<NOTIFY_MESSAGE> TakeAll();

    // Receiving thread: later posts are refused; waiting messages stay.
    void Close();

private:
    std::mutex m_lock;
    std::vector<NOTIFY_MESSAGE> m_items;
    std::function<void()> m_wake;
    bool m_bClosed = false;
};

// Frees the status string a WM_UPDATE_STATUS message carries (lParam may be 0).
void FreeNotifyMessage(const NOTIFY_MESSAGE& msg);
