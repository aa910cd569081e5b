#include "notify_queue.h"

#include <string>

CNotifyQueue::CNotifyQueue(std::function<void()> wake)
    : m_wake(std::move(wake))
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
    const bool wasEmpty = m_items.empty();
    try {
        m_items.push_back({message, wParam, lParam});
    } catch (...) {
        return false;
    }
    if (wasEmpty) {
        m_ready.notify_one();
        if (m_wake) {
            m_wake();
        }
    }
    return true;
}

std::vector<NOTIFY_MESSAGE> CNotifyQueue::TakeAll()
{
    std::vector<NOTIFY_MESSAGE> taken;
    std::lock_guard<std::mutex> guard(m_lock);
    taken.swap(m_items);
    return taken;
}

std::vector<NOTIFY_MESSAGE> CNotifyQueue::WaitAndTakeAll(std::chrono::milliseconds timeout)
{
    std::vector<NOTIFY_MESSAGE> taken;
    std::unique_lock<std::mutex> guard(m_lock);
    m_ready.wait_for(guard, timeout, [this] { return !m_items.empty(); });
    taken.swap(m_items);
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
