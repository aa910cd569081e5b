// A thread base class: an object that owns one OS thread, started once, whose
// work is the virtual Run surrounded by hooks.
//
// There is no way to stop, join or wait for the thread: it ends when Run
// returns. The object must outlive its thread.
#pragma once

#include <cstdint>

#include "win_types.h"

namespace Ostrel {

class IThread {
public:
    // The handle value of a thread that has not been started.
    static constexpr std::uintptr_t kNoThread = ~static_cast<std::uintptr_t>(0);

    IThread() = default;
    IThread(const IThread&) = delete;
    IThread& operator=(const IThread&) = delete;
    // Waits for nothing and closes nothing.
    virtual ~IThread() = default;

    // Runs on the thread calling Start, before the thread is created. FALSE
    // stops the start.
    virtual BOOL Init() { return TRUE; }
    // Runs on the thread calling Start when the thread could not be created.
    virtual void Uninit() {}
    // Run on the new thread, in this order: OnEnter, Run, OnExit; OnError
    // between the last two when anything escaped Run.
    virtual void OnEnter() {}
    virtual void Run() = 0;
    virtual void OnExit() {}
    virtual void OnError(std::uint32_t /*errorCode*/) {}

    // Starts the thread once; a later call returns TRUE and does nothing.
    BOOL Start();

protected:
    // The new thread's procedure; the thread's exit code is its result.
    static unsigned ThreadProc(void* object);

    std::uintptr_t m_hThread = kNoThread;
    std::uint32_t m_nThreadId = 0;
};

} // namespace Ostrel
