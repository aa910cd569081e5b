// Whole-file reading on POSIX: open + fstat, then pread into the caller's
// buffer; and read-only mappings (mmap).
#include "file_mapping.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "posix_read.h"
#include "text.h"

namespace {

// The local form of an updater path: '\' becomes '/'. False for a path
// with a NUL or one that cannot be converted.
bool LocalPath(const std::wstring& path, std::string& os)
{
    std::wstring local(path);
    for (wchar_t& c : local)
        if (c == L'\\')
            c = L'/';
    return local.find(L'\0') == std::wstring::npos && WideToAnsi(local, os) && !os.empty();
}

// Without blocking, a FIFO is refused instead of waiting for a writer.
int OpenRegular(const std::wstring& path, uint64_t* size, struct stat* status = nullptr)
{
    std::string os;
    if (!LocalPath(path, os))
        return -1;
    int fd = open(os.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        close(fd);
        return -1;
    }
    *size = static_cast<uint64_t>(st.st_size);
    if (status)
        *status = st;
    return fd;
}

}  // namespace

bool OpenFileReader(const std::wstring& path, FILE_READER* file)
{
    *file = FILE_READER{};
    uint64_t size = 0;
    struct stat st {};
    const int fd = OpenRegular(path, &size, &st);
    if (fd < 0)
        return false;
    file->fd = fd;
    file->size = size;
    file->changeSeconds = st.st_ctim.tv_sec;
    file->changeNanoseconds = st.st_ctim.tv_nsec;
    return true;
}

int64_t ReadFileAt(const FILE_READER* file, uint64_t offset, unsigned char* buffer, size_t length)
{
    return Tovarin::ReadFullyAt(file->fd, offset, buffer, length);
}

bool FileReaderUnchanged(const FILE_READER* file)
{
    struct stat st {};
    return fstat(file->fd, &st) == 0 && st.st_nlink > 0 && st.st_size >= 0 &&
           static_cast<uint64_t>(st.st_size) == file->size && st.st_ctim.tv_sec == file->changeSeconds &&
           st.st_ctim.tv_nsec == file->changeNanoseconds;
}

void CloseFileReader(FILE_READER* file)
{
    if (file->fd >= 0)
        close(file->fd);
    *file = FILE_READER{};
}

FileMapResult MapWholeFile(const std::wstring& path, FILE_MAPPING_VIEW* view)
{
    *view = FILE_MAPPING_VIEW{};
    const int fd = OpenRegular(path, &view->size);
    if (fd < 0)
        return FileMapResult::OpenFailed;
    if (view->size == 0) {
        close(fd);
        return FileMapResult::Empty;
    }
    // Populating the page tables up front costs less than taking one fault
    // per page during the single pass the caller makes; large files are not
    // populated whole, so that a caller reading them piece by piece and
    // releasing each piece keeps its resident memory small.
    constexpr uint64_t kPopulateLimit = 16u << 20;
    int flags = MAP_SHARED | (view->size <= kPopulateLimit ? MAP_POPULATE : 0);
    void* p = mmap(nullptr, static_cast<size_t>(view->size), PROT_READ, flags, fd, 0);
    close(fd);
    if (p == MAP_FAILED)
        return FileMapResult::MapFailed;
    madvise(p, static_cast<size_t>(view->size), MADV_SEQUENTIAL);
    view->data = static_cast<const unsigned char*>(p);
    return FileMapResult::Mapped;
}

void ReleaseMappedRange(const FILE_MAPPING_VIEW* view, uint64_t offset, uint64_t length)
{
    if (!view->data || offset >= view->size)
        return;
    const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    uint64_t begin = offset / page * page;
    uint64_t end = offset + length < view->size ? offset + length : view->size;
    if (end > begin)
        madvise(const_cast<unsigned char*>(view->data) + begin, static_cast<size_t>(end - begin), MADV_DONTNEED);
}

void UnmapWholeFile(FILE_MAPPING_VIEW* view)
{
    if (view->data)
        munmap(const_cast<unsigned char*>(view->data), static_cast<size_t>(view->size));
    *view = FILE_MAPPING_VIEW{};
}
