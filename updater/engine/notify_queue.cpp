#include "notify_queue.h"

#include <string>

CNotifyQueue::CNotifyQueue(std::function<void()> wake, NOTIFY_BYTES bytes)
    : m_wake(std::move(wake)), m_bytes(bytes)
{
}

CNotifyQueue::~CNotifyQueue()
{
    for (const NOTIFY_MESSAGE& msg : m_items) {
        FreeNotifyMessage(msg);
    }
}

bool CNotifyQueue::PostNotify(unsigned message, WPARAM wParam, LPARAM lParam)
{
    if (message < WM_UPDATE_STATUS || message > WM_UPDATE_DONE) {
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bClosed) {
        return false;
    }
    if (m_bytes == NOTIFY_BYTES::Latest && message == WM_UPDATE_BYTES && !m_items.empty() &&
        m_items.back().message == WM_UPDATE_BYTES) {
        m_items.back() = {message, wParam, lParam};
    } else {
        try {
            m_items.push_back({message, wParam, lParam});
        } catch (...) {
            return false;
        }
    }
    if (ShouldWake(message)) {
        m_ready.notify_one();
        if (m_wake) {
            m_wake();
        }
    }
    return true;
}

bool CNotifyQueue::ShouldWake(unsigned message)
{
    if (m_bWoken)
        return false;
    if (m_bytes == NOTIFY_BYTES::Latest && message == WM_UPDATE_BYTES) {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastWake < NOTIFY_BYTES_WAKE)
            return false;
        m_lastWake = now;
    }
    m_bWoken = true;
    return true;
}

std::vector<NOTIFY_MESSAGE> CNotifyQueue::TakeAll()
{
    std::vector<NOTIFY_MESSAGE> taken;
    std::lock_guard<std::mutex> guard(m_lock);
    taken.swap(m_items);
    m_bWoken = false;
    return taken;
}

std::vector<NOTIFY_MESSAGE> CNotifyQueue::WaitAndTakeAll(std::chrono::milliseconds timeout)
{
    std::vector<NOTIFY_MESSAGE> taken;
    std::unique_lock<std::mutex> guard(m_lock);
    m_ready.wait_for(guard, timeout, [this] { return !m_items.empty(); });
    taken.swap(m_items);
    m_bWoken = false;
    return taken;
}

void CNotifyQueue::Close()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bClosed = true;
}

void FreeNotifyMessage(const NOTIFY_MESSAGE& msg)
{
    if (msg.message == WM_UPDATE_STATUS && msg.lParam != 0) {
        delete reinterpret_cast<std::wstring*>(msg.lParam);
    }
}
