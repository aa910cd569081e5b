#include "thread_base.h"

#include <atomic>
#include <cerrno>
#include <thread>

namespace Ostrel {
namespace {

// Thread identifiers handed out by Start: small, unique, never 0.
std::atomic<std::uint32_t> g_nextThreadId{1};

} // namespace

BOOL IThread::Start()
{
    if (m_hThread != kNoThread)
        return TRUE;
    if (!Init())
        return FALSE;
    std::uintptr_t handle = 0;
    try {
        std::thread thread(&IThread::ThreadProc, this);
        handle = static_cast<std::uintptr_t>(thread.native_handle());
        thread.detach();
    } catch (...) {
        Uninit();
        return FALSE;
    }
    // The new thread may already be running; it never reads these fields.
    m_hThread = handle == kNoThread ? handle - 1 : handle;
    m_nThreadId = g_nextThreadId.fetch_add(1);
    return TRUE;
}

unsigned IThread::ThreadProc(void* object)
{
    IThread* thread = static_cast<IThread*>(object);
    // Nothing may leave a thread's procedure: the hooks are guarded as well,
    // though only Run's escape is reported.
    try {
        thread->OnEnter();
    } catch (...) {
    }
    try {
        thread->Run();
    } catch (...) {
        const std::uint32_t error = static_cast<std::uint32_t>(errno);
        try {
            thread->OnError(error);
        } catch (...) {
        }
    }
    try {
        thread->OnExit();
    } catch (...) {
    }
    return 0;
}

} // namespace Ostrel
