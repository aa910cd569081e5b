#include "headless_update.h"

#include <condition_variable>
#include <memory>
#include <mutex>

#include "tovarin_thread.h"

std::vector<UPDATE_MESSAGE> TakeUpdateMessages(CNotifyQueue& queue, std::chrono::milliseconds timeout)
{
    std::vector<UPDATE_MESSAGE> messages;
    for (const NOTIFY_MESSAGE& taken : queue.WaitAndTakeAll(timeout)) {
        UPDATE_MESSAGE entry;
        entry.nMessage = taken.message;
        entry.wParam = taken.wParam;
        entry.lParam = taken.lParam;
        if (taken.message == WM_UPDATE_STATUS && taken.lParam != 0) {
            entry.strText = *reinterpret_cast<const std::wstring*>(taken.lParam);
            entry.lParam = 0;
            FreeNotifyMessage(taken);
        }
        messages.push_back(std::move(entry));
    }
    return messages;
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

bool IsFinal(unsigned message)
{
    return message == WM_UPDATE_CLOSE || message == WM_UPDATE_DONE;
}

} // namespace

HEADLESS_RESULT RunHeadlessUpdate(const HEADLESS_SETTINGS& settings, const HEADLESS_OPTIONS& options)
{
    HEADLESS_RESULT result;
    auto end = std::make_shared<THREAD_END>();
    // Records see every byte count; a run that keeps nothing needs only the
    // latest.
    const bool everyMessage = options.bKeepMessages || options.onMessage;
    auto queue = std::make_shared<CNotifyQueue>(std::function<void()>{},
                                                everyMessage ? NOTIFY_BYTES::Every : NOTIFY_BYTES::Latest);
    auto* worker = new CHeadlessThread(end);
    worker->m_strName = settings.strName;
    worker->m_strNumber = settings.strNumber;
    worker->m_strProgDir = settings.strProgDir;
    worker->m_strDownDir = settings.strDownDir;
    worker->m_strHttpUrl = settings.strHttpUrl;
    worker->m_pNotifyWnd = queue.get();
    worker->m_bReboot = settings.bReboot ? TRUE : FALSE;
    worker->m_bSigned = settings.bSigned ? TRUE : FALSE;
    worker->m_strKey = settings.strKey;
    worker->m_bRunning = TRUE;
    if (!worker->Start()) {
        delete worker;
        return result;
    }
    result.bStarted = true;

    auto record = [&](UPDATE_MESSAGE& message) {
        if (options.onMessage)
            options.onMessage(message);
        if (IsFinal(message.nMessage) && !result.bFinished) {
            result.bFinished = true;
            result.nFinalMessage = message.nMessage;
            result.nOutcome = worker->GetOutcome();
        }
        if (options.bKeepMessages)
            result.messages.push_back(std::move(message));
    };
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    while (!result.bFinished) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        for (UPDATE_MESSAGE& message : TakeUpdateMessages(*queue, left))
            record(message);
    }

    std::unique_lock<std::mutex> guard(end->lock);
    const bool ended = end->wake.wait_until(guard, deadline, [&] { return end->ended; });
    guard.unlock();
    if (!ended) {
        // The worker still runs and posts to the queue: both stay alive.
        new std::shared_ptr<CNotifyQueue>(queue);
        return result;
    }
    // Messages posted after the final one (there should be none) are kept.
    for (UPDATE_MESSAGE& message : TakeUpdateMessages(*queue))
        record(message);
    delete worker;
    return result;
}
