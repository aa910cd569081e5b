#include "headless_update.h"

#include <memory>

#include "tovarin_thread.h"

bool CQueuedNotifyTarget::PostNotify(unsigned message, WPARAM wParam, LPARAM lParam)
{
    UPDATE_MESSAGE entry;
    entry.nMessage = message;
    entry.wParam = wParam;
    entry.lParam = lParam;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_bRefusing)
            return false;
        if (message == WM_UPDATE_STATUS && lParam != 0) {
            std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
            entry.strText = std::move(*text);
            entry.lParam = 0;
        }
        m_queue.push_back(std::move(entry));
    }
    m_wake.notify_one();
    return true;
}

bool CQueuedNotifyTarget::Take(UPDATE_MESSAGE& message, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> guard(m_lock);
    if (!m_wake.wait_for(guard, timeout, [this] { return !m_queue.empty(); }))
        return false;
    message = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

void CQueuedNotifyTarget::Refuse()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bRefusing = true;
}

namespace {

// Signals the end of the worker's thread. The signal is shared, so that the
// worker may be deleted as soon as it was raised.
struct THREAD_END {
    std::mutex lock;
    std::condition_variable wake;
    bool ended = false;
};

class CHeadlessThread : public CTovarinThread {
public:
    explicit CHeadlessThread(std::shared_ptr<THREAD_END> end) : m_end(std::move(end)) {}

    void OnExit() override
    {
        std::shared_ptr<THREAD_END> end = m_end;  // `this` may be gone after the notify
        {
            std::lock_guard<std::mutex> guard(end->lock);
            end->ended = true;
        }
        end->wake.notify_all();
    }

private:
    std::shared_ptr<THREAD_END> m_end;
};

} // namespace

HEADLESS_RESULT RunHeadlessUpdate(const HEADLESS_SETTINGS& settings, const HEADLESS_OPTIONS& options)
{
    HEADLESS_RESULT result;
    auto end = std::make_shared<THREAD_END>();
    auto target = std::make_shared<CQueuedNotifyTarget>();
    auto* worker = new CHeadlessThread(end);
    worker->m_strName = settings.strName;
    worker->m_strNumber = settings.strNumber;
    worker->m_strProgDir = settings.strProgDir;
    worker->m_strDownDir = settings.strDownDir;
    worker->m_strHttpUrl = settings.strHttpUrl;
    worker->m_pNotifyWnd = target.get();
    worker->m_bReboot = settings.bReboot ? TRUE : FALSE;
    worker->m_bSigned = settings.bSigned ? TRUE : FALSE;
    worker->m_strKey = settings.strKey;
    worker->m_bRunning = TRUE;
    if (!worker->Start()) {
        delete worker;
        return result;
    }
    result.bStarted = true;

    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    UPDATE_MESSAGE message;
    while (!result.bFinished) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !target->Take(message, left))
            break;
        if (options.onMessage)
            options.onMessage(message);
        if (message.nMessage == WM_UPDATE_CLOSE || message.nMessage == WM_UPDATE_DONE) {
            result.bFinished = true;
            result.nFinalMessage = message.nMessage;
            result.nOutcome = worker->GetOutcome();
        }
        if (options.bKeepMessages)
            result.messages.push_back(std::move(message));
    }

    std::unique_lock<std::mutex> guard(end->lock);
    const bool ended = end->wake.wait_until(guard, deadline, [&] { return end->ended; });
    guard.unlock();
    if (!ended) {
        // The worker still runs and posts to the target: both stay alive.
        new std::shared_ptr<CQueuedNotifyTarget>(target);
        return result;
    }
    // Messages posted after the final one (there should be none) are kept.
    while (target->Take(message, std::chrono::milliseconds(0)))
        if (options.bKeepMessages)
            result.messages.push_back(std::move(message));
    delete worker;
    return result;
}
