// The zip reader's file operations on POSIX.
#include "zip_file_io.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "posix_read.h"
#include "text.h"

namespace {

// UTF-8 path for the OS, '\' taken as a folder separator. False when the
// text holds no valid Unicode or an embedded zero.
bool ToOsPath(const std::wstring& path, std::string* out)
{
    std::wstring local(path);
    for (wchar_t& c : local) {
        if (c == L'\\')
            c = L'/';
        else if (c == 0)
            return false;
    }
    return WideToAnsi(local, *out) && !out->empty();
}

constexpr uint64_t kFileTimeTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

timespec FileTimeToTimespec(uint64_t fileTime)
{
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(static_cast<int64_t>(fileTime / kFileTimeTicksPerSecond) - kSecondsFrom1601To1970);
    ts.tv_nsec = static_cast<long>(fileTime % kFileTimeTicksPerSecond) * 100;
    return ts;
}

}  // namespace

// Files are opened without blocking so that a FIFO at the path is refused
// instead of waiting for a peer; regular files ignore the flag.
ZipFileHandle ZipOpenForReading(const std::wstring& path)
{
    std::string os;
    if (!ToOsPath(path, &os))
        return ZIP_NO_FILE;
    int fd = open(os.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return ZIP_NO_FILE;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return ZIP_NO_FILE;
    }
    return fd;
}

bool ZipFileLength(ZipFileHandle file, uint64_t* length)
{
    struct stat st {};
    if (file < 0 || fstat(file, &st) != 0 || st.st_size < 0)
        return false;
    *length = static_cast<uint64_t>(st.st_size);
    return true;
}

int64_t ZipReadAt(ZipFileHandle file, uint64_t offset, void* buffer, size_t size)
{
    if (file < 0 || offset > static_cast<uint64_t>(INT64_MAX))
        return -1;
    return Tovarin::ReadFullyAt(file, offset, buffer, size);
}

ZipFileHandle ZipCreateForWriting(const std::wstring& path, bool readOnly, uint32_t unixMode)
{
    std::string os;
    if (!ToOsPath(path, &os))
        return ZIP_NO_FILE;
    mode_t mode = readOnly ? 0444 : 0666;
    // A symbolic link standing at the target is refused, never written through.
    int fd = open(os.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, mode);
    if (fd < 0)
        return ZIP_NO_FILE;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return ZIP_NO_FILE;
    }
    // An existing file keeps its old mode through O_TRUNC, and a new one is
    // filtered by the umask; stored Unix bits are restored except write access
    // for others (never the set-id or sticky bits either), the read-only
    // attribute clears the write bits.
    if (unixMode != 0)
        fchmod(fd, static_cast<mode_t>(unixMode & 0775));
    else if (readOnly)
        fchmod(fd, st.st_mode & 0555);
    return fd;
}

bool ZipWriteAll(ZipFileHandle file, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(file, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ZipSetFileTimes(ZipFileHandle file, uint64_t accessTime, uint64_t modificationTime)
{
    timespec times[2] = {FileTimeToTimespec(accessTime), FileTimeToTimespec(modificationTime)};
    return futimens(file, times) == 0;
}

void ZipCloseFile(ZipFileHandle file)
{
    if (file >= 0)
        close(file);
}

bool ZipPathExists(const std::wstring& path)
{
    std::string os;
    struct stat st {};
    return ToOsPath(path, &os) && stat(os.c_str(), &st) == 0;
}

bool ZipIsRealFolder(const std::wstring& path)
{
    std::string os;
    struct stat st {};
    return ToOsPath(path, &os) && lstat(os.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ZipCreateFolder(const std::wstring& path)
{
    std::string os;
    if (!ToOsPath(path, &os))
        return false;
    if (mkdir(os.c_str(), 0777) == 0)
        return true;
    struct stat st {};
    return errno == EEXIST && stat(os.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ZipCurrentFolder(std::wstring* folder)
{
    char buffer[PATH_MAX];
    if (!getcwd(buffer, sizeof buffer))
        return false;
    *folder = AnsiToWide(buffer);
    return true;
}
