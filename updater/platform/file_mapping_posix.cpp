// Read-only whole-file mappings on POSIX (open + fstat + mmap).
#include "file_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "text.h"

FileMapResult MapWholeFile(const std::wstring& path, FILE_MAPPING_VIEW* view)
{
    *view = FILE_MAPPING_VIEW{};
    // '\' separates folders, as in every path the updater composes.
    std::wstring local(path);
    for (wchar_t& c : local)
        if (c == L'\\')
            c = L'/';
    std::string os;
    if (local.find(L'\0') != std::wstring::npos || !WideToAnsi(local, os) || os.empty())
        return FileMapResult::OpenFailed;
    // Without blocking, a FIFO is refused instead of waiting for a writer.
    int fd = open(os.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return FileMapResult::OpenFailed;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        close(fd);
        return FileMapResult::OpenFailed;
    }
    view->size = static_cast<uint64_t>(st.st_size);
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
