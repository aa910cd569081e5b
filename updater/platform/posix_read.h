// Positioned reads on POSIX descriptors, for the platform's own files.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include <unistd.h>

namespace Tovarin {

// Reads up to length bytes at offset, going on after short reads and
// interruptions: the count read (less than length only at the end of the
// file), or -1 on an error.
inline std::int64_t ReadFullyAt(int fd, std::uint64_t offset, void* buffer, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n =
            pread(fd, static_cast<char*>(buffer) + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

}  // namespace Tovarin
