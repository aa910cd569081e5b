#include "digest_pool.h"

#include <cwchar>
#include <new>
#include <system_error>
#include <utility>

CDigestPool::CDigestPool(std::vector<std::wstring> paths, unsigned threads)
    : m_paths(std::move(paths)), m_slots(new SLOT[m_paths.size()])
{
    if (threads > m_paths.size())
        threads = static_cast<unsigned>(m_paths.size());
    for (unsigned i = 0; i < threads; ++i) {
        try {
            m_threads.emplace_back(&CDigestPool::Work, this);
        } catch (const std::system_error&) {
            break;
        } catch (const std::bad_alloc&) {
            break;
        }
    }
}

CDigestPool::~CDigestPool()
{
    m_stop.store(true);
    for (std::thread& thread : m_threads)
        thread.join();
}

unsigned CDigestPool::DefaultThreads()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

// Claims the paths one at a time in their order, so that the digests the
// caller waits for next are the ones done first.
void CDigestPool::Work()
{
    CFileDigest digest;
    for (;;) {
        if (m_stop.load(std::memory_order_relaxed))
            return;
        const std::size_t index = m_next.fetch_add(1);
        if (index >= m_paths.size())
            return;
        SLOT& slot = m_slots[index];
        int state = SLOT_DONE;
        try {
            slot.result = digest.Compute(m_paths[index]);
            slot.size = digest.m_dwSize;
            std::wmemcpy(slot.crc, digest.m_szCrc, 33);
        } catch (...) {
            state = SLOT_FAILED;
        }
        slot.state.store(state, std::memory_order_release);
        slot.state.notify_one();
    }
}

BOOL CDigestPool::Take(std::size_t index, CFileDigest& digest)
{
    SLOT& slot = m_slots[index];
    int state = slot.state.load(std::memory_order_acquire);
    if (state == SLOT_WAITING && m_threads.empty())
        return digest.Compute(m_paths[index]);
    while (state == SLOT_WAITING) {
        slot.state.wait(SLOT_WAITING, std::memory_order_acquire);
        state = slot.state.load(std::memory_order_acquire);
    }
    if (state == SLOT_FAILED)
        return digest.Compute(m_paths[index]);
    digest.m_strPath = m_paths[index];
    digest.m_dwSize = slot.size;
    std::wmemcpy(digest.m_szCrc, slot.crc, 33);
    return slot.result;
}
