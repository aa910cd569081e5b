// Digests of many files computed ahead on a few threads, handed out in the
// order the files were given. Used by the check phase: while the caller walks
// its list and waits for each file's digest in turn, the threads are already
// reading the files after it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "file_digest.h"

class CDigestPool {
public:
    // Starts up to threads threads (fewer when there are fewer paths) that
    // digest the paths in order, each with a record of its own. A thread that
    // cannot be started is done without: with none at all, Take computes
    // every digest itself.
    CDigestPool(std::vector<std::wstring> paths, unsigned threads);
    // Stops the threads (the files not yet taken are left undigested) and
    // waits for them.
    ~CDigestPool();
    CDigestPool(const CDigestPool&) = delete;
    CDigestPool& operator=(const CDigestPool&) = delete;

    // Waits for the digest of paths[index] and fills digest with it exactly
    // as digest.Compute(paths[index]) would have: the result, size, text and
    // path. Where a thread could not compute it (memory ran out), the digest
    // is computed here.
    BOOL Take(std::size_t index, CFileDigest& digest);

    // One per core; 1 when the count of cores is unknown.
    static unsigned DefaultThreads();

private:
    enum : int { SLOT_WAITING = 0, SLOT_DONE = 1, SLOT_FAILED = 2 };
    struct SLOT {
        std::atomic<int> state{SLOT_WAITING};
        BOOL result = FALSE;
        uint64_t size = 0;
        wchar_t crc[33] = {};
    };

    void Work();

    std::vector<std::wstring> m_paths;
    std::unique_ptr<SLOT[]> m_slots;
    std::atomic<std::size_t> m_next{0};  // the next path a thread claims
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};
